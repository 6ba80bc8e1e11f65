<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="en_US">
<context>
    <name>MainDialog</name>
    <message id="IDD_MAIN">
        <source>Dravolin</source>
        <translation>Dravolin</translation>
    </message>
    <message id="IDC_BROWSE">
        <source>Browse...</source>
        <translation>Выбор...</translation>
    </message>
    <message id="IDCANCEL">
        <source>Exit</source>
        <translation>Выход</translation>
    </message>
    <message id="IDC_TARGET_LABEL">
        <source>Target Folder:</source>
        <extracomment>The Windows dialog gives this label 47 dialog units in English, 62 in Russian.</extracomment>
        <translation>Целевой каталог:</translation>
    </message>
    <message id="IDC_PRODUCT_CAPTION">
        <source>Dravolin 1.0
Unattended CD copier</source>
        <extracomment>Two lines; the product's name stays in English.</extracomment>
        <translation>Dravolin 1.0
Unattended CD copier</translation>
    </message>
    <message id="IDC_OPEN_TARGET">
        <source>&gt;</source>
        <translation>&gt;</translation>
    </message>
    <message id="IDS_STATE_IDLE">
        <source> </source>
        <extracomment>One blank: an idle drive shows no status.</extracomment>
        <translation> </translation>
    </message>
    <message id="IDS_STATE_EJECTING">
        <source>Disc ejecting</source>
        <translation>Выброс диска</translation>
    </message>
    <message id="IDS_STATE_WAITING">
        <source>Waiting for new disc</source>
        <translation>Ожидание загрузки нового диска</translation>
    </message>
    <message id="IDS_STATE_COPYING">
        <source>Disc copying</source>
        <translation>Копирование диска</translation>
    </message>
    <message id="IDS_BROWSE_TITLE">
        <source>Select target folder and press "OK" button.</source>
        <translation>Укажите целевой каталог, а затем нажмите кнопку "OK".</translation>
    </message>
    <message id="IDS_COL_DRIVE">
        <source>Drive</source>
        <translation>Диск</translation>
    </message>
    <message id="IDS_COL_STATUS">
        <source>Status</source>
        <translation>Состояние</translation>
    </message>
    <message id="IDS_ARCHIVE_CAPTION">
        <source>Dravolin: archive mode</source>
        <extracomment>The dialog's title in archive mode; the product's name stays in English.</extracomment>
        <translation>Dravolin: режим архива</translation>
    </message>
    <message id="IDS_ARCHIVE_COMPLETE">
        <source>Disc archived: %1</source>
        <extracomment>A quiet notification. %1: the bag's folder name</extracomment>
        <translation>Диск заархивирован: %1</translation>
    </message>
    <message id="IDS_ARCHIVE_ALREADY">
        <source>Disc already archived, ejected uncopied: %1</source>
        <extracomment>A quiet notification. %1: the folder of the disc's earlier complete bag</extracomment>
        <translation>Диск уже в архиве и извлечён без копирования: %1</translation>
    </message>
    <message id="IDS_ARCHIVE_INCOMPLETE">
        <source>Disc archived with damaged files, please check it; another drive may read the rest: %1</source>
        <extracomment>A notification that needs a person. %1: the bag's folder name</extracomment>
        <translation>Диск заархивирован с повреждёнными файлами, проверьте его; остальное может прочитать другой дисковод: %1</translation>
    </message>
    <message id="IDS_ARCHIVE_UNREADABLE">
        <source>The disc in drive %1: has no readable file system; it was ejected</source>
        <extracomment>A notification that needs a person. %1: the drive's letter</extracomment>
        <translation>На диске в дисководе %1: нет читаемой файловой системы; диск извлечён</translation>
    </message>
    <message id="IDS_ARCHIVE_FAILED">
        <source>The disc in drive %1: could not be archived</source>
        <extracomment>A notification that needs a person. %1: the drive's letter</extracomment>
        <translation>Диск в дисководе %1: не удалось заархивировать</translation>
    </message>
    <message id="IDS_ARCHIVE_TARGET_FULL">
        <source>The target disk is full: archiving has stopped on every drive</source>
        <extracomment>A notification that needs a person, given once</extracomment>
        <translation>Целевой диск заполнен: архивирование остановлено на всех дисководах</translation>
    </message>
    <message id="IDS_ARCHIVE_STOPPED">
        <source>The disc read too slowly and was stopped at its time limit, please check it: %1</source>
        <extracomment>A notification that needs a person; %1 is the bag folder, named incomplete</extracomment>
        <translation>Диск читался слишком медленно и остановлен по лимиту времени, проверьте его: %1</translation>
    </message>
    <message id="IDS_ARCHIVE_LOG_FAILED">
        <source>The archive log could not be written, so the disc may be copied again; please check the log: %1</source>
        <extracomment>A notification that needs a person: the disc's row is missing from the log; %1 is the log's file</extracomment>
        <translation>Не удалось записать журнал архива, и диск может быть скопирован снова; проверьте журнал: %1</translation>
    </message>
    <message id="IDS_ARCHIVE_NOTHING_GAINED">
        <source>The disc was read again, but nothing more could be read; its bag is as it was, and another drive may read the rest: %1</source>
        <extracomment>A notification that needs a person: a disc read on from its incomplete bag gave nothing more. %1: that bag's folder</extracomment>
        <translation>Диск прочитан снова, но больше ничего прочитать не удалось; его пакет не изменился, остальное может прочитать другой дисковод: %1</translation>
    </message>
    <message id="IDS_ARCHIVE_PAGE_LANGUAGE">
        <source>en</source>
        <extracomment>The language of the archive's index.html, as its lang attribute names it: en or ru</extracomment>
        <translation>ru</translation>
    </message>
