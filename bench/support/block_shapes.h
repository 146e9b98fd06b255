// Documents that hold one big top-level block of real text, for the
// benchmarks of typing into such a block: a list, a fenced code block (a
// log pasted in), a table or a block quote of megabytes, and the same text
// as paragraphs to compare with.
//
// The text is real: the paragraphs of the corpus of Markdown documentation
// (bench/gather-corpus), each made one line, become the list's items, the
// quote's paragraphs and the plain paragraphs; the table's cells take the
// same paragraphs' words, three to a cell; the fence holds the machine's own
// logs (dpkg's and apt's under /var/log), or, where they are missing, the
// corpus's code blocks. The text is repeated to the size asked.
//
// The block's first element (item, line, row or paragraph) begins with
// "zfirstz", the element that crosses its middle with "zmidpointz" and its
// last element with "zlastz": a find puts the caret there, and a benchmark in
// process types after the marker. A heading and a paragraph stand before the
// block and a paragraph after it.
#pragma once

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace benchsupport {

inline const char kFirstMarker[] = "zfirstz";
inline const char kMiddleMarker[] = "zmidpointz";
inline const char kLastMarker[] = "zlastz";

inline const std::vector<std::string> &blockShapes() {
    static const std::vector<std::string> shapes = {"paragraphs", "list", "fence", "table", "quote", "bibliography"};
    return shapes;
}

namespace shapes_detail {

inline std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Whether `line` opens or closes a code fence; `fence` holds the open one's
// character and `length` its run.
inline bool fenceLine(std::string_view line, char *fence, size_t *length) {
    size_t i = 0;
    while (i < 3 && i < line.size() && line[i] == ' ')
        i++;
    if (i >= line.size() || (line[i] != '`' && line[i] != '~'))
        return false;
    const char c = line[i];
    size_t n = 0;
    while (i + n < line.size() && line[i + n] == c)
        n++;
    if (n < 3)
        return false;
    if (!*fence) {
        *fence = c;
        *length = n;
        return true;
    }
    if (c == *fence && n >= *length && trimmed(line.substr(i + n)).empty()) {
        *fence = 0;
        return true;
    }
    return false;
}

// `line` without the list marker, quote marks or heading marks it begins with.
inline std::string_view withoutBlockMarks(std::string_view line) {
    for (bool again = true; again;) {
        again = false;
        line = trimmed(line);
        if (line.size() >= 2 && (line[0] == '-' || line[0] == '*' || line[0] == '+' || line[0] == '>') &&
            (line[1] == ' ' || line[0] == '>')) {
            line.remove_prefix(1);
            again = true;
        } else if (!line.empty() && line[0] == '#') {
            while (!line.empty() && line[0] == '#')
                line.remove_prefix(1);
            again = true;
        } else {
            size_t digits = 0;
            while (digits < line.size() && digits < 9 && line[digits] >= '0' && line[digits] <= '9')
                digits++;
            if (digits && digits + 1 < line.size() && (line[digits] == '.' || line[digits] == ')') &&
                line[digits + 1] == ' ') {
                line.remove_prefix(digits + 1);
                again = true;
            }
        }
    }
    return line;
}

// Whether a paragraph made one line could still begin a block of its own
// inside a list item, a quote or after a blank line (a rule, a table, HTML,
// a fence, a setext underline, a definition) and so break the shape.
inline bool beginsBlock(std::string_view text) {
    if (text.empty())
        return true;
    const char c = text[0];
    return c == '|' || c == '<' || c == '`' || c == '~' || c == '=' || c == '_' || c == '-' || c == '*' ||
           c == '+' || c == '[' || c == ':' || c == '>' || c == '#' || c == '\\' || (c >= '0' && c <= '9');
}

}  // namespace shapes_detail

// The corpus's paragraphs outside code blocks, each joined into one line,
// without the list, quote and heading marks its lines began with; those
// that could begin another kind of block, and those longer than `longest`
// bytes, are left out.
inline std::vector<std::string> corpusParagraphs(std::string_view corpus, size_t longest = 4000) {
    using namespace shapes_detail;
    std::vector<std::string> paragraphs;
    std::string paragraph;
    char fence = 0;
    size_t fenceLength = 0;
    auto flush = [&] {
        if (!paragraph.empty() && paragraph.size() <= longest && !beginsBlock(paragraph))
            paragraphs.push_back(paragraph);
        paragraph.clear();
    };
    for (size_t at = 0; at < corpus.size();) {
        size_t end = corpus.find('\n', at);
        end = end == std::string_view::npos ? corpus.size() : end;
        const std::string_view line = corpus.substr(at, end - at);
        at = end + 1;
        const bool inFence = fence != 0;
        if (fenceLine(line, &fence, &fenceLength) || inFence) {
            flush();
            continue;
        }
        // Indented code, and blank lines, end a paragraph.
        if (trimmed(line).empty() || line.substr(0, 4) == "    " || (!line.empty() && line[0] == '\t')) {
            flush();
            continue;
        }
        const std::string_view text = withoutBlockMarks(line);
        if (text.empty())
            continue;
        if (!paragraph.empty())
            paragraph += ' ';
        paragraph += text;
    }
    flush();
    return paragraphs;
}

// The lines of the corpus's fenced code blocks, for a fence when the machine
// has no logs.
inline std::vector<std::string> corpusCodeLines(std::string_view corpus) {
    using namespace shapes_detail;
    std::vector<std::string> lines;
    char fence = 0;
    size_t fenceLength = 0;
    for (size_t at = 0; at < corpus.size();) {
        size_t end = corpus.find('\n', at);
        end = end == std::string_view::npos ? corpus.size() : end;
        const std::string_view line = corpus.substr(at, end - at);
        at = end + 1;
        const bool inFence = fence != 0;
        if (!fenceLine(line, &fence, &fenceLength) && inFence && line.size() < 4000)
            lines.emplace_back(line);
    }
    return lines;
}

// The lines of the machine's logs (dpkg's and apt's), or none when they
// hold less than 64 kB.
inline std::vector<std::string> machineLogLines() {
    std::vector<std::string> lines;
    size_t bytes = 0;
    for (const char *path : {"/var/log/dpkg.log", "/var/log/apt/term.log", "/var/log/apt/history.log",
                             "/var/log/alternatives.log"}) {
        std::ifstream in(path, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.size() >= 4000)
                continue;
            bytes += line.size() + 1;
            lines.push_back(std::move(line));
        }
    }
    if (bytes < 64 * 1024)
        lines.clear();
    return lines;
}

