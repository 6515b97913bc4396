#pragma once

// The windows' language, installed once at start-up before any window is
// built: the program's English translation (embedded at build time) and
// Qt's own texts in the same language. Japanese is the language the program
// is written in, so it needs only Qt's Japanese texts.
//
// Thread: the user-interface thread, after QApplication is made.

#include "interface_language.h"

#include <QString>
#include <QTranslator>

namespace tremlo {

// The embedded translation of the program's texts into English.
inline constexpr const char* kEnglishTranslation = ":/translations/tremolo_en.qm";

// The language chosen from `stored` and the process's locale, with its
// translations installed; `program` and `qt` must outlive the application.
Language installTranslations(LanguageChoice stored, QTranslator& program, QTranslator& qt);

// The edition of a document for the language: under English, Readme.en.html
// beside Readme.html when there is one; otherwise the document itself.
QString documentFor(Language language, const QString& path);

} // namespace tremlo
