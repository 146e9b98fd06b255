#include "library/labels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "library/char.h"
#include "library/records.h"

namespace {

// Deeper emphasis nesting than this is printed as plain source text.
constexpr int kMaxRawDepth = 1000;

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

constexpr char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c + ('a' - 'A')) : c; }

// The blanks a cleaned string folds: spaces, tabs and line ends.
constexpr std::array<bool, 256> kCleanSpace = [] {
    std::array<bool, 256> table{};
    table[' '] = table['\t'] = table['\n'] = table['\r'] = true;
    return table;
}();

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighs = 0x8080808080808080ULL;

// The high bit of the bytes of `word` below the space: a tab, a line end or
// another control byte. Only the lowest bit set is sure (a borrow can mark a
// byte above it), which is all that is read.
constexpr uint64_t below_space_bytes(uint64_t word) {
    return (word - kOnes * ' ') & ~word & kHighs;
}

// The high bit of each byte of `word` that is a space.
constexpr uint64_t space_bytes(uint64_t word) {
    uint64_t x = word ^ (kOnes * ' ');
    return ~(((x & ~kHighs) + ~kHighs) | x) & kHighs;
}

// `word` with each ASCII capital lowered. Each byte's low seven bits are
// lifted so that its high bit tells whether it is past 'Z' and whether it
// is at least 'A'; a byte with its own high bit set is no ASCII letter.
constexpr uint64_t lower_ascii_word(uint64_t word) {
    uint64_t low7 = word & ~kHighs;
    uint64_t past_z = low7 + kOnes * (0x7F - 'Z');
    uint64_t from_a = low7 + kOnes * (0x80 - 'A');
    uint64_t capital = ~word & (from_a ^ past_z) & kHighs;
    return word | (capital >> 2);
}

// Each byte as it stands, and with ASCII capitals lowered.
constexpr std::array<char, 256> kSame = [] {
    std::array<char, 256> table{};
    for (int c = 0; c < 256; c++)
        table[c] = (char)c;
    return table;
}();
constexpr std::array<char, 256> kLowered = [] {
    std::array<char, 256> table{};
    for (int c = 0; c < 256; c++)
        table[c] = ascii_lower((char)c);
    return table;
}();

// What the label rule makes of a byte below 0xC0: a letter lowered, a
// digit, "-", ".", "_" or ":" as it is, and NUL for every byte dropped.
constexpr std::array<char, 256> kLabelByte = [] {
    std::array<char, 256> table{};
    for (int c = 0; c < 0xC0; c++)
        if (char_is_alpha(c))
            table[c] = ascii_lower((char)c);
        else if (char_is_digit(c) || c == '-' || c == '.' || c == '_' || c == ':')
            table[c] = (char)c;
    return table;
}();

void print_raw(DString *out, const char *source, const token *t, int depth) {
    if (!t)
        return;
    switch (t->type) {
    case PAIR_EMPH:
    case PAIR_STRONG:
        if (depth < kMaxRawDepth) {
            for (const token *c = t->child; c; c = c->next)
                print_raw(out, source, c, depth + 1);
            return;
        }
        break;
    case EMPH_START:
    case EMPH_STOP:
    case STRONG_START:
    case STRONG_STOP:
    case CONSUMED:
        return;
    default:
        break;
    }
    d_string_append_c_array(out, source + t->start, t->len);
}

}  // namespace

char *tzr_copy_bytes(const char *bytes, size_t len) {
    char *s = static_cast<char *>(malloc(len + 1));
    if (!s)
        return nullptr;
    memcpy(s, bytes, len);
    s[len] = '\0';
    return s;
}

size_t tzr_label_into(char *out, const char *bytes, size_t len) {
    size_t o = 0;
    size_t i = 0;
    while (i < len && o < kTzrLabelLimit) {
        unsigned char c = (unsigned char)bytes[i];
        // Below a lead byte, the table says what the byte becomes: written
        // always (o < len, so it fits) and kept unless it is a NUL.
        if (c < 0xC0) {
            char kept = kLabelByte[c];
            out[o] = kept;
            o += kept != '\0';
            i++;
            continue;
        }
        // Only a lead byte carries the continuation bytes after it. An ASCII
        // byte followed by stray continuation bytes (broken UTF-8) is judged on
        // its own, so a quote or angle bracket can never slip into a label,
        // which writers put into attribute values unescaped. A lead byte with
        // none after it is dropped.
        if (i + 1 < len && is_continuation((unsigned char)bytes[i + 1])) {
            size_t end = i + 2;
            while (end < len && is_continuation((unsigned char)bytes[end]))
                end++;
            // A character that would pass the limit ends the label whole.
            if (o + (end - i) > kTzrLabelLimit)
                break;
            memcpy(out + o, bytes + i, end - i);
            o += end - i;
            i = end;
            continue;
        }
        i++;
    }
    out[o] = '\0';
    return o;
}