// A document of one block of `shape` ("paragraphs", "list", "fence",
// "table", "quote") of about `bytes`, made of `corpus`; empty for a shape it
// does not know or when the corpus gives no text.
inline std::string blockDocument(const std::string &shape, std::string_view corpus, size_t bytes) {
    std::vector<std::string> source;
    if (shape == "fence") {
        source = machineLogLines();
        if (source.empty())
            source = corpusCodeLines(corpus);
        // A line of backticks or tildes would close the fence.
        std::erase_if(source, [](const std::string &line) {
            const std::string_view t = shapes_detail::trimmed(line);
            return t.substr(0, 3) == "```" || t.substr(0, 3) == "~~~";
        });
    } else if (shape == "table") {
        // Rows of a number and four cells of up to three words each.
        std::vector<std::string> words;
        for (const std::string &paragraph : corpusParagraphs(corpus)) {
            for (size_t at = 0; at < paragraph.size();) {
                const size_t end = std::min(paragraph.find(' ', at), paragraph.size());
                if (end > at)
                    words.push_back(paragraph.substr(at, end - at));
                at = end + 1;
            }
            if (words.size() > 2000000)
                break;
        }
        std::string row;
        size_t cells = 0, n = 0;
        for (size_t i = 0; i < words.size(); i++) {
            std::string word;
            for (char c : words[i])
                word += c == '|' ? std::string("\\|") : std::string(1, c);
            if (!word.empty() && word.back() == '\\')
                word.pop_back();
            row += (row.empty() || row.back() == ' ' ? "" : " ") + word;
            if (i % 3 == 2) {
                row += " | ";
                if (++cells == 4) {
                    source.push_back(std::to_string(++n) + " | " + row);
                    row.clear();
                    cells = 0;
                }
            }
        }
    } else if (shape == "paragraphs" || shape == "list" || shape == "quote" || shape == "bibliography") {
        source = corpusParagraphs(corpus);
    } else {
        return {};
    }
    if (source.empty())
        return {};

    // The elements, the source repeated to the size asked.
    std::vector<std::string> elements;
    size_t total = 0, middle = 0;
    for (size_t i = 0; total < bytes; i++) {
        elements.push_back(source[i % source.size()]);
        total += elements.back().size() + 3;
        if (!middle && total >= bytes / 2)
            middle = elements.size() - 1;
    }
    elements.front().insert(0, std::string(kFirstMarker) + " ");
    elements[middle].insert(0, std::string(kMiddleMarker) + " ");
    elements.back().insert(0, std::string(kLastMarker) + " ");

    std::string text = "# One big block\n\nA paragraph before the block, of a few words.\n\n";
    text.reserve(total + 4096);
    if (shape == "paragraphs") {
        for (const std::string &element : elements)
            text += element + "\n\n";
    } else if (shape == "list") {
        for (const std::string &element : elements)
            text += "- " + element + "\n";
        text += '\n';
    } else if (shape == "bibliography") {
        // Numbered references, each over two lines: the second goes on
        // under the first, as a reference's publisher and pages do.
        for (size_t i = 0; i < elements.size(); i++) {
            const std::string &element = elements[i];
            const size_t cut = element.find(' ', element.size() / 2);
            text += std::to_string(i + 1) + ". " + element.substr(0, cut);
            if (cut != std::string::npos)
                text += "\n   " + element.substr(cut + 1);
            text += "\n";
        }
        text += '\n';
    } else if (shape == "quote") {
        for (size_t i = 0; i < elements.size(); i++)
            text += (i ? ">\n> " : "> ") + elements[i] + "\n";
        text += '\n';
    } else if (shape == "fence") {
        text += "```text\n";
        for (const std::string &element : elements)
            text += element + "\n";
        text += "```\n\n";
    } else if (shape == "table") {
        text += "| # | words | more words | and more | last words |\n|---|---|---|---|---|\n";
        for (const std::string &element : elements)
            text += "| " + element + "\n";
        text += '\n';
    }
    text += "A paragraph after the block, of a few words.\n";
    return text;
}

}  // namespace benchsupport
