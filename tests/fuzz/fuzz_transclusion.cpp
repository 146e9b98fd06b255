// Transcludes random text over a folder of files whose names the markers may
// use (one in a subfolder, a chapter in two formats) and whose texts come
// from the input too, with and without a caller's parent stack, and asks
// for the manifest. Checks that the caller's stack gets back its count, that
// the manifest names each path once, and that a source without markers
// comes back unchanged.
#include <fuzzer/FuzzedDataProvider.h>

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "library/d_string.h"
#include "library/stack.h"
#include "library/transclude.h"

namespace {

// A failed check names itself before the abort that reports the input.
#define check(condition) \
    ((condition) ? (void)0 : (fprintf(stderr, "check failed: %s\n", #condition), abort()))

std::string g_folder;

// The files the markers may name, relative to the folder.
const char *const kFiles[] = {"a.md", "b.md", "c.txt", "sub/d.md", "chapter.tex", "chapter.html"};

int remove_entry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

void write_file(const std::string &path, const std::string &text) {
    FILE *f = fopen(path.c_str(), "wb");
    check(f != nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

void free_strings(stack *s) {
    for (size_t i = 0; s && i < s->size; i++)
        free(s->element[i]);
    stack_free(s);
}

void check_manifest(stack *manifest) {
    check(manifest != nullptr);
    std::set<std::string> seen;
    for (size_t i = 0; i < manifest->size; i++)
        check(seen.insert(static_cast<const char *>(manifest->element[i])).second);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char name[] = "/tmp/orvane-fuzz-transclusion-XXXXXX";
    check(mkdtemp(name) != nullptr);
    g_folder = name;
    check(mkdir((g_folder + "/sub").c_str(), 0755) == 0);
    atexit([] { nftw(g_folder.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int16_t format = input.ConsumeIntegralInRange<int16_t>(0, 10);
    for (const char *name : kFiles)
        write_file(g_folder + "/" + name, input.ConsumeRandomLengthString(512));
    std::string source = input.ConsumeRemainingBytesAsString();
    source = source.c_str();  // the library's texts end at a NUL
    const std::string file = g_folder + "/main.md";

    DString *text = d_string_new(source.c_str());
    stack *manifest = stack_new(0);
    tzr_transclude(text, g_folder.c_str(), file.c_str(), format, nullptr, manifest);
    check(strlen(text->str) == text->length);
    check_manifest(manifest);
    if (source.find("{{") == std::string::npos)
        check(source == text->str);
    free_strings(manifest);
    d_string_free(text, true);

    // A caller's own parents: it gets back the count it had.
    DString *again = d_string_new(source.c_str());
    stack *parents = stack_new(0);
    stack_push(parents, (void *)file.c_str());
    tzr_transclude(again, g_folder.c_str(), file.c_str(), format, parents, nullptr);
    check(parents->size == 1 && parents->element[0] == file.c_str());
    stack_free(parents);
    d_string_free(again, true);

    stack *listed = tzr_string_transclusion_manifest(source.c_str(), g_folder.c_str(), file.c_str());
    check_manifest(listed);
    free_strings(listed);
    return 0;
}
