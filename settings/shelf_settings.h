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

    bool operator==(const ShelfSettings&) const = default;
};

ShelfSettings readShelfSettings(const IniProfile& ini);

// Every key in one replacement of the file; false when any could not be
// written (the file keeps its old value for that key).
bool writeShelfSettings(IniProfile& ini, const ShelfSettings& shelf);

} // namespace tremlo
