#pragma once

// How the output devices play, rest and change their period: every constant
// and environment variable of the devices, in one place. Why each value
// is what it is, and what it was measured with: docs/audio-periods.md.
//
// Thread: any; the variables are read once, when a device is made.

#include <chrono>

namespace tremlo::sound::tuning {

// Periods, in frames. A device starts at the shortest and lengthens up to the
// longest; a user may start it anywhere between the two bounds below.
inline constexpr int kShortestFrames = 256;
inline constexpr int kLongestFrames = 1024;
inline constexpr int kUserFramesAtLeast = 32;
inline constexpr int kUserFramesAtMost = 8192;

// Watches that found late periods within this window make one spell; while
// a sound plays, a spell this many watches long lengthens the period. The
// server's stream changes without a gap, so at once; SDL's with a short
// silence, so only when the late periods break the sound worse.
inline constexpr std::chrono::seconds kLateSpellWindow{10};
inline constexpr int kServerLateWatchesWhileSounding = 1;
inline constexpr int kSdlLateWatchesWhileSounding = 3;

// So long with no late period, and nothing sounding, a device tries the
// shorter period again; each time that was too soon, twice as long, up to
// the longest calm.
inline constexpr std::chrono::seconds kCalmBeforeShorter{60};
inline constexpr std::chrono::seconds kLongestCalm{32 * 60};

// How often a device looks at its late periods (and SDL's for a lost
// server); the server's stream looks seldom while it rests, and after a
// change of its own counts nothing late for a while.
inline constexpr std::chrono::milliseconds kWatchInterval{250};
inline constexpr std::chrono::seconds kRestingWatchInterval{1};
inline constexpr std::chrono::milliseconds kOwnChangeSettles{200};
inline constexpr std::chrono::milliseconds kReconnectInterval{250};

// Quiet for this long, a device rests; SDL's still writes one period after
// each rest length, since only writing notices a server gone.
inline constexpr std::chrono::seconds kQuietBeforeRest{2};
inline constexpr std::chrono::seconds kSdlRestLength{1};

// A late request of the server's stream is one that came a quiet virtual
// machine's jitter later than all the server held would last; SDL's
// callbacks may come as much later as the sink renders ahead.
inline constexpr std::chrono::milliseconds kServerRequestJitter{1};
inline constexpr std::chrono::milliseconds kSinkAhead{2};

// A change written over what the server holds starts this long after where
// its read index was reckoned to be: a sink that cannot take back what it
// has taken ahead (a null sink, PipeWire's graph) takes it in blocks, and
// a block taken between the server's answer and the write would cut off
// the start of a sound. Measured on PulseAudio's null sink: starts lost
// 0.3 to 0.9 ms without a margin.
inline constexpr std::chrono::microseconds kRewriteMargin{1000};

// The rate when the server does not tell its own.
inline constexpr int kFallbackRate = 48000;

// The environment. The first period of the servers' own streams, PulseAudio's
// and PipeWire's (TREMLO_PERIOD_FRAMES) and of SDL's (SDL_AUDIO_SAMPLES), the shortest
// when unset or out of bounds.
int serverFirstPeriodFrames();
int sdlFirstPeriodFrames();
// TREMLO_AUDIO: pipewire, pulse or sdl takes that output (SDL's still when
// the chosen one cannot open); unset or anything else, the first that
// answers of the three, in that order.
enum class OutputChoice { Automatic, PipeWire, Pulse, Sdl };
OutputChoice chosenOutput();
// PULSE_LATENCY_MSEC as the user set it, else 0: SDL's stream then holds
// what the device asks for.
int userServerBufferMsec();

} // namespace tremlo::sound::tuning
