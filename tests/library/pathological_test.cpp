// Pathological documents (deep nesting, thousands of unmatched openers, very
// wide tables, long runs, masses of notes) must convert without crashing and
// without hanging. Each conversion runs on its own thread with an 8 MiB stack
// (the size an editor's worker thread gets) under a generous time limit that
// only catches a hang or a blow-up far past linear; speed itself is measured
// in bench/.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "library/engine.h"
#include "library/export.h"
#include "pathological_inputs.h"
#include "library/tzr.h"
#include "support/sanitizers.h"

namespace {

// Inputs of 1 MiB, an eighth of that under the sanitizers (which slow
// everything down tenfold or more in their unoptimised build).
size_t input_size() {
    if (const char *env = getenv("ORVANE_PATHOLOGICAL_SIZE"))
        return strtoul(env, nullptr, 10);
    return testing_build::sanitized() ? 128 * 1024 : 1024 * 1024;
}

constexpr uint64_t kExtensions = TZR_EXT_NOTES | TZR_EXT_SMART | TZR_EXT_CRITIC;

std::string convert(const std::string &text, uint64_t extensions, uint16_t format) {
    char *out = tzr_string_convert(text.c_str(), extensions, format, 0);
    std::string result = out ? out : "";
    free(out);
    return result;
}

struct Job {
    const std::string *text;
    size_t html_length = 0;
    std::atomic<bool> done{false};
};

void *run_job(void *arg) {
    auto *job = static_cast<Job *>(arg);
    job->html_length = convert(*job->text, kExtensions, TZR_FORMAT_HTML).size();
    // The other writer families that this build has (Beamer and Memoir
    // share the LaTeX writer's walk).
    for (uint16_t format : {TZR_FORMAT_LATEX, TZR_FORMAT_FODT}) {
        if (tzr_format_writers_for((int16_t)format))
            convert(*job->text, kExtensions, format);
    }
    job->done = true;
    return nullptr;
}

class Pathological : public testing::TestWithParam<pathological::Case> {};

TEST_P(Pathological, ConvertsWithinLimit) {
    const size_t size = input_size();
    const std::string text = GetParam().make(size);
    ASSERT_GE(text.size(), size * 9 / 10);

    Job job;
    job.text = &text;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 8u << 20);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, run_job, &job), 0);
    pthread_attr_destroy(&attr);

    // 10 s per MiB, at least 10 s, three times that under the sanitizers.
    double limit = std::max(10.0, 10.0 * (double)text.size() / (1 << 20)) * (testing_build::sanitized() ? 3 : 1);
    auto start = std::chrono::steady_clock::now();
    while (!job.done) {
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed > limit) {
            // A running conversion cannot be stopped: report and leave.
            fprintf(stderr, "%s: still converting after %.0f s (%zu bytes)\n", GetParam().name,
                    elapsed, text.size());
            fflush(stderr);
            std::_Exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pthread_join(thread, nullptr);
    EXPECT_GT(job.html_length, 0u);
}