</context>
<context>
    <name>CopyWindows</name>
    <message id="copy.progressTitle">
        <source>Copying %1</source>
        <extracomment>%1: the drive as the dialog's list names it, e.g. DATA (E:)</extracomment>
        <translation>Копирование %1</translation>
    </message>
    <message id="copy.fromTo">
        <source>From %1 to %2</source>
        <extracomment>%1: the folder the disc is mounted on, %2: the target folder</extracomment>
        <translation>Из %1 в %2</translation>
    </message>
    <message id="copy.bytes">
        <source>%1 of %2</source>
        <extracomment>%1 copied of %2 in all, both with their units</extracomment>
        <translation>%1 из %2</translation>
    </message>
    <message id="copy.files">
        <source>%1 of %2 files</source>
        <extracomment>%1 files copied of %2</extracomment>
        <translation>Файлов: %1 из %2</translation>
    </message>
    <message id="copy.rate">
        <source>%1/s</source>
        <extracomment>%1: bytes per second with their unit</extracomment>
        <translation>%1/с</translation>
    </message>
    <message id="copy.cancel">
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message id="copy.replaceTitle">
        <source>Confirm File Replace</source>
        <translation>Подтверждение замены файла</translation>
    </message>
    <message id="copy.replaceText">
        <source>This folder already contains a file named
%1

Would you like to replace the existing file
    %2, modified %3
with this one?
    %4, modified %5</source>
        <extracomment>%1: the file, %2 and %3: size and date of the file there, %4 and %5: of the disc's file</extracomment>
        <translation>Эта папка уже содержит файл
%1

Заменить имеющийся файл
    %2, изменён %3
этим файлом?
    %4, изменён %5</translation>
    </message>
    <message id="copy.yes">
        <source>&amp;Yes</source>
        <translation>&amp;Да</translation>
    </message>
    <message id="copy.yesToAll">
        <source>Yes to &amp;All</source>
        <translation>Да для &amp;всех</translation>
    </message>
    <message id="copy.no">
        <source>&amp;No</source>
        <translation>&amp;Нет</translation>
    </message>
    <message id="copy.noToAll">
        <source>No to A&amp;ll</source>
        <translation>Нет для в&amp;сех</translation>
    </message>
    <message id="copy.errorTitle">
        <source>Error Copying File</source>
        <translation>Ошибка копирования</translation>
    </message>
    <message id="copy.retry">
        <source>&amp;Retry</source>
        <translation>&amp;Повторить</translation>
    </message>
    <message id="copy.skip">
        <source>&amp;Skip</source>
        <translation>Пр&amp;опустить</translation>
    </message>
    <message id="copy.finishedTitle">
        <source>Copy finished</source>
        <translation>Копирование завершено</translation>
    </message>
    <message id="copy.unit.bytes">
        <source>bytes</source>
        <translation>байт</translation>
    </message>
    <message id="copy.unit.kb">
        <source>KB</source>
        <translation>КБ</translation>
    </message>
    <message id="copy.unit.mb">
        <source>MB</source>
        <translation>МБ</translation>
    </message>
    <message id="copy.unit.gb">
        <source>GB</source>
        <translation>ГБ</translation>
    </message>
    <message id="copy.unit.tb">
        <source>TB</source>
        <translation>ТБ</translation>
    </message>
    <message id="copy.mount.noFileSystem">
        <source>%1

