// The FluidSynth functions the library calls, opened on first use (see
// library_on_demand.h). A function missing here is a link error, not a crash.

#include "forward_on_demand.h"

#include <fluidsynth.h>

// name, result, parameters, arguments, the answer when FluidSynth is missing
#define TREMLO_FLUIDSYNTH_FUNCTIONS(X)                                                             \
    X(fluid_set_log_function, fluid_log_function_t,                                                \
      (int level, fluid_log_function_t fun, void* data), (level, fun, data), nullptr)              \
    X(new_fluid_settings, fluid_settings_t*, (void), (), nullptr)                                  \
    X(delete_fluid_settings, void, (fluid_settings_t * settings), (settings), void())              \
    X(fluid_settings_setnum, int, (fluid_settings_t * settings, const char* name, double value),   \
      (settings, name, value), FLUID_FAILED)                                                       \
    X(fluid_settings_setint, int, (fluid_settings_t * settings, const char* name, int value),      \
      (settings, name, value), FLUID_FAILED)                                                       \
    X(new_fluid_synth, fluid_synth_t*, (fluid_settings_t * settings), (settings), nullptr)         \
    X(delete_fluid_synth, void, (fluid_synth_t * synth), (synth), void())                          \
    X(fluid_synth_sfload, int, (fluid_synth_t * synth, const char* filename, int reset_presets),   \
      (synth, filename, reset_presets), FLUID_FAILED)                                              \
    X(fluid_synth_write_float, int,                                                                \
      (fluid_synth_t * synth, int len, void* lout, int loff, int lincr, void* rout, int roff,      \
       int rincr),                                                                                 \
      (synth, len, lout, loff, lincr, rout, roff, rincr), FLUID_FAILED)                            \
    X(fluid_synth_system_reset, int, (fluid_synth_t * synth), (synth), FLUID_FAILED)               \
    X(fluid_synth_noteon, int, (fluid_synth_t * synth, int chan, int key, int vel),                \
      (synth, chan, key, vel), FLUID_FAILED)                                                       \
    X(fluid_synth_noteoff, int, (fluid_synth_t * synth, int chan, int key), (synth, chan, key),    \
      FLUID_FAILED)                                                                                \
    X(fluid_synth_key_pressure, int, (fluid_synth_t * synth, int chan, int key, int val),          \
      (synth, chan, key, val), FLUID_FAILED)                                                       \
    X(fluid_synth_cc, int, (fluid_synth_t * synth, int chan, int ctrl, int val),                   \
      (synth, chan, ctrl, val), FLUID_FAILED)                                                      \
    X(fluid_synth_program_change, int, (fluid_synth_t * synth, int chan, int program),             \
      (synth, chan, program), FLUID_FAILED)                                                        \
    X(fluid_synth_channel_pressure, int, (fluid_synth_t * synth, int chan, int val),               \
      (synth, chan, val), FLUID_FAILED)                                                            \
    X(fluid_synth_pitch_bend, int, (fluid_synth_t * synth, int chan, int val), (synth, chan, val), \
      FLUID_FAILED)                                                                                \
    X(fluid_synth_count_midi_channels, int, (fluid_synth_t * synth), (synth), 0)                   \
    X(fluid_synth_set_channel_type, int, (fluid_synth_t * synth, int chan, int type),              \
      (synth, chan, type), FLUID_FAILED)                                                           \
    X(fluid_synth_bank_select, int, (fluid_synth_t * synth, int chan, int bank),                   \
      (synth, chan, bank), FLUID_FAILED)                                                           \
    X(fluid_synth_all_notes_off, int, (fluid_synth_t * synth, int chan), (synth, chan),            \
      FLUID_FAILED)                                                                                \
    X(fluid_synth_sysex, int,                                                                      \
      (fluid_synth_t * synth, const char* data, int len, char* response, int* response_len,        \
       int* handled, int dryrun),                                                                  \
      (synth, data, len, response, response_len, handled, dryrun), FLUID_FAILED)

TREMLO_FORWARD_ON_DEMAND(TREMLO_FLUIDSYNTH_FUNCTIONS, TREMLO_FLUIDSYNTH_SONAME)
