// Real Markdown for the benchmarks: every Markdown file that the installed
// Debian packages ship under /usr/share/doc, gathered by bench/gather-corpus
// into the working folder on first use (ORVANE_CORPUS names another file),
// and documents of a given size cut from it at a blank line (the corpus
// repeated when it is shorter). No generated text: real documents have the
// long lines, deep lists, tables and odd words that generated ones lack.
// Needs ORVANE_SOURCE_DIR defined as the source tree.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace benchsupport {

inline const std::string &realMarkdownCorpus() {
    static const std::string text = [] {
        const std::string path = getenv("ORVANE_CORPUS") ? getenv("ORVANE_CORPUS") : "corpus.md";
        if (access(path.c_str(), R_OK) != 0) {
            const std::string command = std::string(ORVANE_SOURCE_DIR) + "/bench/gather-corpus '" + path + "'";
            if (system(command.c_str()) != 0) {
                fprintf(stderr, "could not gather the corpus into %s\n", path.c_str());
                exit(1);
            }
        }
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        std::string data(size_t(in.tellg()), '\0');
        in.seekg(0);
        in.read(data.data(), std::streamsize(data.size()));
        return data;
    }();
    return text;
}

// At least `bytes` of the corpus, up to the end of the blank line that
// follows.
inline std::string realMarkdown(size_t bytes) {
    const std::string &corpus = realMarkdownCorpus();
    std::string text;
    while (text.size() < bytes + (64u << 10) && !corpus.empty())
        text += corpus;
    const size_t blank = text.find("\n\n", bytes);
    if (blank != std::string::npos)
        text.resize(blank + 2);
    return text;
}

}  // namespace benchsupport
