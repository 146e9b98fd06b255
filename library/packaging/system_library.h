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

// The library by its shared-object name ("libcurl.so.4"); NULL when it
// cannot be loaded (the reason is logged).
void *open(const char *soname);

// The address of `name` in `library`; NULL (logged) when it has none.
void *find(void *library, const char *name, const char *soname);

// Fills one member of a table with the function of that name, typed as the
// member is; false when it is missing.
struct Binder {
    void *library;
    const char *soname;

    template <class Function>
    bool operator()(Function &slot, const char *name) const {
        slot = reinterpret_cast<Function>(find(library, name, soname));
        return slot != nullptr;
    }
};

// The table of `soname`, filled by `fill(bind, table)` (true when every
// member was found) the first time it is asked for, then kept; NULL when the
// library or one of its functions is missing. One table per type.
template <class Table, class Fill>
const Table *load(const char *soname, Fill fill) {
    static const Table *loaded = [&]() -> const Table * {
        static Table table;
        void *library = open(soname);
        return library && fill(Binder{library, soname}, table) ? &table : nullptr;
    }();
    return loaded;
}

}  // namespace system_library
