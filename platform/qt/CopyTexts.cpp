#include "platform/qt/CopyTexts.h"

namespace dravolin::qt {

namespace {

constexpr CopyTexts kEnglish{
    "Copying %1",
    "From %1 to %2",
    "%1 of %2",
    "%1 of %2 files",
    "%1/s",
    "Cancel",
    "Confirm File Replace",
    "This folder already contains a file named\n%1\n\nWould you like to replace the existing "
    "file\n    %2, modified %3\nwith this one?\n    %4, modified %5",
    "&Yes",
    "Yes to &All",
    "&No",
    "No to A&ll",
    "Error Copying File",
    "&Retry",
    "&Skip",
    "Copy finished",
    {"bytes", "KB", "MB", "GB", "TB"},
};

constexpr CopyTexts kRussian{
    "Копирование %1",
    "Из %1 в %2",
    "%1 из %2",
    "Файлов: %1 из %2",
    "%1/с",
    "Отмена",
    "Подтверждение замены файла",
    "Эта папка уже содержит файл\n%1\n\nЗаменить имеющийся файл\n    %2, изменён %3\nэтим "
    "файлом?\n    %4, изменён %5",
    "&Да",
    "Да для &всех",
    "&Нет",
    "Нет для в&сех",
    "Ошибка копирования",
    "&Повторить",
    "Пр&опустить",
    "Копирование завершено",
    {"байт", "КБ", "МБ", "ГБ", "ТБ"},
};

}  // namespace

const CopyTexts& CopyTextsOf(Language language) {
    return language == Language::Russian ? kRussian : kEnglish;
}

}  // namespace dravolin::qt