char *tzr_label_from_range(const char *bytes, size_t len) {
    if (!bytes)
        return nullptr;
    char *out = static_cast<char *>(malloc((len < kTzrLabelLimit ? len : kTzrLabelLimit) + 1));
    if (!out)
        return nullptr;
    tzr_label_into(out, bytes, len);
    return out;
}

char *tzr_label_from_text(const char *text) {
    if (!text)
        return nullptr;
    return tzr_label_from_range(text, strlen(text));
}

char *tzr_label_from_token(const char *source, const token *t) {
    if (!source || !t)
        return nullptr;
    return tzr_label_from_range(source + t->start, t->len);
}

size_t tzr_clean_into(char *out, const char *text, size_t len, bool lower) {
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text);
    // Blanks at either end go; a run of them inside becomes one space. A
    // heading's text is cleaned whole, however long: of each eight bytes,
    // those before the first that is a blank other than a space or a space
    // after another (or at the start) are copied at once, and that one byte
    // by byte. The output never passes the input, so the eight bytes written
    // fit even where fewer are kept.
    const std::array<char, 256> &map = lower ? kLowered : kSame;
    size_t o = 0;
    size_t i = 0;
    while (i < len) {
        if (i + 8 <= len) {
            uint64_t word;
            memcpy(&word, bytes + i, 8);
            uint64_t spaces = space_bytes(word);
            bool after_space = o == 0 || out[o - 1] == ' ';
            uint64_t stop = below_space_bytes(word) | (spaces & (spaces << 8)) |
                            (after_space ? spaces & 0x80 : 0);
            size_t kept = stop ? (size_t)std::countr_zero(stop) / 8 : 8;
            if (kept > 0) {
                if (lower)
                    word = lower_ascii_word(word);
                memcpy(out + o, &word, 8);
                o += kept;
                i += kept;
                continue;
            }
        }
        unsigned char c = bytes[i++];
        if (!kCleanSpace[c])
            out[o++] = map[c];
        else if (o > 0 && out[o - 1] != ' ')
            out[o++] = ' ';
    }
    // Only a blank is written as a space: one left at the end goes.
    if (o > 0 && out[o - 1] == ' ')
        o--;
    out[o] = '\0';
    return o;
}

char *tzr_clean_string_range(const char *source, size_t start, size_t len, bool lower) {
    if (!source)
        return nullptr;
    char *out = static_cast<char *>(malloc(len + 1));
    if (!out)
        return nullptr;
    tzr_clean_into(out, source + start, len, lower);
    return out;
}

char *tzr_clean_string(const char *text, bool lower) {
    if (!text)
        return nullptr;
    return tzr_clean_string_range(text, 0, strlen(text), lower);
}

char *tzr_clean_token_text(const char *source, const token *t, bool lower) {
    if (!source || !t)
        return nullptr;
    return tzr_clean_string_range(source, t->start, t->len, lower);
}

bool tzr_inside_pair_range(const token *pair, size_t *start, size_t *len) {
    if (!pair || !pair->child || !start || !len)
        return false;
    const token *opener = pair->child;
    size_t begin, cut_end;
    if (opener->mate) {
        begin = pair->start + opener->mate->len;
        cut_end = opener->mate->len;
    } else {
        begin = opener->start + opener->len;
        cut_end = 1;
    }
    size_t pair_end = pair->start + pair->len;
    size_t end = pair_end >= cut_end ? pair_end - cut_end : 0;
    // A pair too short for its markers has nothing inside.
    *start = begin;
    *len = end > begin ? end - begin : 0;
    return true;
}

char *tzr_text_inside_pair(const char *source, const token *pair) {
    size_t start, len;
    if (!source || !tzr_inside_pair_range(pair, &start, &len))
        return nullptr;
    return tzr_copy_bytes(source + start, len);
}

char *tzr_clean_text_inside_pair(const char *source, const token *pair, bool lower) {
    size_t start, len;
    if (!source || !tzr_inside_pair_range(pair, &start, &len))
        return nullptr;
    return tzr_clean_string_range(source, start, len, lower);
}

char *tzr_clean_text_inside_pair_within(const char *source, const token *pair, bool lower,
                                        size_t limit) {
    size_t start, len;
    if (!source || !tzr_inside_pair_range(pair, &start, &len))
        return nullptr;
    // The clean form is never longer than the text.
    if (len <= limit)
        return tzr_clean_string_range(source, start, len, lower);
    char *out = static_cast<char *>(malloc(len + 1));
    if (!out)
        return nullptr;
    // The clean form of the first bytes of a text starts the clean form of
    // the whole (only a last blank can go), so once a start cleans to more
    // than `limit` bytes the whole does too. The start read grows by half
    // each time, for a text that is mostly blanks; the last read is the
    // whole.
    for (size_t read = limit + 1;; read += read / 2 + 1) {
        read = std::min(read, len);
        if (tzr_clean_into(out, source + start, read, lower) > limit) {
            free(out);
            return nullptr;
        }
        if (read == len)
            return out;
    }
}

