#pragma once

// The melody shelf of the last run, kept in a section of its own, "[Shelf]",
// so the program's section keeps its 25 keys.
//
//   Playlist=/home/…/発車.m3u8   the playlist the shelf is, empty for the
//                                 Melody folders
//   Position=3                    the entry chosen last, from 1; 0 or
//                                 missing for none
//   File=/home/…/品川1.wav         that entry's file, which finds it again
//                                 when the shelf has changed since
//   Platform=山手線 ▸ 品川 ▸ 1番線   when the shelf is a station set, that
//                                 entry's platform, found by its names
//                                 before its file or position (platforms
//                                 may share a melody)
//
// Thread: the user-interface thread.

#include "ini_profile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tremlo {

inline constexpr std::string_view kShelfSection = "Shelf";

struct ShelfSettings {
    std::string Playlist;
    std::int32_t Position = 0;
    std::string File;
    std::string Platform;

    bool operator==(const ShelfSettings&) const = default;
};

ShelfSettings readShelfSettings(const IniProfile& ini);

// Every key in one replacement of the file; false when any could not be
// written (the file keeps its old value for that key).
bool writeShelfSettings(IniProfile& ini, const ShelfSettings& shelf);

} // namespace tremlo
