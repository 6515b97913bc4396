#pragma once

// Texts for the user made below the windows (the engine's messages, the
// switch box's): written in Japanese, the program's own language, and
// translated into the windows' language as they are made. These rooms have no
// Qt, so the translation reaches them as one function that start-up installs
// before the first text is made; without it a text is its Japanese source.
//
//   fillIn(userText("Engine", "プレイリスト %1 を読み込めませんでした。"), {path})
//
// The context and the source are literals, so the translation tools find
// every text where it is written.
//
// Thread: the user-interface thread.

#include <initializer_list>
#include <string>
#include <string_view>

namespace tremlo {

using TextTranslation = std::string (*)(const char* context, const char* source);

// Null puts back the Japanese sources.
void useTextTranslation(TextTranslation translation);

// The source in the windows' language.
std::string userText(const char* context, const char* source);

// `text` with %1 to %9 replaced by `arguments` in turn, in one pass (a %n
// with no argument, or inside an argument, stays as it is).
std::string fillIn(std::string_view text, std::initializer_list<std::string_view> arguments);

} // namespace tremlo