token *tzr_header_manual_label(token *heading, const char *source) {
    if (!heading || !heading->child)
        return nullptr;
    for (token *t = heading->child->tail; t; t = t->prev) {
        switch (t->type) {
        case INDENT_TAB:
        case INDENT_SPACE:
        case NON_INDENT_SPACE:
        case MARKER_H1:
        case MARKER_H2:
        case MARKER_H3:
        case MARKER_H4:
        case MARKER_H5:
        case MARKER_H6:
        case CONSUMED:
        case HARD_BREAK:
        case NEWLINE:
            continue;
        case TEXT:
            if (source && t->len == 1 && source[t->start] == ' ')
                continue;
            return nullptr;
        case MANUAL_LABEL:
            return t;
        case PAIR_BRACKET: {
            // '[text][id]' is a reference link, not a label: only the last of
            // an odd run of adjacent brackets is one.
            size_t run = 0;
            for (token *b = t; b && b->type == PAIR_BRACKET; b = b->prev)
                run++;
            if (run % 2 == 0)
                return nullptr;
            t->type = MANUAL_LABEL;
            return t;
        }
        default:
            return nullptr;
        }
    }
    return nullptr;
}

char *tzr_label_from_header(const char *source, token *heading) {
    if (!source || !heading)
        return nullptr;
    token *manual = tzr_header_manual_label(heading, source);
    return tzr_label_from_token(source, manual ? manual : heading);
}

void tzr_print_token_raw(DString *out, const char *source, const token *t) {
    if (!out || !source)
        return;
    print_raw(out, source, t, 0);
}

void tzr_print_token_chain_raw(DString *out, const char *source, const token *first) {
    if (!out || !source)
        return;
    for (const token *t = first; t; t = t->next)
        print_raw(out, source, t, 0);
}

void tzr_unique_heading_ids(tzr_heading_ids *ids, const char *source, const stack *headers,
                            const stack *links, size_t links_from) {
    if (!ids || !source || !headers)
        return;
    std::vector<std::pair<const token *, std::string_view>> labels;
    labels.reserve(headers->size);
    // Every heading's id before suffixes; most documents repeat none.
    tzr_view_index own;
    own.reserve(headers->size);
    bool repeated = false;
    size_t next_link = links ? links_from : 0;
    for (size_t i = 0; i < headers->size; i++) {
        auto *heading = static_cast<token *>(headers->element[i]);
        token *manual = tzr_header_manual_label(heading, source);
        const token *named = manual ? manual : heading;
        std::string_view label = "";  // no label: the empty id
        auto *link = links && next_link < links->size
                         ? static_cast<const tzr_link *>(links->element[next_link])
                         : nullptr;
        if (link && link->label == named && link->label_text) {
            label = link->label_text;
            next_link++;
        } else if (char *made = tzr_label_from_token(source, named)) {
            label = ids->made.emplace_back(made);
            free(made);
        }
        labels.emplace_back(heading, label);
        repeated |= own.find_or_add(label, i) != i;
    }
    if (!repeated) {
        ids->of.assign(std::move(labels));
        return;
    }
    tzr_view_index taken;
    taken.reserve(headers->size);
    // The next suffix to try per label, so that many equal headings take
    // linear time.
    tzr_view_index suffix_of;
    std::vector<unsigned> next_suffix;
    for (auto &[heading, label] : labels) {
        std::string_view id = label;
        if (taken.contains(id)) {
            size_t at = suffix_of.find_or_add(label, next_suffix.size());
            if (at == next_suffix.size())
                next_suffix.push_back(0);
            std::string suffixed;
            do
                suffixed = std::string(label) + "-" + std::to_string(++next_suffix[at]);
            while (taken.contains(suffixed) || own.contains(suffixed));
            id = ids->made.emplace_back(std::move(suffixed));
        }
        taken.find_or_add(id, 0);
        label = id;  // the heading's id from here on
    }
    ids->of.assign(std::move(labels));
}

void tzr_ids_by_heading::assign(std::vector<std::pair<const token *, std::string_view>> pairs) {
    sorted_ = std::move(pairs);
    std::stable_sort(sorted_.begin(), sorted_.end(), [](const auto &a, const auto &b) {
        return std::less<const token *>{}(a.first, b.first);
    });
}

const std::string_view *tzr_ids_by_heading::find(const token *heading) const {
    auto at = std::lower_bound(sorted_.begin(), sorted_.end(), heading, [](const auto &entry, const token *t) {
        return std::less<const token *>{}(entry.first, t);
    });
    return at != sorted_.end() && at->first == heading ? &at->second : nullptr;
}