INSTANTIATE_TEST_SUITE_P(Inputs, Pathological, testing::ValuesIn(pathological::cases()),
                         [](const testing::TestParamInfo<pathological::Case> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace

// --- Faults the pathological inputs found -------------------------------

std::string body_html(const char *text) {
    std::string html = convert(text, 0, TZR_FORMAT_HTML);
    std::string squeezed;
    for (char c : html)
        if (c != '\n')
            squeezed += c;
    size_t body = squeezed.find("<body>");
    size_t end = squeezed.rfind("</body>");
    if (body == std::string::npos || end == std::string::npos)
        return squeezed;
    return squeezed.substr(body + 6, end - body - 6);
}

struct HtmlCase {
    const char *markdown;
    const char *html;
};

class NestedLists : public testing::TestWithParam<HtmlCase> {};

TEST_P(NestedLists, ConvertAsExpected) { EXPECT_EQ(body_html(GetParam().markdown), GetParam().html); }

INSTANTIATE_TEST_SUITE_P(
    Cases, NestedLists,
    testing::Values(
        // Markers on one line nest: the blank behind a marker leaves nothing
        // that would hide the next marker.
        HtmlCase{"- - - x\n", "<ul><li><ul><li><ul><li>x</li></ul></li></ul></li></ul>"},
        HtmlCase{"1. - x\n", "<ol><li><ul><li>x</li></ul></li></ol>"},
        // A run of break characters is still a break, in an item too.
        HtmlCase{"- - -\n", "<hr />"},
        HtmlCase{"* - - -\n", "<ul><li><hr /></li></ul>"},
        HtmlCase{"- a\n- - - x -\n",
                 "<ul><li>a</li><li><ul><li><ul><li>x -</li></ul></li></ul></li></ul>"},
        // A nested item's emphasis is paired once, as at the top level: an
        // opener dropped inside a pair never pairs across it.
        HtmlCase{"*a _b* c_\n", "<p><em>a _b</em> c_</p>"},
        HtmlCase{"- x\n\n    - *a _b* c_\n",
                 "<ul><li>x<ul><li><em>a _b</em> c_</li></ul></li></ul>"},
        // Blank and indented lines keep their kind through every level.
        HtmlCase{"- a\n\t- b\n\n\t\tc\n",
                 "<ul><li>a<ul><li>bc</li></ul></li></ul>"}));

// Ten thousand levels of nesting, on an 8 MiB stack: nested parses and the
// writers stop at their depth limits instead of running out of stack.
TEST(DeepNesting, TenThousandListLevelsConvert) {
    for (const char *unit : {"- ", "1. ", "> ", "- > "}) {
        std::string text;
        for (int i = 0; i < 10000; i++)
            text += unit;
        text += "x\n";
        Job job;
        job.text = &text;
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstacksize(&attr, 8u << 20);
        pthread_t thread;
        ASSERT_EQ(pthread_create(&thread, &attr, run_job, &job), 0);
        pthread_attr_destroy(&attr);
        pthread_join(thread, nullptr);
        EXPECT_GT(job.html_length, 1000u) << unit;
    }
}

// How deep quotes nest in a tree: the quote and every quote along its
// first quoted child.
size_t quote_depth(const token *t) {
    size_t depth = 0;
    while (t) {
        const token *inner = nullptr;
        for (const token *c = t->child; c && !inner; c = c->next)
            if (c->type == BLOCK_BLOCKQUOTE)
                inner = c;
        if (t->type == BLOCK_BLOCKQUOTE)
            depth++;
        t = inner;
    }
    return depth;
}

// Blocks are parsed 1000 levels deep: the thousandth quote holds its lines
// unparsed, as one paragraph. The HTML writer descends 1000 levels from the
// document, so it writes 999 of those quotes; a list and its item take a
// level each.
TEST(DeepNesting, BlocksNestToTheDepthLimit) {
    std::string quotes;
    for (int i = 0; i < 1200; i++)
        quotes += "> ";
    quotes += "x\n";
    tzr_engine *e = tzr_engine_create_with_string(quotes.c_str(), 0);
    tzr_engine_parse_string(e);
    EXPECT_EQ(quote_depth(e->root), 1000u);
    tzr_engine_free(e, true);

    struct Case {
        const char *unit, *tag;
        size_t levels;
    } cases[] = {{"> ", "<blockquote>", 999}, {"- ", "<ul>", 500}, {"1. ", "<ol>", 500}};
    for (const Case &c : cases) {
        std::string text;
        for (int i = 0; i < 1200; i++)
            text += c.unit;
        text += "x\n";
        std::string html = convert(text.c_str(), 0, TZR_FORMAT_HTML);
        size_t levels = 0;
        for (size_t at = html.find(c.tag); at != std::string::npos; at = html.find(c.tag, at + 1))
            levels++;
        EXPECT_EQ(levels, c.levels) << c.unit;
    }
}

size_t occurrences(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

std::string repeated(const std::string &unit, int times) {
    std::string text;
    for (int i = 0; i < times; i++)
        text += unit;
    return text;
}

// Nothing past the limits is lost: what lies deeper than the parse reads
// blocks or a writer descends comes out as the text it is, markers and all,
// in every format that writes text, while the nesting stays bounded.
TEST(DeepNesting, TextPastTheLimitsComesOut) {
    struct Case {
        std::string text;
        const char *html;  // what the HTML must hold besides the last word
    };
    std::vector<Case> cases;
    // Quotes around the limits: the writers' (their text 999 levels down)
    // and the parse's, which leaves the markers past it as text.
    for (int n : {997, 998, 999, 1000, 1001})
        cases.push_back({repeated(">", n) + " *last*\n", ""});
    cases.push_back({repeated(">", 1200) + " last\n", "&gt;&gt; last"});
    cases.push_back({repeated("> ", 1200) + "last\n", "&gt; &gt; last"});
    // Lists, two levels of the tree a level: the writers stop first.
    cases.push_back({repeated("- ", 1200) + "last\n", "- - last"});
    cases.push_back({repeated("1. ", 1200) + "last\n", "1. 1. last"});
    // Quotes in list items, a second line going on at every level (an item
    // of one line would hold its text): the list, its item and the quote
    // take a parse level each.
    cases.push_back({repeated("- > ", 1200) + "last\n" + repeated("    > ", 1200) + "more\n", "more"});
    // Inline pairs nested past the writers' depth.
    cases.push_back({repeated("[", 2000) + "last" + repeated("]", 2000) + "\n", ""});
    cases.push_back({repeated("*a ", 1500) + "last" + repeated(" a*", 1500) + "\n", ""});
    for (const Case &c : cases) {
        std::string html = convert(c.text, 0, TZR_FORMAT_HTML);
        EXPECT_NE(html.find("last"), std::string::npos) << c.text.substr(0, 8) << " " << c.text.size();
        EXPECT_NE(html.find(c.html), std::string::npos) << c.text.substr(0, 8) << " " << c.text.size();
        EXPECT_LE(occurrences(html, "<blockquote>"), 999u);
        for (uint16_t format : {TZR_FORMAT_LATEX, TZR_FORMAT_FODT}) {
            std::string out = convert(c.text, kExtensions, format);
            EXPECT_NE(out.find("last"), std::string::npos)
                << c.text.substr(0, 8) << " " << c.text.size() << " format " << format;
        }
    }
}

// Quotes in list items, a second line going on at every level, nest until
// a limit: the parse reads a list item's lines and a quote's lines a level
// deeper each, so it nests 500 quotes; the HTML writer descends a level for
// the list, its item and the quote, so it writes 333 of them.
TEST(DeepNesting, QuotesInListItemsNestToTheLimits) {
    std::string text = repeated("- > ", 1200) + "last\n" + repeated("    > ", 1200) + "more\n";
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), 0);
    tzr_engine_parse_string(e);
    size_t quotes = 0;
    std::vector<const token *> todo{e->root};
    while (!todo.empty()) {
        const token *t = todo.back();
        todo.pop_back();
        quotes += t->type == BLOCK_BLOCKQUOTE;
        for (const token *c = t->child; c; c = c->next)
            todo.push_back(c);
    }
    EXPECT_EQ(quotes, 500u);
    tzr_engine_free(e, true);

    std::string html = convert(text, 0, TZR_FORMAT_HTML);
    EXPECT_EQ(occurrences(html, "<blockquote>"), 333u);
    EXPECT_EQ(occurrences(html, "<li>"), 333u);
    EXPECT_NE(html.find("last"), std::string::npos);
    EXPECT_NE(html.find("more"), std::string::npos);
}

// A one-line list item holds its text, which no nested parse reads, at any
// depth: an item that is the only line of a quote keeps "> - > ..." as its
// text. So a line of 1200 "- > " nests a list, an item, a quote (the
// document's last blank line joins the first item, whose lines are parsed
// again), a list and an item, and the rest of the line is that item's text.
TEST(DeepNesting, OneLineItemsHoldTheirText) {
    std::string html = convert(repeated("- > ", 1200) + "last\n", 0, TZR_FORMAT_HTML);
    EXPECT_EQ(occurrences(html, "<ul>"), 2u);
    EXPECT_EQ(occurrences(html, "<blockquote>"), 1u);
    EXPECT_NE(html.find("<li>&gt; - &gt; - &gt;"), std::string::npos);
    EXPECT_NE(html.find("- &gt; last</li>"), std::string::npos);
    EXPECT_EQ(convert("> - > last\n", 0, TZR_FORMAT_HTML),
              "<blockquote>\n<ul>\n<li>&gt; last</li>\n</ul>\n</blockquote>\n");
}

// Metadata updates keep every byte but the value: a key that only a later
// metadata-like block holds is added to the block at the top (the update used
// to erase the rest of the text), and a short closing line is no part of the
// last value.
TEST(MetadataUpdate, KeyBeyondTheTopBlockKeepsTheText) {
    struct Case {
        const char *source, *key, *value, *expected;
    } cases[] = {
        {"a: 1\n---\nb: 2\n\npara\n", "b", "3", "a: 1\nb:\t3\n---\nb: 2\n\npara\n"},
        {"Title: T\nBase: 2\n---\ntitle: x\nmore\n", "title", "y", "Title: y\nBase: 2\n---\ntitle: x\nmore\n"},
        {"a: 1\nb: 2\n\ntext\n", "b", "3", "a: 1\nb: 3\n\ntext\n"},
        // A closing line of two dashes stays, and the text below stays out.
        {"---\ntitle: a\n--\r-\n\nb\n", "title", "x", "---\ntitle: x\n--\r-\n\nb\n"},
    };
    for (const Case &c : cases) {
        char *updated = tzr_string_update_metavalue_for_key(c.source, c.key, c.value);
        EXPECT_STREQ(updated, c.expected) << c.source;
        char *read = tzr_string_metavalue_for_key(updated, c.key);
        EXPECT_STREQ(read, c.value) << c.source;
        free(read);
        free(updated);
    }
}
