// Helpers for the OpenDocument tests: exports, reading a zipped document's
// entries, and checking XML with xmllint.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <functional>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "library/packaging/assets_fetch.h"
#include "library/engine.h"
#include "library/export.h"
#include "library/writers/odf.h"
#include "library/tzr.h"

namespace odf_test {

// The body that the writer makes for a document (format 5 or 6).
inline std::string body(const std::string &markdown, uint64_t extensions = 0, uint16_t format = 5) {
    char *text = tzr_string_convert(markdown.c_str(), extensions, format, 0);
    std::string result = text ? text : "";
    free(text);
    return result;
}

inline std::string take(DString *data) {
    std::string result = data ? std::string(data->str, data->length) : std::string();
    d_string_free(data, true);
    return result;
}

// Entries of a zip archive in archive order: name to bytes.
struct ZipEntries {
    std::vector<std::string> names;
    std::map<std::string, std::string> bytes;
    std::map<std::string, bool> stored;  // method is "store"
};

inline ZipEntries read_zip(const std::string &archive) {
    ZipEntries result;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(archive.data(), archive.size(), 0, &error);
    zip_t *zip = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!zip) {
        if (source)
            zip_source_free(source);
        return result;
    }
    zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        zip_stat_t st;
        zip_stat_index(zip, (zip_uint64_t)i, 0, &st);
        std::string data(st.size, '\0');
        zip_file_t *f = zip_fopen_index(zip, (zip_uint64_t)i, 0);
        if (f) {
            zip_fread(f, data.data(), st.size);
            zip_fclose(f);
        }
        result.names.push_back(st.name);
        result.bytes[st.name] = data;
        result.stored[st.name] = st.comp_method == ZIP_CM_STORE;
    }
    zip_close(zip);
    return result;
}

inline size_t count_of(const std::string &text, const std::string &needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        n++;
    return n;
}

inline bool tool_available(const char *command) {
    std::string probe = std::string("command -v ") + command + " >/dev/null 2>&1";
    return system(probe.c_str()) == 0;
}

// A fresh private folder under the system's temporary folder.
inline std::filesystem::path temp_folder(const std::string &stem) {
    std::string pattern = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
    char *made = mkdtemp(pattern.data());
    return made ? std::filesystem::path(made) : std::filesystem::path();
}

inline void write_file(const std::filesystem::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// xmllint's complaints about an XML text, or "" when it is well-formed.
inline std::string xmllint_errors(const std::string &xml, const std::filesystem::path &folder) {
    std::filesystem::path file = folder / "check.xml";
    write_file(file, xml);
    std::string command = "xmllint --noout '" + file.string() + "' 2>&1";
    std::string output;
    FILE *p = popen(command.c_str(), "r");
    if (!p)
        return "xmllint could not run";
    char buffer[512];
    while (fgets(buffer, sizeof buffer, p))
        output += buffer;
    int status = pclose(p);
    return status == 0 ? "" : (output.empty() ? "xmllint failed" : output);
}

// Captures what a call writes to standard error.
inline std::string stderr_of(const std::function<void()> &call) {
    testing::internal::CaptureStderr();
    call();
    return testing::internal::GetCapturedStderr();
}

}  // namespace odf_test