This disc holds no files the computer can read. It may be blank, an audio CD, or damaged.</source>
        <extracomment>%1: the drive as the dialog's list names it</extracomment>
        <translation>%1

На этом диске нет файлов, которые может прочитать компьютер. Возможно, диск пустой, звуковой или повреждён.</translation>
    </message>
    <message id="copy.mount.unreadable">
        <source>%1

The disc could not be read. It may be scratched, dirty or damaged.</source>
        <extracomment>%1: the drive as the dialog's list names it</extracomment>
        <translation>%1

Не удалось прочитать диск. Возможно, он поцарапан, загрязнён или повреждён.</translation>
    </message>
    <message id="copy.mount.notAllowed">
        <source>%1

The system did not allow you to open this disc.</source>
        <extracomment>%1: the drive as the dialog's list names it</extracomment>
        <translation>%1

Система не разрешила вам открыть этот диск.</translation>
    </message>
    <message id="copy.mount.noDiscService">
        <source>%1

The disc could not be opened: the system's disc service (UDisks2) is not running.</source>
        <extracomment>%1: the drive as the dialog's list names it</extracomment>
        <translation>%1

Не удалось открыть диск: служба дисков системы (UDisks2) не запущена.</translation>
    </message>
    <message id="copy.mount.other">
        <source>%1

The disc could not be opened: %2</source>
        <extracomment>%1: the drive as the dialog's list names it, %2: the system's reason, in its own words</extracomment>
        <translation>%1

Не удалось открыть диск: %2</translation>
    </message>
</context>
<context>
    <name>DriveMenu</name>
    <message id="menu.open">
        <source>&amp;Open</source>
        <translation>&amp;Открыть</translation>
    </message>
    <message id="menu.eject">
        <source>&amp;Eject</source>
        <translation>&amp;Извлечь</translation>
    </message>
    <message id="menu.closeTray">
        <source>&amp;Close Tray</source>
        <translation>&amp;Закрыть лоток</translation>
    </message>
    <message id="menu.mount">
        <source>&amp;Mount</source>
        <translation>&amp;Подключить</translation>
    </message>
    <message id="menu.unmount">
        <source>&amp;Unmount</source>
        <translation>&amp;Отключить</translation>
    </message>
</context>
<context>
    <name>DriveList</name>
    <message id="drive.audioCd">
        <source>Audio CD</source>
        <extracomment>The label of an audio CD, which has no volume of its own, as Windows names it; the drive list shows it as "Audio CD (D:)"</extracomment>
        <translation>Аудио-CD</translation>
    </message>
</context>
<context>
    <name>StoreMessage</name>
    <message id="store.title">
        <source>Dravolin</source>
        <translation>Dravolin</translation>
    </message>
    <message id="store.cannotSave">
        <source>The recently used target folders cannot be saved in the file
%1

%2</source>
        <extracomment>%1: the store file, %2: the reason the system gave</extracomment>
        <translation>Не удаётся сохранить недавно использованные целевые каталоги в файле
%1

%2</translation>
    </message>
    <message id="store.notAFile">
        <source>It is not a regular file: a pipe, a device or a socket stands in its place.</source>
        <extracomment>Why the store cannot be saved: the reason that follows the file</extracomment>
        <translation>Это не обычный файл: на его месте находится канал, устройство или сокет.</translation>
    </message>
    <message id="store.damaged">
        <source>The file of the recently used target folders was damaged:
%1

The folders that could still be read were kept. The damaged file was saved whole as
%2</source>
        <extracomment>%1: the store file, %2: the backup of the damaged file</extracomment>
        <translation>Файл недавно использованных целевых каталогов был повреждён:
%1

Каталоги, которые удалось прочитать, сохранены. Повреждённый файл целиком сохранён как
%2</translation>
    </message>
