#include "catalogues.h"

#include "ascii_text.h"

#include <filesystem>

namespace tremlo {
namespace {

namespace fs = std::filesystem;

// UTF-16 code units of a UTF-8 text, so names compare as the desktop's
// 16-bit character codes do. Bytes that are not UTF-8 count as themselves.
std::u16string utf16Of(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        int length = byte < 0x80         ? 1
                     : (byte >> 5) == 6  ? 2
                     : (byte >> 4) == 14 ? 3
                     : (byte >> 3) == 30 ? 4
                                         : 0;
        bool whole = length != 0 && i + static_cast<std::size_t>(length) <= text.size();
        for (int k = 1; whole && k < length; ++k)
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (!whole) {
            out.push_back(byte);
            ++i;
            continue;
        }
        char32_t code = length == 1 ? byte : byte & (0x3F >> (length - 1));
        for (int k = 1; k < length; ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += static_cast<std::size_t>(length);
    }
    return out;
}

// Two names that are not UTF-8 can give the same codes (a Latin-1 "\xFF"
// and a UTF-8 "ÿ"); their bytes then decide, so the order never depends on
// the order the folder listed them in.
bool comesAfter(const std::u16string& key, const std::string& name, const std::u16string& otherKey,
                const std::string& otherName) {
    return key != otherKey ? key > otherKey : name > otherName;
}

} // namespace

std::vector<std::string> listSoundFolder(const std::string& folder,
                                         bool (*wanted)(const std::string& name)) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && wanted(name) && !name.starts_with('.'))
            names.push_back(name);
    }
    SortNames(names);
    return names;
}

void SortNames(std::vector<std::string>& names) {
    const std::size_t count = names.size();
    if (count < 2)
        return;
    std::vector<std::u16string> keys;
    keys.reserve(count);
    for (const auto& name : names)
        keys.push_back(utf16Of(name));
    std::size_t gap = 1;
    while (3 * gap + 1 <= count - 1)
        gap = 3 * gap + 1;
    for (; gap > 0; gap /= 3) {
        for (std::size_t i = gap; i < count; ++i) {
            std::u16string key = std::move(keys[i]);
            std::string name = std::move(names[i]);
            std::size_t j = i;
            for (; j >= gap && comesAfter(keys[j - gap], names[j - gap], key, name); j -= gap) {
                keys[j] = std::move(keys[j - gap]);
                names[j] = std::move(names[j - gap]);
            }
            keys[j] = std::move(key);
            names[j] = std::move(name);
        }
    }
}

std::string resolveInFolder(const std::string& folder, const std::string& name) {
    const fs::path exact = fs::path(folder) / name;
    std::error_code error;
    if (fs::exists(exact, error))
        return exact.string();
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (equalsIgnoringAsciiCase(entry.path().filename().string(), name))
            return entry.path().string();
    return exact.string();
}

CatalogueBuilder::CatalogueBuilder(const std::string& programFolder, Settings& settings,
                                   PlaybackState& state, sound::SoundLibrary& library,
                                   SoundLoader& loader)
    : m_programFolder(programFolder), m_settings(settings), m_state(state), m_library(library),
      m_loader(loader) {}

// The door sounds are listed from "Door" but read from "door"; on a file
// system that tells them apart, both mean the one folder that exists.
std::string CatalogueBuilder::doorFolder() const {
    return resolveInFolder(m_programFolder, "Door");
}
std::string CatalogueBuilder::envirFolder() const {
    return resolveInFolder(m_programFolder, "Envir");
}

void CatalogueBuilder::BuildDoorCatalogue(Catalogue& catalogue) {
    build(catalogue, doorFolder(), m_settings.DoorWAV, m_state.DoorBuffer);
}

void CatalogueBuilder::BuildEnvirCatalogue(Catalogue& catalogue) {
    build(catalogue, envirFolder(), m_settings.EnvirWAV, m_state.EnvirBuffer);
}

void CatalogueBuilder::build(Catalogue& catalogue, const std::string& folder,
                             const std::string& savedChoice, SoundHandle& sound) {
    // "*.wav" and the compressed files a melody comes in, in any letter case,
    // as the desktop's wildcards match them.
    const std::vector<std::string> names = listSoundFolder(folder, isSampledSoundPath);
    for (const auto& name : names) {
        catalogue.entries.push_back(name);
        if (name != savedChoice) // exact: case and width count
            continue;
        // The fixed sound it replaces would never sound again; it is freed.
        m_library.dsFree(sound);
        std::string path = folder;
        path.append("/").append(name);
        sound = m_loader.LoadSoundBuffer(path, 1);
        catalogue.checked = catalogue.entries.size() - 1;
    }
}

} // namespace tremlo
