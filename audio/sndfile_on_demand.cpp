// The libsndfile functions the sound file loader and the recorder call,
// opened on first use (see library_on_demand.h): libsndfile brings the FLAC,
// Vorbis, Opus and MPEG codecs with it, and the first WAVE file is decoded on
// a worker thread.
// A function missing here is a link error, not a crash.

#include "forward_on_demand.h"

#include <sndfile.h>

// name, result, parameters, arguments, the answer when libsndfile is missing
#define TREMLO_SNDFILE_FUNCTIONS(X)                                                                \
    X(sf_open_virtual, SNDFILE*,                                                                   \
      (SF_VIRTUAL_IO * sfvirtual, int mode, SF_INFO* sfinfo, void* user_data),                     \
      (sfvirtual, mode, sfinfo, user_data), nullptr)                                               \
    X(sf_close, int, (SNDFILE * sndfile), (sndfile), 0)                                            \
    X(sf_readf_short, sf_count_t, (SNDFILE * sndfile, short* ptr, sf_count_t frames),              \
      (sndfile, ptr, frames), 0)                                                                   \
    X(sf_readf_float, sf_count_t, (SNDFILE * sndfile, float* ptr, sf_count_t frames),              \
      (sndfile, ptr, frames), 0)                                                                   \
    X(sf_open, SNDFILE*, (const char* path, int mode, SF_INFO* sfinfo), (path, mode, sfinfo),      \
      nullptr)                                                                                     \
    X(sf_open_fd, SNDFILE*, (int fd, int mode, SF_INFO* sfinfo, int close_desc),                   \
      (fd, mode, sfinfo, close_desc), nullptr)                                                     \
    X(sf_seek, sf_count_t, (SNDFILE * sndfile, sf_count_t frames, int whence),                     \
      (sndfile, frames, whence), -1)                                                               \
    X(sf_writef_float, sf_count_t, (SNDFILE * sndfile, const float* ptr, sf_count_t frames),       \
      (sndfile, ptr, frames), 0)                                                                   \
    X(sf_command, int, (SNDFILE * sndfile, int command, void* data, int datasize),                 \
      (sndfile, command, data, datasize), 0)                                                       \
    X(sf_write_sync, void, (SNDFILE * sndfile), (sndfile), void())                                 \
    X(sf_error, int, (SNDFILE * sndfile), (sndfile), SF_ERR_UNRECOGNISED_FORMAT)                   \
    X(sf_strerror, const char*, (SNDFILE * sndfile), (sndfile), "libsndfile is missing")           \
    X(sf_error_number, const char*, (int errnum), (errnum), "libsndfile is missing")

TREMLO_FORWARD_ON_DEMAND(TREMLO_SNDFILE_FUNCTIONS, TREMLO_SNDFILE_SONAME)
