#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "library/metadata.h"
#include "test_engine.h"

namespace {

using Lines = std::vector<std::pair<unsigned short, std::string>>;

// An engine over the joined lines and a BLOCK_META of typed line tokens, as
// the block grammar hands it over: each line holds its text and its line end.
struct MetaDoc {
    tzr_engine *e;
    token *block;

    explicit MetaDoc(const Lines &lines) {
        std::string src;
        block = token_new(BLOCK_META, 0, 0);
        for (const auto &[type, text] : lines) {
            size_t start = src.size();
            src += text;
            token *line = token_new(type, start, 0);
            size_t body = text.size();
            size_t eol = 0;
            if (body >= 2 && text.compare(body - 2, 2, "\r\n") == 0)
                eol = 2;
            else if (body >= 1 && text[body - 1] == '\n')
                eol = 1;
            if (body > eol)
                token_append_child(line, token_new(TEXT, start, body - eol));
            if (eol)
                token_append_child(line, token_new(NEWLINE, start + body - eol, eol));
            token_append_child(block, line);
        }
        e = test_engine_new(src.c_str());
    }
    ~MetaDoc() {
        token_free(block);
        test_engine_free(e);
    }

    // "key=value" per entry, in list order, after reading the block.
    std::vector<std::string> read() {
        tzr_parse_metadata_block(e, block);
        std::vector<std::string> out;
        for (size_t i = 0; i < e->metadata_list->size; i++) {
            auto *m = static_cast<tzr_meta *>(e->metadata_list->element[i]);
            out.push_back(std::string(m->key) + "=" + (m->value ? m->value : "<null>"));
        }
        return out;
    }
};

using Entries = std::vector<std::string>;

TEST(Metadata, KeyLinesAndContinuations) {
    struct Case {
        const char *name;
        Lines lines;
        Entries expected;
    } cases[] = {
        {"simple", {{LINE_META, "Title: Two  words\n"}}, {"title=Two words"}},
        {"key with spaces and capitals",
         {{LINE_META, "Base Header Level:\t2\n"}},
         {"baseheaderlevel=2"}},
        {"indented continuation",
         {{LINE_META, "Title: First\n"}, {LINE_INDENTED_SPACE, "    second\n"}},
         {"title=First second"}},
        {"tab-indented and plain continuations",
         {{LINE_META, "Author: A\n"}, {LINE_INDENTED_TAB, "\tB\n"}, {LINE_PLAIN, "C\n"}},
         {"author=A B C"}},
        {"dash fences",
         {{LINE_META_START, "---\n"},
          {LINE_META, "Title: T\n"},
          {LINE_META, "Author: A\n"},
          {LINE_SETEXT_2, "---\n"}},
         {"title=T", "author=A"}},
        {"last line without line end", {{LINE_META, "Title: The end"}}, {"title=The end"}},
        {"CR LF line ends",
         {{LINE_META, "Title: A\r\n"}, {LINE_PLAIN, "B\r\n"}},
         {"title=A B"}},
        {"value with a vertical bar typed as a table line",
         {{LINE_META, "Title: x\n"}, {LINE_TABLE, "Note: a | b\n"}},
         {"title=x", "note=a | b"}},
        {"table line that is no key line continues",
         {{LINE_META, "Title: x\n"}, {LINE_TABLE, "| a | b |\n"}},
         {"title=x | a | b |"}},
        {"separator line continues the value",
         {{LINE_META, "Title: x\n"}, {LINE_TABLE_SEPARATOR, "---|---\n"}, {LINE_META, "B: y\n"}},
         {"title=x ---|---", "b=y"}},
        {"duplicate keys both stand",
         {{LINE_META, "Title: one\n"}, {LINE_META, "title: two\n"}},
         {"title=one", "title=two"}},
        {"empty value", {{LINE_META, "Draft:\n"}, {LINE_META, "X:   \n"}}, {"draft=", "x="}},
        {"odd keys",
         {{LINE_META, "Key  Name : v\n"},
          {LINE_META, "my.key-1_b: w\n"},
          {LINE_META, "9: z\n"},
          {LINE_META, "a\xC2\xA0" "b: nb\n"}},
         {"keyname=v", "my.key-1_b=w", "9=z", "a\xC2\xA0" "b=nb"}},
        {"value holding a colon", {{LINE_META, "URL: http://x.y/z\n"}}, {"url=http://x.y/z"}},
        {"no lines", {}, {}},
    };
    for (Case &c : cases) {
        MetaDoc doc(c.lines);
        EXPECT_EQ(doc.read(), c.expected) << c.name;
    }
}

TEST(Metadata, EntriesRecordTheirLineOffsets) {
    MetaDoc doc({{LINE_META_START, "---\n"}, {LINE_META, "A: 1\n"}, {LINE_META, "B: 2\n"}});
    doc.read();
    ASSERT_EQ(doc.e->metadata_list->size, 2u);
    EXPECT_EQ(static_cast<tzr_meta *>(doc.e->metadata_list->element[0])->start, 4u);
    EXPECT_EQ(static_cast<tzr_meta *>(doc.e->metadata_list->element[1])->start, 9u);
}

TEST(Metadata, UnexpectedLineIsReportedAndSkipped) {
    MetaDoc doc({{LINE_META, "Title: a\n"}, {LINE_HR, "***\n"}, {LINE_PLAIN, "b\n"}});
    testing::internal::CaptureStderr();
    Entries got = doc.read();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(got, Entries{"title=a b"});
    EXPECT_EQ(err.rfind("ERROR!\n", 0), 0u);
}

TEST(Metadata, DescribeListsEveryEntry) {
    MetaDoc doc({{LINE_META, "Title: T\n"}, {LINE_META, "Author: A\n"}});
    doc.read();
    testing::internal::CaptureStderr();
    tzr_metadata_describe(doc.e);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "'title': 'T'\n'author': 'A'\n");
}

}  // namespace
