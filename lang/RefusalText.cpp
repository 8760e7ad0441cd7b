#include "RefusalText.h"

#include <array>
#include <cerrno>
#include <cstring>

namespace {

using Words = std::array<const char *, LanguageCount>; // Russian, Ukrainian, English
using Cause = RegistryRefusal::Cause;
using Problem = RegistryRefusal::Problem;

QString Say(const Words &words, TLanguage language) { return QString::fromUtf8(words[language]); }

// The system's error numbers that a save or a read meets most, in words;
// any other in the system's own (English) words.
QString ErrorText(int error, TLanguage language)
{
    switch (error) {
    case ENOSPC: return Say({"на диске нет места", "на диску немає місця", "no space left on the disk"}, language);
#ifdef EDQUOT // not on Windows
    case EDQUOT: return Say({"превышена дисковая квота", "перевищено дискову квоту", "the disk quota is exceeded"}, language);
#endif
    case EFBIG: return Say({"файл слишком велик", "файл завеликий", "the file is too large"}, language);
    case EACCES:
    case EPERM: return Say({"нет доступа", "немає доступу", "permission denied"}, language);
    case EROFS:
        return Say({"файловая система только для чтения", "файлова система лише для читання",
                    "the file system is read-only"},
                   language);
    case EIO: return Say({"ошибка ввода-вывода", "помилка введення-виведення", "an input/output error"}, language);
    default: return QString::fromUtf8(std::strerror(error));
    }
}

// What the file holds that could not be read, or why its save failed.
QString ProblemText(const RegistryRefusal &refusal, TLanguage language)
{
    const QString line = QString::number(refusal.line);
    switch (refusal.problem) {
    case Problem::NotRegistryFile:
        return Say({"это не файл реестра Wine (нет строки «WINE REGISTRY Version 2»)",
                    "це не файл реєстру Wine (немає рядка «WINE REGISTRY Version 2»)",
                    "it is not a Wine registry file (no \"WINE REGISTRY Version 2\" line)"},
                   language);
    case Problem::CutShort:
        return Say({"строка %1 оборвана на середине (файл, возможно, обрезан)",
                    "рядок %1 обірвано на середині (файл, можливо, обрізано)",
                    "line %1 breaks off in the middle (the file may have been cut short)"},
                   language)
            .arg(line);
    case Problem::TextBeforeFirstKey:
        return Say({"в строке %1 текст перед первым ключом", "у рядку %1 текст перед першим ключем",
                    "line %1 holds text before the first key"},
                   language)
            .arg(line);
    case Problem::KeyLine:
        return Say({"строка %1 с ключом не распознана", "рядок %1 з ключем не розпізнано",
                    "the key line %1 is not understood"},
                   language)
            .arg(line);
    case Problem::KeyPathTooDeep:
        return Say({"в строке %1 путь ключа глубже 512 уровней", "у рядку %1 шлях ключа глибший за 512 рівнів",
                    "the key path on line %1 is deeper than 512 levels"},
                   language)
            .arg(line);
    case Problem::KeyOption:
        return Say({"строка %1 с параметром ключа не распознана", "рядок %1 з параметром ключа не розпізнано",
                    "the key option on line %1 is not understood"},
                   language)
            .arg(line);
    case Problem::ValueLine:
        return Say({"строка %1 со значением не распознана", "рядок %1 зі значенням не розпізнано",
                    "the value line %1 is not understood"},
                   language)
            .arg(line);
    case Problem::Line:
        return Say({"строка %1 не распознана", "рядок %1 не розпізнано", "line %1 is not understood"}, language)
            .arg(line);
    case Problem::TooLarge:
        return Say({"файл больше 1 ГБ", "файл більший за 1 ГБ", "the file is larger than 1 GB"}, language);
    case Problem::NotRegularFile:
        return Say({"это не обычный файл", "це не звичайний файл", "it is not a regular file"}, language);
    case Problem::Unreadable:
        return Say({"файл не читается: %1", "файл не читається: %1", "the file cannot be read: %1"}, language)
            .arg(ErrorText(refusal.error, language));
    case Problem::FolderLocked:
        return Say({"другая программа слишком долго держала папку реестра заблокированной",
                    "інша програма надто довго тримала теку реєстру заблокованою",
                    "another program kept the registry folder locked for too long"},
                   language);
    case Problem::LockFailed:
        return Say({"папку реестра не удалось заблокировать: %1", "теку реєстру не вдалося заблокувати: %1",
                    "the registry folder could not be locked: %1"},
                   language)
            .arg(ErrorText(refusal.error, language));
    case Problem::WriteFailed: return ErrorText(refusal.error, language);
    case Problem::RewriteWaits:
        return Say({"его переписывание, прерванное сбоем, ещё не откачено",
                    "його переписування, перерване збоєм, ще не відкочено",
                    "a rewrite that a crash cut short is not undone yet"},
                   language);
    case Problem::RewriteUnfinished:
        return Say({"не удалось откатить переписывание, прерванное сбоем: %1",
                    "не вдалося відкотити переписування, перерване збоєм: %1",
                    "a rewrite that a crash cut short could not be undone: %1"},
                   language)
            .arg(ErrorText(refusal.error, language));
    case Problem::None: break;
    }
    return QString::fromStdString(refusal.words);
}

// Why a file will not be changed.
QString FileReason(const RegistryRefusal &refusal, TLanguage language)
{
    switch (refusal.cause) {
    case Cause::Requested:
        return Say({"он открыт только для чтения по запросу", "його відкрито лише для читання на запит",
                    "it was opened read-only on request"},
                   language);
    case Cause::FileNotWritable:
        if (refusal.problem != Problem::None)
            return ProblemText(refusal, language);
        return Say({"у файла нет права на запись", "файл не має права на запис", "the file may not be written"},
                   language);
    case Cause::FolderNotWritable:
        return Say({"в папку реестра нельзя писать", "у теку реєстру не можна писати",
                    "the registry folder may not be written"},
                   language);
    case Cause::WineServerRunning:
        return Say({"для этого префикса работает сервер Wine, и его сохранение затёрло бы изменения",
                    "для цього префікса працює сервер Wine, і його збереження затерло б зміни",
                    "a Wine server runs for this prefix, and its own save would overwrite the changes"},
                   language);
    default: return ProblemText(refusal, language);
    }
}

// Windows' refusal: access denied in words of the window's language, any
// other in Windows' own words with its error code.
QString SystemReason(const RegistryRefusal &refusal, TLanguage language)
{
    constexpr int accessDenied = 5; // ERROR_ACCESS_DENIED
    if (refusal.error == accessDenied)
        return Say({"Windows отказала в доступе.", "Windows відмовила в доступі.", "Windows denied access."}, language);
    return Say({"Windows отказала (код %1): %2.", "Windows відмовила (код %1): %2.", "Windows refused (code %1): %2."},
               language)
        .arg(refusal.error)
        .arg(QString::fromStdString(refusal.words));
}

// A reason that concerns what was asked, not a file.
QString RequestReason(const RegistryRefusal &refusal, TLanguage language)
{
    switch (refusal.cause) {
    case Cause::RootKey:
        return Say({"Корневой ключ никогда не удаляется.", "Кореневий ключ ніколи не видаляється.",
                    "A root key is never deleted."},
                   language);
    case Cause::EmptyLevel:
        return Say({"Уровень %1 пути пуст.", "Рівень %1 шляху порожній.", "Level %1 of the path is empty."}, language)
            .arg(refusal.level);
    case Cause::NameTooLong:
        return Say({"Имя длиннее %1 символов.", "Ім'я довше за %1 символів.",
                    "The name is longer than %1 characters."},
                   language)
            .arg(refusal.limit);
    case Cause::TooDeep:
        return Say({"В пути больше %1 уровней.", "У шляху більше %1 рівнів.", "The path has more than %1 levels."},
                   language)
            .arg(refusal.limit);
    case Cause::SystemError: return SystemReason(refusal, language);
    default: return QString::fromStdString(refusal.words);
    }
}

} // namespace

QString RefusalText(TLanguage language, const RegistryRefusal &refusal)
{
    const QString file = QString::fromStdString(refusal.file);
    switch (refusal.cause) {
    case Cause::SaveFailed:
        return Say({"Файл реестра %1 не сохранён: %2.", "Файл реєстру %1 не збережено: %2.",
                    "The registry file %1 was not saved: %2."},
                   language)
            .arg(file, ProblemText(refusal, language));
    case Cause::Requested:
    case Cause::NotUnderstood:
    case Cause::FileNotWritable:
    case Cause::FolderNotWritable:
    case Cause::WineServerRunning:
        return Say({"Файл реестра %1 не будет изменён: %2.", "Файл реєстру %1 не буде змінено: %2.",
                    "The registry file %1 will not be changed: %2."},
                   language)
            .arg(file, FileReason(refusal, language));
    default: return RequestReason(refusal, language);
    }
}
