// The program's string table and icons as the fakes provide them.
#include <map>
#include "platform/fake/FakeUi.h"

namespace dravolin::fake {

namespace {

const std::map<std::uint32_t, std::string>& English() {
    static const std::map<std::uint32_t, std::string> table{
        {132, " "},
        {133, "Disc ejecting"},
        {134, "Waiting for new disc"},
        {135, "Disc copying"},
        {136, "Select target folder and press \"OK\" button."},
        {137, "Drive"},
        {138, "Status"},
        {139, "Dravolin: archive mode"},
        {140, "Disc archived: %1"},
        {141, "Disc already archived, ejected uncopied: %1"},
        {142,
         "Disc archived with damaged files, please check it; another drive may read the rest: %1"},
        {143, "The disc in drive %1: has no readable file system; it was ejected"},
        {144, "The disc in drive %1: could not be archived"},
        {145, "The target disk is full: archiving has stopped on every drive"},
        {146, "The disc read too slowly and was stopped at its time limit, please check it: %1"},
        {147,
         "The archive log could not be written, so the disc may be copied again; please check the "
         "log: %1"},
        {148,
         "The disc was read again, but nothing more could be read; its bag is as it was, and "
         "another drive may read the rest: %1"},
    };
    return table;
}

const std::map<std::uint32_t, std::string>& Russian() {
    static const std::map<std::uint32_t, std::string> table{
        {132, " "},
        {133, "Выброс диска"},
        {134, "Ожидание загрузки нового диска"},
        {135, "Копирование диска"},
        {136, "Укажите целевой каталог, а затем нажмите кнопку \"OK\"."},
        {137, "Диск"},
        {138, "Состояние"},
        {139, "Dravolin: режим архива"},
        {140, "Диск заархивирован: %1"},
        {141, "Диск уже в архиве и извлечён без копирования: %1"},
        {142,
         "Диск заархивирован с повреждёнными файлами, проверьте его; остальное может прочитать "
         "другой дисковод: %1"},
        {143, "На диске в дисководе %1: нет читаемой файловой системы; диск извлечён"},
        {144, "Диск в дисководе %1: не удалось заархивировать"},
        {145, "Целевой диск заполнен: архивирование остановлено на всех дисководах"},
        {146, "Диск читался слишком медленно и остановлен по лимиту времени, проверьте его: %1"},
        {147,
         "Не удалось записать журнал архива, и диск может быть скопирован снова; проверьте журнал: "
         "%1"},
        {148,
         "Диск прочитан снова, но больше ничего прочитать не удалось; его пакет не изменился, "
         "остальное может прочитать другой дисковод: %1"},
    };
    return table;
}

}  // namespace

FakeResources::FakeResources(CallLog* log, Language language) : language(language), log_(log) {}

std::string FakeResources::LoadString(std::uint32_t id) const {
    const auto& table = language == Language::Russian ? Russian() : English();
    auto it = table.find(id);
    return it == table.end() ? std::string() : it->second;
}

IconPtr FakeResources::LoadIcon(std::uint32_t id) const {
    if (id != 128 && id != 130 && id != 131) return nullptr;
    return std::make_unique<FakeIcon>("resource:" + std::to_string(id), true, log_);
}

}  // namespace dravolin::fake
