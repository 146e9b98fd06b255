#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "textengine/typing/expansions.h"
#include "textengine/buffer/smart_string.h"

namespace {

constexpr uint64_t kDefault = 0xB01;
constexpr uint64_t kExpand = kDefault | SMART_STRING_EXPANSIONS;

struct SStringDeleter {
    void operator()(_SString *s) const { smart_string_free(s, true); }
};
using SStringPtr = std::unique_ptr<_SString, SStringDeleter>;

SStringPtr make(const char *text, uint64_t options = kExpand) {
    SStringPtr s(smart_string_new(text, options));
    smart_string_set_caret(s.get(), strlen(text), 0);
    return s;
}

std::string text_of(_SString *s) { return smart_string_text(s); }

void replace(_SString *s, size_t start, size_t length, const char *text) {
    smart_string_change c = {};
    c.tags = 1;
    smart_string_replace(s, start, length, text, &c);
}

// Types each character of `keys` at the caret, as the editor does.
void type(_SString *s, const char *keys) {
    for (const char *p = keys; *p;) {
        size_t n = 1;
        while (((unsigned char)p[n] & 0xC0) == 0x80)
            n++;
        std::string one(p, n);
        replace(s, smart_string_caret_start(s), 0, one.c_str());
        p += n;
    }
}

std::string today(const char *format) {
    char buffer[60];
    time_t now = time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    return std::string(buffer, strftime(buffer, sizeof buffer, format, &local));
}

std::string expand_template(_SString *s, const char *text) {
    DString *d = d_string_new(text);
    smart_string_expand_template(s, d);
    std::string out(d->str, d->length);
    d_string_free(d, true);
    return out;
}

TEST(Expansions, FileLoadsAndTypedKeysExpand) {
    auto s = make("");
    smart_string_load_expansions(s.get(), ORVANE_TEST_DATA "/expansions/sample.json");
    type(s.get(), "x;sig");
    EXPECT_EQ(text_of(s.get()), "xRegards,\n%|\n");
    // The caret selects the placeholder.
    EXPECT_EQ(smart_string_caret_start(s.get()), 10u);
    EXPECT_EQ(smart_string_caret_length(s.get()), 2u);

    // A snippet with non-ASCII text after it.
    auto m = make("");
    smart_string_load_expansions(m.get(), ORVANE_TEST_DATA "/expansions/sample.json");
    type(m.get(), ";mix");
    EXPECT_EQ(text_of(m.get()), "Regards,\n%|\n \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80");

    // A key without a template never expands.
    type(m.get(), " ;nothing");
    EXPECT_NE(text_of(m.get()).find(";nothing"), std::string::npos);
}

TEST(Expansions, BadFilesAddNothingAndDuplicatesKeepTheFirst) {
    auto s = make("");
    testing::internal::CaptureStderr();
    smart_string_load_expansions(s.get(), ORVANE_TEST_DATA "/expansions/broken.json");
    smart_string_load_expansions(s.get(), ORVANE_TEST_DATA "/expansions/none.json");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid JSON...\n");
    EXPECT_EQ(s->expansions, nullptr);

    smart_string_parse_expansions(s.get(), R"({"expansions": {"key": "a"}})");
    smart_string_parse_expansions(s.get(), R"({"other": []})");
    EXPECT_EQ(s->expansions, nullptr);

    smart_string_parse_expansions(s.get(), R"({"expansions": [7, {"key": ""}, {"key": "k", "expansion": "one"}]})");
    testing::internal::CaptureStderr();
    smart_string_parse_expansions(s.get(), R"({"expansions": [{"key": "k", "expansion": "two"}]})");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Payload already set for TST node\n");
    EXPECT_EQ(smart_string_add_expansion(s.get(), "", "x"), 0);
    EXPECT_EQ(smart_string_add_expansion(s.get(), nullptr, "x"), 0);
    type(s.get(), "k");
    EXPECT_EQ(text_of(s.get()), "one");
}

TEST(Expansions, TemplateCodes) {
    auto s = make("");
    smart_string_add_expansion(s.get(), ";sig", "Regards %|");
    smart_string_add_expansion(s.get(), ";date", "%Y-%m-%d");
    smart_string_add_expansion(s.get(), ";self", "a%snippet:;self%");
    smart_string_add_expansion(s.get(), ";none", nullptr);
    smart_string_add_expansion(s.get(), ";open", "b%snippet:;sig");
    s->replaced_text = strdup("%d");
    struct Case {
        const char *in;
        std::string out;
    } cases[] = {
        {"a\\%d", "a\\%d"},                   // an escaped "%" stays with its backslash
        {"%q and 100% and %", "%q and 100% and %"},
        {"%d", today("%d")},
        {"%%d", "%d"},                        // the "%" that %% makes is not read again
        {"[%replaced]", "[%d]"},              // inserted text is not scanned again
        {"%clipboard %|", "%clipboard %|"},   // left for the text storage and the caret
        {"%snippet:;sig%!", "Regards %|!"},
        {"%snippet:x;date%", today("%Y-%m-%d")},  // the longest key that ends the name
        {"%snippet:;none%%snippet:;nokey%.", "."},
        {"%snippet:;self%", std::string(kSnippetNestingLimit, 'a')},
        {"%d %snippet:;sig", today("%d") + " %snippet:;sig"},  // unclosed: stop there
        {"%snippet:;open% %d", "b%snippet:;sig %d"},           // ... in a snippet too
    };
    for (const auto &c : cases)
        EXPECT_EQ(expand_template(s.get(), c.in), c.out) << c.in;

    free(s->replaced_text);
    s->replaced_text = strdup("%replaced");
    EXPECT_EQ(expand_template(s.get(), "%replaced%replaced"), "%replaced%replaced");
}

// (text before, caret, keys typed) -> text after, for the key ";sig" and the
// one-character key "q".
TEST(Expansions, TypingRuns) {
    struct Case {
        const char *name;
        uint64_t options;
        const char *before;
        const char *keys;
        const char *after;
    } cases[] = {
        {"plain", kExpand, "Hi ", ";sig", "Hi SIG"},
        {"suffix of the run", kExpand, "", "x;sig", "xSIG"},
        {"run starts at the caret", kExpand, ";si", "g", ";sig"},
        {"delimiter needed", kExpand | SMART_STRING_EXPANSION_DELIMITER, "", ";sig", ";sig"},
        {"delimiter fires", kExpand | SMART_STRING_EXPANSION_DELIMITER, "", ";sig.", "SIG"},
        {"delimiter kept",
         kExpand | SMART_STRING_EXPANSION_DELIMITER | SMART_STRING_KEEP_DELIMITER, "", ";sig ",
         "SIG "},
        {"longest key", kExpand, "", "xsig", "XSIG"},
        {"multi-byte key end", kExpand, "", "caf\xC3\xA9", "coffee"},
        {"switched off", kDefault, "", ";sig", ";sig"},
        {"expansion text is not part of the next run", kExpand, "", ";sigx", "SIGx"},
    };
    for (const auto &c : cases) {
        auto s = make(c.before, c.options);
        smart_string_add_expansion(s.get(), ";sig", "SIG");
        smart_string_add_expansion(s.get(), "xsig", "XSIG");
        smart_string_add_expansion(s.get(), "caf\xC3\xA9", "coffee");
        smart_string_add_expansion(s.get(), "Gx", "wrong");
        type(s.get(), c.keys);
        EXPECT_EQ(text_of(s.get()), c.after) << c.name;
    }
}

TEST(Expansions, RunRestartsAwayFromTheCaretAndSurvivesBackspace) {
    auto s = make("");
    smart_string_add_expansion(s.get(), ";sig", "SIG");
    // Characters inserted away from the caret never expand.
    replace(s.get(), 0, 0, ";");
    smart_string_set_caret(s.get(), 0, 0);
    replace(s.get(), 1, 0, "s");
    smart_string_set_caret(s.get(), 0, 0);
    replace(s.get(), 2, 0, "i");
    smart_string_set_caret(s.get(), 0, 0);
    replace(s.get(), 3, 0, "g");
    EXPECT_EQ(text_of(s.get()), ";sig");

    // Backspace of one byte keeps the run going.
    auto b = make("");
    smart_string_add_expansion(b.get(), ";sig", "SIG");
    type(b.get(), ";six");
    replace(b.get(), 3, 1, "");
    type(b.get(), "g");
    EXPECT_EQ(text_of(b.get()), "SIG");
}

// A character typed over a selection of two bytes or more replaces the
// selection with the expansion; "%replaced" brings the selection back once.
TEST(Expansions, TypedOverASelection) {
    struct Case {
        const char *before;
        size_t start, length;
        const char *after;
        size_t caret;
    } cases[] = {
        {"hello world!", 6, 5, "hello <world>!", 13},
        {"say %d now", 4, 2, "say <%d> now", 8},
        {"a b", 0, 1, "q b", 1},  // a one-byte selection never triggers
    };
    for (const auto &c : cases) {
        auto s = make(c.before);
        smart_string_add_expansion(s.get(), "q", "<%replaced>");
        smart_string_set_caret(s.get(), c.start, c.length);
        replace(s.get(), c.start, c.length, "q");
        EXPECT_EQ(text_of(s.get()), c.after) << c.before;
        EXPECT_EQ(smart_string_caret_start(s.get()), c.caret) << c.before;
    }
}

TEST(CaretAnchor, FollowsTheTextItWasSavedOn) {
    auto s = make("Hello brave new world, said the narrator.", kDefault);
    smart_string_save_caret_anchor(s.get(), 6, 5);  // "brave"
    replace(s.get(), 0, 5, "Goodbye, cruel and");
    size_t start = 0, length = 0;
    smart_string_restore_caret_anchor(s.get(), &start, &length);
    EXPECT_EQ(text_of(s.get()).substr(start, length), "brave");

    // A caret at the end stays at the end.
    smart_string_save_caret_anchor(s.get(), smart_string_length(s.get()), 0);
    replace(s.get(), 0, 0, "Well. ");
    smart_string_restore_caret_anchor(s.get(), &start, &length);
    EXPECT_EQ(start, smart_string_length(s.get()));
    EXPECT_EQ(length, 0u);

    // Context that is gone: the range still lies in the text.
    smart_string_save_caret_anchor(s.get(), 30, 4);
    replace(s.get(), 0, (size_t)-1, "xyz");
    smart_string_restore_caret_anchor(s.get(), &start, &length);
    EXPECT_LE(start + length, 3u);

    // Out of range: nothing is remembered.
    smart_string_save_caret_anchor(s.get(), 99, 0);
    EXPECT_EQ(s->anchor_start, 30u);
}

}  // namespace
