#include "library/packaging/system_library.h"

#include <dlfcn.h>

#include "library/diagnostics.h"

namespace system_library {

void *open(const char *soname) {
    void *library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        tzr_log("Could not load %s: %s\n", soname, dlerror());
    return library;
}

void *find(void *library, const char *name, const char *soname) {
    if (!library)
        return nullptr;
    void *found = dlsym(library, name);
    if (!found)
        tzr_log("%s has no %s.\n", soname, name);
    return found;
}

}  // namespace system_library