</context>
<context>
    <name>PrepareMessage</name>
    <message id="prepare.title">
        <source>Dravolin</source>
        <translation>Dravolin</translation>
    </message>
    <message id="prepare.cannotPrepare">
        <source>Cannot copy into the target folder:
%1

Correct the folder and tick the drive again.</source>
        <extracomment>%1: the folder and the reason</extracomment>
        <translation>Невозможно копировать в целевой каталог:
%1

Исправьте каталог и снова отметьте диск.</translation>
    </message>
    <message id="prepare.drivePath">
        <source>This is a Windows drive path: Linux has no drive letters. Give a Linux folder, such as ~/Discs.</source>
        <extracomment>Why a target such as C:\Discs is refused; follows the target</extracomment>
        <translation>Это путь с буквой диска Windows, а в Linux нет букв дисков. Укажите каталог Linux, например ~/Discs.</translation>
    </message>
    <message id="prepare.networkName">
        <source>This is a Windows network name. Mount the share first and give the folder it is mounted on.</source>
        <extracomment>Why a target such as \\server\share is refused; follows the target</extracomment>
        <translation>Это сетевое имя Windows. Сначала подключите общий ресурс и укажите каталог, в который он подключён.</translation>
    </message>
    <message id="prepare.unknownUser">
        <source>There is no user named %1 on this computer.</source>
        <extracomment>Why a target such as ~name is refused; follows the target. %1: the user name</extracomment>
        <translation>На этом компьютере нет пользователя с именем %1.</translation>
    </message>
    <message id="session.inhibitReason">
        <source>Copying discs</source>
        <extracomment>Why the session's automount is held, shown by the desktop to a user who logs out</extracomment>
        <translation>Копирование дисков</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message id="commandLine.help">
        <source>Usage: dravolin [--archive [--name PATTERN] [--disc-time MINUTES]
                          [--keep WHAT] [--bag-info FILE]]
Copies every disc put into the ticked drives into a target folder.

  --archive            archive mode: each disc becomes its own bag in the target
                       folder (a BagIt folder: the disc's image and files under
                       data/, SHA-256 checksums, a list of damaged files) and a
                       row of archive-log.csv there; nothing is ever asked, and
                       a disc that already has a complete bag there is not
                       copied again
  --name PATTERN       the bag folder's name: text and the fields {label} {date}
                       {time} {serial} {drive}
                       (by default "%1")
  --disc-time MINUTES  how long one disc may take, 1 to %3 (by default %2); a
                       slower disc's bag ends incomplete
  --keep WHAT          what a bag keeps of a disc read once into an image:
                       both (by default) the image, with a GNU ddrescue map of
                       what could not be read, and the files taken out of it;
                       files, the files alone; image, the image alone
  --bag-info FILE      more bag-info.txt fields for every bag, such as
                       Source-Organization or Contact-Email: "Label: value"
                       lines in UTF-8, as bag-info.txt holds them
  -h, --help           show this help and exit
  -v, --version        show the version and exit</source>
        <extracomment>The output of dravolin --help; keep the options and the field names as they are, lines within 80 columns. %1: the default name pattern, %2: the default minutes, %3: the most minutes</extracomment>
        <translation>Usage: dravolin [--archive [--name ШАБЛОН] [--disc-time МИНУТЫ]
                          [--keep ЧТО] [--bag-info ФАЙЛ]]
