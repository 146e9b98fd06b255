#include "textengine/transforms/title_case.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "library/char.h"
#include "textengine/heap_string.h"

namespace {

constexpr std::array<std::string_view, 21> kSmallWords = {
    "a",  "an", "and", "as", "at", "but", "by", "en",  "for", "if", "in",
    "of", "on", "or",  "the", "to", "v",  "v.", "via", "vs",  "vs."};

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
char to_lower(char c) { return is_upper(c) ? (char)(c + 32) : c; }
char to_upper(char c) { return is_lower(c) ? (char)(c - 32) : c; }
bool is_word_char(char c) { return char_is_alphanumeric(c) || c == '\''; }
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool is_small_word(std::string_view word) {
    for (std::string_view small : kSmallWords) {
        if (small.size() != word.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < word.size() && same; i++)
            same = to_lower(word[i]) == small[i];
        if (same)
            return true;
    }
    return false;
}

// Characters an address (host name, URL path, e-mail) may run over once it
// is known to be one.
bool is_address_char(char c) {
    return char_is_alphanumeric(c) || (c && strchr("._-/:@%?&=+#~'", c));
}

// An opening quote or bracket starts a subphrase; the non-ASCII ones are the
// curly and low quotes and guillemets.
size_t opening_quote_length(const std::string &s, size_t i) {
    char c = s[i];
    if (c == '"' || c == '\'' || c == '(' || c == '[')
        return 1;
    auto at = [&](const char *seq) { return s.compare(i, strlen(seq), seq) == 0; };
    if (at("\xE2\x80\x9C") || at("\xE2\x80\x98") || at("\xE2\x80\x9E"))
        return 3;
    if (at("\xC2\xAB"))
        return 2;
    return 0;
}

class TitleCaser {
public:
    explicit TitleCaser(std::string text) : s_(std::move(text)) {}

    std::string run() {
        std::string out;
        out.reserve(s_.size());
        bool subphrase_start = true;
        size_t i = 0;
        while (i < s_.size()) {
            char c = s_[i];
            if (char_is_alphanumeric(c)) {
                size_t end = unit_end(i);
                out += word(i, end, subphrase_start);
                subphrase_start = false;
                i = end;
                continue;
            }
            if (size_t quote = opening_quote_length(s_, i)) {
                out.append(s_, i, quote);
                i += quote;
                subphrase_start = true;
                continue;
            }
            out += c;
            if (strchr(":;.?!", c) && i + 1 < s_.size() && (s_[i + 1] == ' ' || s_[i + 1] == '\t'))
                subphrase_start = true;
            i++;
        }
        return out;
    }

private:
    // Where the unit that starts at `i` ends. A unit is a word, or a dotted
    // word, an address or a word trailed by an ellipsis, all copied as is.
    size_t unit_end(size_t i) {
        size_t n = s_.size();
        size_t j = i;
        while (j < n && is_word_char(s_[j]))
            j++;
        verbatim_ = false;
        bool dotted = j + 1 < n && s_[j] == '.' && is_word_char(s_[j + 1]);
        bool url = s_.compare(j, 3, "://") == 0;
        bool email = j + 1 < n && s_[j] == '@' && is_word_char(s_[j + 1]);
        if (dotted || url || email) {
            verbatim_ = true;
            while (j < n && is_address_char(s_[j]))
                j++;
            return j;
        }
        if (j + 1 < n && s_[j] == '.' && s_[j + 1] == '.') {
            verbatim_ = true;
            while (j < n && s_[j] == '.')
                j++;
            return j;
        }
        // "v." and "vs." keep their dot, which then ends no subphrase.
        std::string_view bare(s_.data() + i, j - i);
        if (j < n && s_[j] == '.' && (bare == "v" || bare == "vs" || bare == "V" || bare == "Vs" ||
                                      bare == "VS" || bare == "vS"))
            j++;
        return j;
    }

    bool is_last_word(size_t end) const {
        for (size_t k = end; k < s_.size(); k++) {
            if (char_is_alphanumeric(s_[k]))
                return false;
        }
        return true;
    }

    std::string word(size_t start, size_t end, bool subphrase_start) {
        std::string w = s_.substr(start, end - start);
        if (verbatim_ || char_is_digit(w[0]))
            return w;
        // The parts of a compound after the first are never the last word
        // of a line in the sense of the capitalisation rule: 'A Run-in'.
        bool in_compound = start > 0 && strchr("-/_", s_[start - 1]);
        if (is_small_word(w)) {
            bool capitalise = subphrase_start || (end < s_.size() && s_[end] == ':') ||
                              (!in_compound && is_last_word(end));
            w[0] = capitalise ? to_upper(w[0]) : to_lower(w[0]);
            return w;
        }
        for (size_t k = 1; k < w.size(); k++) {
            if (is_upper(w[k]))
                return w;
        }
        w[0] = to_upper(w[0]);
        return w;
    }

    std::string s_;
    bool verbatim_ = false;
};

}  // namespace

char *title_case(const char *text, size_t len) {
    if (!text)
        return heap_string("");
    std::string s(text, strnlen(text, len));
    bool has_lower = false;
    for (char c : s)
        has_lower = has_lower || is_lower(c);
    if (!has_lower) {
        for (char &c : s)
            c = to_lower(c);
    }
    size_t first = 0, last = s.size();
    while (first < last && is_blank(s[first]))
        first++;
    while (last > first && is_blank(s[last - 1]))
        last--;
    return heap_string(TitleCaser(s.substr(first, last - first)).run());
}

char *title_case_first_line(const char *text) {
    if (!text)
        return heap_string("");
    size_t line = strcspn(text, "\n\r");
    char *head = title_case(text, line);
    if (!head)
        return nullptr;
    std::string result = head;
    free(head);
    result += text + line;
    return heap_string(result);
}
