// The system libraries only packages and downloads need (libcurl, libxml2,
// libzip) are opened the first time a conversion asks for them, not when the
// program starts: with their forty dependencies they took a plain HTML
// conversion 5 ms and 8 MB before it read a byte. Each user keeps a table of
// the functions it calls, typed from the library's own header, filled once
// (a function-local static, so the first use on any thread is safe) and kept
// for the life of the process.
//
// A library or function that cannot be found leaves the table unusable and
// the caller treats it as a failed package or download, never a crash.
#pragma once

#include <cstddef>

namespace system_library {

// The library by its shared-object name ("libcurl.so.4"), opened once per
// call site's table; NULL when it cannot be loaded (the reason is logged).
void *open(const char *soname);

// The address of `name` in `library`; NULL (logged) when it has none.
void *find(void *library, const char *name, const char *soname);

// Fills `slot` with the function `name` of `library`, typed as the slot is;
// false when it is missing.
template <class Function>
bool bind(void *library, const char *soname, Function &slot, const char *name) {
    slot = reinterpret_cast<Function>(find(library, name, soname));
    return slot != nullptr;
}

}  // namespace system_library
