// Unpacks random bytes as a zipped TextBundle into a fresh folder, as the
// library's unzip operation does for a package it is given, then reads the
// bundle's "info.json" and "text.markdown" as a reader of bundles would.
// Checks that whatever the archive names, nothing is written outside the
// bundle's folder, no link is made, and the process's working folder stays.
#include <dirent.h>
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/d_string.h"
#include "library/file_utils.h"
#include "textengine/settings/json.h"
#include "library/packaging/zip_archive.h"
#include "library/tzr.h"

namespace {

// A failed check names itself before the abort that reports the input.
#define check(condition) \
    ((condition) ? (void)0 : (fprintf(stderr, "check failed: %s\n", #condition), abort()))

std::string g_base;  // a folder of this process's own, holding one run at a time

int remove_entry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

void remove_tree(const std::string &path) { nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

// Every path below the base lies inside the bundle's folder, and none is a
// link.
std::string g_bundle;
int inspect(const char *path, const struct stat *info, int type, struct FTW *) {
    const std::string p(path);
    const bool inside = p == g_base || p == g_base + "/run" || p == g_bundle ||
                        p.compare(0, g_bundle.size() + 1, g_bundle + "/") == 0;
    check(inside);
    check(type != FTW_SL && type != FTW_SLN && !S_ISLNK(info->st_mode));
    return 0;
}

void read_bundle(const std::string &bundle) {
    const std::string info = bundle + "/info.json";
    if (json_value *value = json_parse_file(info.c_str()))
        json_value_free(value);
    DString *text = file_read_to_d_string((bundle + "/text.markdown").c_str());
    if (!text)
        return;
    tzr_engine *e = tzr_engine_create_with_string(text->str, 0);
    tzr_engine_parse_string(e);
    tzr_engine_free(e, true);
    d_string_free(text, true);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char name[] = "/tmp/orvane-fuzz-textbundle-XXXXXX";
    check(mkdtemp(name) != nullptr);
    g_base = name;
    g_bundle = g_base + "/run/bundle.textbundle";
    atexit([] { remove_tree(g_base); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char before[4096];
    check(getcwd(before, sizeof before) != nullptr);
    check(mkdir((g_base + "/run").c_str(), 0755) == 0);

    tzr_unzip_data_to_folder(reinterpret_cast<const char *>(data), size, g_bundle.c_str());

    char after[4096];
    check(getcwd(after, sizeof after) != nullptr && strcmp(before, after) == 0);
    nftw(g_base.c_str(), inspect, 16, FTW_PHYS);
    read_bundle(g_bundle);
    remove_tree(g_base + "/run");
    return 0;
}
