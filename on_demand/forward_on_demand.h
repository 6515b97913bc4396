#pragma once

// The forwarding functions of a library opened on first use (see
// library_on_demand.h). `LIST` is an X-macro naming, for each function the
// program calls: its name, result, parameters, arguments, and the answer it
// gives when the library cannot be opened. One use per source file:
//
//     #define TREMLO_ZLIB_FUNCTIONS(X) X(zlibVersion, const char*, (void), (), "")
//     TREMLO_FORWARD_ON_DEMAND(TREMLO_ZLIB_FUNCTIONS, "libz.so.1")

#include "library_on_demand.h"

#include <dlfcn.h>

// The arguments are names, types and parameter lists pasted into
// declarations; parentheses around them would not compile.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define TREMLO_FORWARD_ON_DEMAND(LIST, SONAME)                                                     \
    TREMLO_OPEN_ON_DEMAND(LIST, SONAME)                                                            \
    LIST(TREMLO_ON_DEMAND_FORWARD)

// The library and its function pointers without the forwarding functions, for
// a file that writes some of them itself.
#define TREMLO_OPEN_ON_DEMAND(LIST, SONAME)                                                        \
    namespace {                                                                                    \
    struct Functions {                                                                             \
        LIST(TREMLO_ON_DEMAND_POINTER)                                                             \
    };                                                                                             \
    Functions functions;                                                                           \
    bool resolve(void* handle) {                                                                   \
        LIST(TREMLO_ON_DEMAND_RESOLVE)                                                             \
        return true;                                                                               \
    }                                                                                              \
    tremlo::sound::LibraryOnDemand library(SONAME, resolve);                                       \
    }

#define TREMLO_ON_DEMAND_POINTER(name, result, parameters, arguments, missing)                     \
    decltype(&::name) name = nullptr;

#define TREMLO_ON_DEMAND_RESOLVE(name, result, parameters, arguments, missing)                     \
    functions.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));                    \
    if (!functions.name)                                                                           \
        return false;

#define TREMLO_ON_DEMAND_FORWARD(name, result, parameters, arguments, missing)                     \
    extern "C" result name parameters {                                                            \
        return library.ready() ? functions.name arguments : missing;                               \
    }
// NOLINTEND(bugprone-macro-parentheses)
