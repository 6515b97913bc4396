#include "translations.h"

#include "user_text.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <clocale>
#include <cstdlib>
#include <string_view>

namespace tremlo {

Language installTranslations(LanguageChoice stored, QTranslator& program, QTranslator& qt) {
    const Language language = interfaceLanguage(
        stored, [](const char* name) { return static_cast<const char*>(std::getenv(name)); });
    // The rooms without Qt make their texts through the same translators.
    useTextTranslation([](const char* context, const char* source) {
        return QCoreApplication::translate(context, source).toStdString();
    });
    if (language == Language::English) {
        if (program.load(QString::fromLatin1(kEnglishTranslation)))
            QCoreApplication::installTranslator(&program);
        // Pictures with words on them come in the default locale's edition:
        // the English name plate.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::system().territory()));
        // The system's own messages (strerror's) come in English too; the
        // other categories, numbers and dates among them, stay the user's.
        const char* messages = std::setlocale(LC_MESSAGES, nullptr);
        if (messages == nullptr || !std::string_view(messages).starts_with("en"))
            std::setlocale(LC_MESSAGES, "C.UTF-8");
        return language;
    }
    // The Japanese name plate, under an English locale too.
    if (QLocale::system().language() == QLocale::English)
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    // Standard buttons read 再試行, キャンセル, OK whatever the user's locale.
    if (qt.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
    return language;
}

QString documentFor(Language language, const QString& path) {
    if (language != Language::English)
        return path;
    const QFileInfo file(path);
    const QString english = file.path() + QLatin1Char('/') + file.completeBaseName() +
                            QStringLiteral(".en.") + file.suffix();
    return QFileInfo::exists(english) ? english : path;
}

} // namespace tremlo
