#include "user_text.h"

namespace tremlo {
namespace {

TextTranslation g_translation = nullptr;

} // namespace

void useTextTranslation(TextTranslation translation) {
    g_translation = translation;
}

std::string userText(const char* context, const char* source) {
    return g_translation != nullptr ? g_translation(context, source) : source;
}

std::string fillIn(std::string_view text, std::initializer_list<std::string_view> arguments) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t number =
            i + 1 < text.size() && text[i] == '%' ? static_cast<std::size_t>(text[i + 1] - '0') : 0;
        if (number >= 1 && number <= 9 && number <= arguments.size()) {
            result += arguments.begin()[number - 1];
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

} // namespace tremlo
