#include "archive/PageTexts.h"

namespace dravolin::archive {

namespace {

PageTexts English() {
    PageTexts t;
    t.language = "en";
    t.title = "Disc archive";
    t.written = "This page was written %1.";
    t.counts = "Discs: %1. Complete: %2. Incomplete: %3. Others: %4.";
    t.empty = "No disc has been archived here yet.";
    t.result = "Result";
    t.label = "Label";
    t.date = "Date";
    t.drive = "Drive";
    t.files = "Files";
    t.size = "Size";
    t.damaged = "Damaged files";
    t.bag = "Bag";
    t.verified = "Last check";
    t.map = "Disc map";
    t.complete = "complete";
    t.incomplete = "incomplete";
    t.unreadable = "unreadable";
    t.alreadyArchived = "already archived";
    t.targetFull = "target full";
    t.failed = "failed";
    t.valid = "valid";
    t.changed = "changed";
    t.missingFiles = "missing files";
    t.extraFiles = "extra files";
    t.unreadableBag = "unreadable";
    t.notChecked = "not checked yet";
    t.checkedOn = "%1 on %2";
    t.reportAltered =
        "The check report %1 was changed after it was written; its results are "
        "not shown.";
    t.noBag = "no longer in this folder";
    t.stoppedByTime = "its time budget ran out";
    t.stoppedByFullTarget = "the target disk was full";
    t.read = "read";
    t.nonTried = "not tried";
    t.nonTrimmed = "not trimmed";
    t.nonScraped = "not scraped";
    t.bad = "unreadable";
    t.mapCaption = "%1 of the disc read";
    t.searchLabel = "Find a file by name";
    t.found = "Files found: %1.";
    t.foundMore = "Files found: %1; the first %2 are shown.";
    t.file = "File";
    t.disc = "Disc";
    t.byteUnits = "bytes,KB,MB,GB,TB";
    return t;
}

PageTexts Russian() {
    PageTexts t;
    t.language = "ru";
    t.title = "Архив дисков";
    t.written = "Страница записана %1.";
    t.counts = "Дисков: %1. Полных: %2. Неполных: %3. Прочих: %4.";
    t.empty = "Здесь пока не заархивировано ни одного диска.";
    t.result = "Итог";
    t.label = "Метка";
    t.date = "Дата";
    t.drive = "Дисковод";
    t.files = "Файлы";
    t.size = "Размер";
    t.damaged = "Повреждённые файлы";
    t.bag = "Пакет";
    t.verified = "Последняя проверка";
    t.map = "Карта диска";
    t.complete = "полный";
    t.incomplete = "неполный";
    t.unreadable = "не читается";
    t.alreadyArchived = "уже в архиве";
    t.targetFull = "нет места";
    t.failed = "сбой";
    t.valid = "в порядке";
    t.changed = "изменён";
    t.missingFiles = "не хватает файлов";
    t.extraFiles = "лишние файлы";
    t.unreadableBag = "не читается";
    t.notChecked = "ещё не проверялся";
    t.checkedOn = "%1, %2";
    t.reportAltered = "Отчёт проверки %1 изменён после записи; его результаты не показаны.";
    t.noBag = "больше нет в этой папке";
    t.stoppedByTime = "кончился лимит времени";
    t.stoppedByFullTarget = "целевой диск заполнен";
    t.read = "прочитано";
    t.nonTried = "не читалось";
    t.nonTrimmed = "края не дочитаны";
    t.nonScraped = "не дочитано по секторам";
    t.bad = "не читается";
    t.mapCaption = "Прочитано %1 диска";
    t.searchLabel = "Найти файл по имени";
    t.found = "Найдено файлов: %1.";
    t.foundMore = "Найдено файлов: %1; показаны первые %2.";
    t.file = "Файл";
    t.disc = "Диск";
    t.byteUnits = "байт,КБ,МБ,ГБ,ТБ";
    return t;
}

}  // namespace

const PageTexts& PageTextsFor(std::string_view language) {
    static const PageTexts english = English();
    static const PageTexts russian = Russian();
    return language.substr(0, 2) == "ru" ? russian : english;
}

}  // namespace dravolin::archive
