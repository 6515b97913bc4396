#include "library_on_demand.h"

#include <dlfcn.h>

namespace tremlo::sound {

bool LibraryOnDemand::open() {
    // Local, so the library's symbols never stand in for anyone else's; the
    // handle stays open for the rest of the run.
    void* handle = dlopen(m_soname, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return false;
    if (m_resolve(handle))
        return true;
    dlclose(handle);
    return false;
}

} // namespace tremlo::sound