Копирует каждый диск, вставленный в отмеченные приводы, в целевой каталог.

  --archive            режим архива: каждый диск становится отдельным пакетом
                       в целевом каталоге (каталог BagIt: образ и файлы диска
                       в data/, контрольные суммы SHA-256, список повреждённых
                       файлов) и строкой файла archive-log.csv там же;
                       программа ничего не спрашивает, а диск, у которого там
                       уже есть полный пакет, не копируется снова
  --name ШАБЛОН        имя каталога пакета: текст и поля {label} {date} {time}
                       {serial} {drive} (по умолчанию "%1")
  --disc-time МИНУТЫ   сколько может длиться один диск, от 1 до %3
                       (по умолчанию %2); пакет более медленного диска
                       завершается неполным
  --keep ЧТО           что пакет хранит от диска, прочитанного один раз в образ:
                       both (по умолчанию) — образ с картой GNU ddrescue
                       непрочитанного и извлечённые из него файлы; files —
                       только файлы; image — только образ
  --bag-info ФАЙЛ      дополнительные поля bag-info.txt для каждого пакета,
                       например Source-Organization или Contact-Email:
                       строки «Метка: значение» в UTF-8, как в bag-info.txt
  -h, --help           показать эту справку и выйти
  -v, --version        показать версию и выйти</translation>
    </message>
    <message id="commandLine.needsValue">
        <source>option %1 needs a value</source>
        <extracomment>%1: the option, --name, --disc-time, --keep or --bag-info</extracomment>
        <translation>для параметра %1 нужно значение</translation>
    </message>
    <message id="commandLine.takesNoValue">
        <source>option %1 takes no value</source>
        <extracomment>%1: the option</extracomment>
        <translation>параметр %1 не принимает значения</translation>
    </message>
    <message id="commandLine.unknownOption">
        <source>unknown option %1; see %2 --help</source>
        <extracomment>%1: the option as given, %2: the program (dravolin, dravolin-archive)</extracomment>
        <translation>неизвестный параметр %1; см. %2 --help</translation>
    </message>
    <message id="commandLine.unexpectedArgument">
        <source>unexpected argument %1; see %2 --help</source>
        <extracomment>%1: the argument as given, %2: the program (dravolin, dravolin-archive)</extracomment>
        <translation>лишний аргумент %1; см. %2 --help</translation>
    </message>
    <message id="commandLine.missingOperand">
        <source>give a SOURCE and a TARGET; see %1 --help</source>
        <extracomment>dravolin-archive given fewer than two folders. %1: the program; keep SOURCE and TARGET as the help names them</extracomment>
        <translation>нужны SOURCE и TARGET; см. %1 --help</translation>
    </message>
    <message id="commandLine.needsArchive">
        <source>%1 applies only with --archive</source>
        <extracomment>%1: the option, --name, --disc-time, --keep or --bag-info</extracomment>
        <translation>%1 действует только вместе с --archive</translation>
    </message>
    <message id="commandLine.discTime">
        <source>--disc-time takes whole minutes from 1 to %1, not %2</source>
        <extracomment>%1: the most minutes, %2: the value as given</extracomment>
        <translation>--disc-time: нужно целое число минут от 1 до %1, а не %2</translation>
    </message>
    <message id="commandLine.keep">
        <source>--keep takes files, image or both, not %1</source>
        <extracomment>keep the option and its three values as they are. %1: the value as given</extracomment>
        <translation>--keep: нужно files, image или both, а не %1</translation>
    </message>
    <message id="commandLine.unknownField">
        <source>--name: unknown field %1; the fields are {label} {date} {time} {serial} {drive}</source>
        <extracomment>%1: the field as given, with its braces</extracomment>
        <translation>--name: неизвестное поле %1; поля: {label} {date} {time} {serial} {drive}</translation>
    </message>
    <message id="commandLine.unclosedBrace">
        <source>--name: a { is not closed by a }: %1</source>
        <extracomment>%1: the pattern</extracomment>
        <translation>--name: скобка { не закрыта скобкой }: %1</translation>
    </message>
    <message id="commandLine.strayBrace">
        <source>--name: a } has no { before it: %1</source>
        <extracomment>%1: the pattern</extracomment>
        <translation>--name: перед скобкой } нет скобки {: %1</translation>
    </message>
    <message id="commandLine.bagInfoUnreadable">
        <source>--bag-info: cannot read %1: %2</source>
        <extracomment>%1: the file as given, %2: why, in the system's words</extracomment>
        <translation>--bag-info: не удаётся прочитать %1: %2</translation>
    </message>
    <message id="commandLine.bagInfoTooLarge">
        <source>--bag-info: %1 is larger than %2 KiB</source>
        <extracomment>%1: the file as given, %2: the most KiB it may hold</extracomment>
        <translation>--bag-info: файл %1 больше %2 КиБ</translation>
    </message>
    <message id="commandLine.bagInfoNotText">
        <source>--bag-info: line %2 of %1 is not UTF-8 text</source>
        <extracomment>%1: the file as given, %2: the line's number</extracomment>
        <translation>--bag-info: строка %2 файла %1 — не текст в UTF-8</translation>
    </message>
    <message id="commandLine.bagInfoNotAField">
        <source>--bag-info: line %2 of %1 is not a &quot;Label: value&quot; field</source>
        <extracomment>the form of the file's lines, as the help names it. %1: the file as given, %2: the line's number</extracomment>
        <translation>--bag-info: строка %2 файла %1 — не поле вида «Метка: значение»</translation>
    </message>
    <message id="commandLine.bagInfoOwnLabel">
        <source>--bag-info: line %2 of %1: Dravolin writes %3 itself</source>
        <extracomment>%1: the file as given, %2: the line's number, %3: the field's label as given (Payload-Oxum...)</extracomment>
        <translation>--bag-info: строка %2 файла %1: поле %3 Dravolin пишет сам</translation>
    </message>
</context>
<context>
    <name>ArchiveProgram</name>
    <message id="archiveProgram.help">
        <source>Usage: dravolin-archive [--name PATTERN] [--disc-time MINUTES] [--keep WHAT]
                        [--bag-info FILE] SOURCE TARGET
       dravolin-archive verify TARGET [BAG...]
Archives one disc into a new bag in the TARGET folder, as Dravolin's archive
mode does: the disc's image and files under data/, SHA-256 checksums, a list
of damaged files, and a row of archive-log.csv there. Nothing is ever asked; a
disc that already has a complete bag there is not copied again.

SOURCE is a folder (a mounted disc, any folder), a CD/DVD drive's device, such
as /dev/sr0, an ISO 9660 or UDF image file, or a CD image (a BIN/CUE sheet, a
cdrdao TOC file); a drive's disc or an image file is read once into the bag's
image and its files taken out of that image. An audio CD's tracks become FLAC
files with a cue sheet in data/audio/.
TARGET is made when missing. verify checks every bag in TARGET (or the BAGs)
again, changing nothing, and writes a dated report there.

  --name PATTERN       the bag folder's name: text and the fields {label} {date}
                       {time} {serial} {drive}
                       (by default "%1")
  --disc-time MINUTES  how long the disc may take, 1 to %3 (by default %2); a
                       slower disc's bag ends incomplete
  --keep WHAT          what the bag keeps of a drive's disc: both (by default)
                       the image, with a GNU ddrescue map of what could not be
                       read, and the files taken out of it; files, the files
                       alone; image, the image alone
  --bag-info FILE      more bag-info.txt fields for the bag, such as
                       Source-Organization or Contact-Email: "Label: value"
                       lines in UTF-8, as bag-info.txt holds them
  -h, --help           show this help and exit
  -v, --version        show the version and exit

Exit status: 0 complete or already archived, 1 incomplete (damaged files or the
time ran out), 2 the command line was refused, 3 failed (no bag: the source,
the target, the disc or the copy), 4 the target disk is full.</source>
        <extracomment>The output of dravolin-archive --help; keep the options, SOURCE, TARGET, the field names and the exit statuses as they are, lines within 80 columns. %1: the default name pattern, %2: the default minutes, %3: the most minutes</extracomment>
        <translation>Использование: dravolin-archive [--name ШАБЛОН] [--disc-time МИНУТЫ]
                      [--keep ЧТО] [--bag-info ФАЙЛ] SOURCE TARGET
               dravolin-archive verify TARGET [BAG...]
Архивирует один диск в новый пакет в папке TARGET так же, как режим архива
Dravolin: образ и файлы диска в data/, контрольные суммы SHA-256, список
повреждённых файлов и строка в archive-log.csv там же. Ничего не спрашивает;
диск, у которого там уже есть полный пакет, повторно не копируется.

SOURCE — папка (смонтированный диск, любая папка), устройство привода CD/DVD,
например /dev/sr0, файл образа ISO 9660 или UDF или образ CD (BIN/CUE, TOC
cdrdao); диск привода или файл образа читается один раз в образ пакета, и файлы
извлекаются из этого образа. Дорожки аудио-CD становятся файлами FLAC с
cue-листом в data/audio/.
Папка TARGET создаётся, если её нет. verify заново проверяет каждый пакет в
TARGET (или пакеты BAG), ничего не меняя, и пишет туда датированный отчёт.

  --name ШАБЛОН        имя папки пакета: текст и поля {label} {date} {time}
                       {serial} {drive}
                       (по умолчанию «%1»)
  --disc-time МИНУТЫ   сколько может длиться диск, от 1 до %3
                       (по умолчанию %2); пакет более медленного диска
                       остаётся неполным
  --keep ЧТО           что пакет хранит от диска из привода: both
                       (по умолчанию) — образ с картой GNU ddrescue
                       непрочитанного и извлечённые из него файлы; files —
                       только файлы; image — только образ
  --bag-info ФАЙЛ      дополнительные поля bag-info.txt для пакета, например
                       Source-Organization или Contact-Email: строки
                       «Метка: значение» в UTF-8, как в bag-info.txt
  -h, --help           показать эту справку и выйти
  -v, --version        показать версию и выйти

Код выхода: 0 — полный пакет или диск уже в архиве, 1 — неполный пакет
(повреждённые файлы или истекло время), 2 — командная строка отвергнута,
3 — ошибка (пакета нет: источник, цель, диск или копирование), 4 — диск
цели заполнен.</translation>
    </message>
    <message id="archiveProgram.complete">
        <source>complete: %1</source>
        <extracomment>The result line on the standard output. %1: the bag folder</extracomment>
        <translation>готово: %1</translation>
    </message>
    <message id="archiveProgram.incomplete">
        <source>incomplete: %1</source>
        <extracomment>The result line: a bag with damaged files or cut short. %1: the bag folder</extracomment>
        <translation>неполный: %1</translation>
    </message>
    <message id="archiveProgram.alreadyArchived">
        <source>already archived: %1</source>
        <extracomment>The result line: the disc already has a complete bag. %1: that bag folder</extracomment>
        <translation>уже в архиве: %1</translation>
    </message>
    <message id="archiveProgram.failed">
        <source>failed: %1</source>
        <extracomment>The result line when no bag was made. %1: why, one of the texts below</extracomment>
        <translation>ошибка: %1</translation>
    </message>
    <message id="archiveProgram.targetFull">
        <source>the target disk is full: %1</source>
        <extracomment>%1: the target folder</extracomment>
        <translation>диск цели заполнен: %1</translation>
    </message>
    <message id="archiveProgram.sourceUnreadable">
        <source>cannot read %1: %2</source>
        <extracomment>%1: the source as given, %2: the system's reason</extracomment>
        <translation>не удаётся прочитать %1: %2</translation>
    </message>
    <message id="archiveProgram.notASource">
        <source>%1 is neither a folder, a CD/DVD drive nor a disc image (ISO 9660, UDF, BIN/CUE, cdrdao TOC)</source>
        <extracomment>%1: the source as given</extracomment>
        <translation>%1 — не папка, не привод CD/DVD и не образ диска (ISO 9660, UDF, BIN/CUE, TOC cdrdao)</translation>
    </message>
    <message id="verifyProgram.usage">
        <source>usage: dravolin-archive verify TARGET [BAG...]</source>
        <extracomment>The refusal of a verify command line without its target folder</extracomment>
        <translation>использование: dravolin-archive verify TARGET [BAG...]</translation>
    </message>
    <message id="verifyProgram.valid">
        <source>valid: %1</source>
        <extracomment>verify's line for a bag whose files all match its manifests. %1: the bag</extracomment>
        <translation>в порядке: %1</translation>
    </message>
    <message id="verifyProgram.changed">
        <source>changed: %1</source>
        <extracomment>verify's line for a bag with a file whose bytes changed. %1: the bag</extracomment>
        <translation>изменён: %1</translation>
    </message>
    <message id="verifyProgram.missingFiles">
        <source>missing files: %1</source>
        <extracomment>verify's line for a bag that lost files. %1: the bag</extracomment>
        <translation>недостаёт файлов: %1</translation>
    </message>
    <message id="verifyProgram.extraFiles">
        <source>extra files: %1</source>
        <extracomment>verify's line for a bag with files no manifest lists. %1: the bag</extracomment>
        <translation>лишние файлы: %1</translation>
    </message>
    <message id="verifyProgram.unreadable">
        <source>unreadable: %1</source>
        <extracomment>verify's line for a bag that could not be checked. %1: the bag</extracomment>
        <translation>не читается: %1</translation>
    </message>
    <message id="verifyProgram.progress">
        <source>checking bag %1 of %2: %3, %4 MB read</source>
        <extracomment>verify's progress line on a terminal. %1: the bag's number, %2: how many, %3: the bag, %4: megabytes read</extracomment>
        <translation>проверка пакета %1 из %2: %3, прочитано %4 МБ</translation>
    </message>
    <message id="verifyProgram.stopped">
        <source>stopped: no report written</source>
        <extracomment>verify was interrupted</extracomment>
        <translation>остановлено: отчёт не записан</translation>
    </message>
    <message id="verifyProgram.targetUnreadable">
        <source>cannot read the target folder %1: %2</source>
        <extracomment>%1: the target folder, %2: the system's reason</extracomment>
        <translation>не удаётся прочитать целевую папку %1: %2</translation>
    </message>
    <message id="verifyProgram.reportUnwritten">
        <source>cannot write the report %1: %2</source>
        <extracomment>%1: the report file, %2: the system's reason</extracomment>
        <translation>не удаётся записать отчёт %1: %2</translation>
    </message>
    <message id="verifyProgram.report">
        <source>report: %1</source>
        <extracomment>The last line of verify on the error output. %1: the report file</extracomment>
        <translation>отчёт: %1</translation>
    </message>
    <message id="archiveProgram.targetUnusable">
        <source>cannot use the target folder %1: %2</source>
        <extracomment>%1: the target folder, %2: the system's reason</extracomment>
        <translation>нельзя использовать папку цели %1: %2</translation>
    </message>
    <message id="archiveProgram.targetBackslash">
        <source>a folder name in %1 holds a backslash, which is read as a separator</source>
        <extracomment>%1: the target folder, as found on the disk</extracomment>
        <translation>имя папки в %1 содержит обратную косую черту, а она читается как разделитель</translation>
    </message>
    <message id="archiveProgram.targetForbidden">
        <source>the target folder %1 holds one of ? * &lt; &gt; | &quot;, which Windows forbids in names</source>
        <extracomment>%1: the target folder as given</extracomment>
        <translation>папка цели %1 содержит один из символов ? * &lt; &gt; | &quot;, которые Windows запрещает в именах</translation>
    </message>
    <message id="archiveProgram.targetInSource">
        <source>the target folder %1 lies inside the source %2</source>
        <extracomment>%1: the target folder, %2: the source folder</extracomment>
        <translation>папка цели %1 находится внутри источника %2</translation>
    </message>
    <message id="archiveProgram.notArchived">
        <source>%1 could not be archived</source>
        <extracomment>%1: the source as given; the system's reason may follow</extracomment>
        <translation>не удалось заархивировать %1</translation>
    </message>
    <message id="archiveProgram.interrupted">
        <source>interrupted; the unfinished bag was removed</source>
        <extracomment>The result when the program was interrupted (Ctrl+C)</extracomment>
        <translation>прервано; незаконченный пакет удалён</translation>
    </message>
    <message id="archiveProgram.logNotWritten">
        <source>the disc's row could not be written to %1</source>
        <extracomment>A warning on the error output. %1: the log file</extracomment>
        <translation>не удалось записать строку диска в %1</translation>
    </message>
    <message id="archiveProgram.readOn">
        <source>read on from %1, whose bag it replaces: %2 bytes more read</source>
        <extracomment>A line on the error output: the disc had an incomplete bag, and only what it lacked was read. %1: that bag, %2: the bytes read</extracomment>
        <translation>дочитан с %1, пакет которого заменён: прочитано ещё %2 байт</translation>
    </message>
    <message id="archiveProgram.nothingGained">
        <source>read on from %1: nothing more could be read, and that bag is as it was</source>
        <extracomment>A line on the error output. %1: the incomplete bag read on from</extracomment>
        <translation>дочитан с %1: больше ничего прочитать не удалось, тот пакет не изменился</translation>
    </message>
    <message id="archiveProgram.anotherDrive">
        <source>another drive may read the rest: give its device as SOURCE, with the same TARGET</source>
        <extracomment>A line on the error output after an incomplete bag of a drive's disc; keep SOURCE and TARGET as the help names them</extracomment>
        <translation>остальное может прочитать другой дисковод: укажите его устройство как SOURCE, с тем же TARGET</translation>
    </message>
</context>
</TS>
