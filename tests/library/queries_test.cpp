#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "library/queries.h"
#include "library/token_types.h"
#include "library/tzr.h"

namespace {

std::vector<std::string> take_strings(stack *s) {
    std::vector<std::string> out;
    for (size_t i = 0; s && i < s->size; i++)
        out.emplace_back(static_cast<char *>(s->element[i]));
    string_stack_free(s);
    return out;
}

// A parsed and HTML-exported engine, as the sidebars get it.
struct Exported {
    tzr_engine *e;
    explicit Exported(const std::string &text,
                      uint64_t extensions = TZR_EXT_NOTES | TZR_EXT_CRITIC) {
        e = tzr_engine_create_with_string(text.c_str(), extensions);
        free(tzr_engine_convert(e, TZR_FORMAT_HTML));
    }
    ~Exported() { tzr_engine_free(e, true); }
};

// "title(start,len)[children]" per entry, siblings separated by spaces.
std::string toc_shape(const header *h) {
    std::string out;
    for (; h; h = h->next) {
        if (!out.empty())
            out += ' ';
        out += std::string(h->title) + "(" + std::to_string(h->start) + "," +
               std::to_string(h->len) + ")";
        if (h->child)
            out += "[" + toc_shape(h->child) + "]";
    }
    return out;
}

std::string toc_of(const std::string &text) {
    Exported doc(text);
    header *toc = tzr_engine_toc_entries(doc.e);
    std::string shape = toc ? toc_shape(toc) : "(none)";
    toc_entry_free(toc);
    return shape;
}

TEST(TableOfContents, TreeShapesAndSections) {
    struct {
        const char *name, *text, *shape;
    } cases[] = {
        {"h1 h2 h2 h1", "# A\n\n## B\n\n## C\n\n# D\n", "A(0,16)[B(5,5) C(11,5)] D(17,4)"},
        {"setext under ATX", "# A\n\nB\n---\n", "A(0,11)[B(5,6)]"},
        {"h2 before h1", "## A\n\n# B\n", "A(0,5) B(6,4)"},
        {"skipped level", "# A\n### B\n## C\n", "A(0,15)[B(4,5) C(10,5)]"},
        {"deeper then back out twice", "# A\n## B\n### C\n# D\n", "A(0,14)[B(4,10)[C(9,5)]] D(15,4)"},
        {"emphasis and label bracket dropped", "# The *big* **day** [lab]\n", "The big day(0,26)"},
        {"no headings", "Just text.\n", "(none)"},
        {"empty", "", "(none)"},
    };
    for (auto &c : cases)
        EXPECT_EQ(toc_of(c.text), c.shape) << c.name;
}

TEST(TableOfContents, LabelsTypesAndUtf16Offsets) {
    // Two-, three- and four-byte characters before and inside the headings.
    Exported doc("é€😀\n\n# Ünï *😀* [lab]\n\nbody 😀\n\n## Sub\n");
    header *toc = tzr_engine_toc_entries(doc.e);
    ASSERT_NE(toc, nullptr);
    EXPECT_STREQ(toc->title, "Ünï 😀");
    EXPECT_STREQ(toc->label, "lab");
    EXPECT_EQ(toc->type, BLOCK_H1);
    EXPECT_EQ(toc->start, 6u);
    EXPECT_EQ(toc->len, 34u);
    ASSERT_NE(toc->child, nullptr);
    EXPECT_STREQ(toc->child->label, "sub");
    EXPECT_EQ(toc->child->type, BLOCK_H2);
    EXPECT_EQ(toc->child->start, 33u);
    EXPECT_EQ(toc->child->len, 7u);
    EXPECT_EQ(toc->next, nullptr);
    toc_entry_free(toc);
    EXPECT_EQ(tzr_engine_toc_entries(nullptr), nullptr);
    toc_entry_free(nullptr);
}

TEST(TableOfContents, ManyHeadingsFreeWithoutDeepRecursion) {
    std::string text;
    for (int i = 0; i < 20000; i++)
        text += "# H" + std::to_string(i) + "\n";
    Exported doc(text);
    header *toc = tzr_engine_toc_entries(doc.e);
    size_t n = 0;
    for (header *h = toc; h; h = h->next)
        n++;
    EXPECT_EQ(n, 20000u);
    toc_entry_free(toc);
}

TEST(CriticChanges, EveryKindWithUtf16Offsets) {
    Exported doc("😀 {++ä++} x {--b--} {~~old~>new~~} {==hi==} {>>note<<}\n");
    stack *changes = tzr_engine_critic_changes(doc.e);
    ASSERT_NE(changes, nullptr);
    struct {
        const char *text;
        uint16_t type;
        size_t start, len;
    } expect[] = {
        {"{++ä++}", PAIR_CRITIC_ADD, 3, 7},
        {"{--b--}", PAIR_CRITIC_DEL, 13, 7},
        {"{~~old~", PAIR_CRITIC_SUB_DEL, 21, 7},
        {">new~~}", PAIR_CRITIC_SUB_ADD, 28, 7},
        {"{>>note<<}", PAIR_CRITIC_COM, 45, 10},
    };
    ASSERT_EQ(changes->size, std::size(expect));
    for (size_t i = 0; i < changes->size; i++) {
        auto *h = static_cast<header *>(changes->element[i]);
        EXPECT_STREQ(h->title, expect[i].text) << i;
        EXPECT_EQ(h->label, nullptr);
        EXPECT_EQ(h->type, expect[i].type) << i;
        EXPECT_EQ(h->start, expect[i].start) << i;
        EXPECT_EQ(h->len, expect[i].len) << i;
    }
    critic_change_list_free(changes);

    Exported plain("No changes here.\n");
    changes = tzr_engine_critic_changes(plain.e);
    ASSERT_NE(changes, nullptr);
    EXPECT_EQ(changes->size, 0u);
    critic_change_list_free(changes);
    EXPECT_EQ(tzr_engine_critic_changes(nullptr), nullptr);
}

TEST(ReferenceLabels, NotesByKindThenLinks) {
    Exported doc(
        "Text[^fn] [#Smith 2001] [?Term] [>HTML] and [*Big* Ref] and ![pic]\n\n"
        "# Heading [h]\n\n"
        "[^fn]: Foot.\n[#Smith  2001]: Book.\n[?Term]: A glossary entry.\n[>HTML]: HyperText\n"
        "[*Big* Ref]: big.md\n[pic]: img/pic.png\n");
    EXPECT_EQ(take_strings(tzr_engine_reference_labels(doc.e)),
              (std::vector<std::string>{">HTML", "#Smith 2001", "^fn", "?Term",
                                        "<em>Big</em> Ref", "pic"}));
    Exported none("Nothing to see.\n");
    EXPECT_TRUE(take_strings(tzr_engine_reference_labels(none.e)).empty());
    EXPECT_EQ(tzr_engine_reference_labels(nullptr), nullptr);
}

class FolderQueries : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvane-queries-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void write(const std::string &name, const std::string &bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    }
    std::vector<std::string> keys(const std::string &bibtex_value) {
        Exported doc("bibtex: " + bibtex_value + "\n\nText\n");
        return take_strings(tzr_engine_bibtex_keys(doc.e, dir.c_str()));
    }
    std::string dir;
};

TEST_F(FolderQueries, LocalResourcesInOrder) {
    write("part.md", "{{deeper.md}}");
    std::string text =
        "CSS: style.css\nBibTeX: refs.bib\n\n"
        "![pic] and ![pic] and [web] [mail] [anchor] [doc] ![inline](img/b.png) ![](http://x/c.png)\n\n"
        "{{part.md}} {{missing.txt}}\n\n"
        "[pic]: img/a.png\n[web]: https://example.org\n[mail]: mailto:a@b.c\n[anchor]: #top\n"
        "[doc]: notes/doc.md\n";
    Exported doc(text);
    std::string path = dir + "/main.md";
    EXPECT_EQ(take_strings(tzr_engine_local_resources(doc.e, dir.c_str(), path.c_str())),
              (std::vector<std::string>{"style.css", "refs.bib", "img/a.png", "notes/doc.md",
                                        "img/a.png", "img/b.png", dir + "/part.md",
                                        dir + "/deeper.md", dir + "/missing.txt"}));
    // Without a folder no transclusion is tried; a web style sheet is left out.
    Exported web("CSS: http://x/s.css\n\nText\n");
    EXPECT_TRUE(take_strings(tzr_engine_local_resources(web.e, nullptr, nullptr)).empty());
    EXPECT_EQ(tzr_engine_local_resources(nullptr, nullptr, nullptr), nullptr);

    // The queries read the parse's metadata; the parsed tree stays with the
    // engine even when a first line that looks like metadata is none (here
    // in compatibility mode).
    Exported bare("CSS: a.css\n\n# Title\n\n![x](y.png)\n", TZR_EXT_COMPATIBILITY);
    EXPECT_EQ(take_strings(tzr_engine_local_resources(bare.e, nullptr, nullptr)),
              std::vector<std::string>{"y.png"});
    EXPECT_TRUE(take_strings(tzr_engine_bibtex_keys(bare.e, dir.c_str())).empty());
    EXPECT_NE(bare.e->root, nullptr);
}

TEST_F(FolderQueries, BibtexKeys) {
    write("refs.bib",
          "% comment line\n@article{smith2001,\n  title={A},\n}\n@book{ jones ,\n  x={y}}\n"
          "@misc{last,}\n");
    write("start.bib", "@book{first, a}\n@book{second,\n");
    write("none.bib", "no entries @here{x,}\n");
    write("nocomma.bib", "@a{one,}\n@b{two}\n@c{three,}\n");
    EXPECT_EQ(keys("refs.bib"), (std::vector<std::string>{"smith2001", " jones ", "last"}));
    EXPECT_EQ(keys("refs"), (std::vector<std::string>{"smith2001", " jones ", "last"}));
    EXPECT_EQ(keys("start.bib"), (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(keys("none.bib").empty());
    // "{two}" has no comma before the next entry's: the key runs to it.
    EXPECT_EQ(keys("nocomma.bib"), (std::vector<std::string>{"one", "two}\n@c{three"}));
    EXPECT_TRUE(keys("absent.bib").empty());

    // Only regular files are read.
    ASSERT_EQ(mkfifo((dir + "/pipe.bib").c_str(), 0600), 0);
    std::filesystem::create_directories(dir + "/folder.bib");
    EXPECT_TRUE(keys("pipe.bib").empty());
    EXPECT_TRUE(keys("folder.bib").empty());
    EXPECT_TRUE(keys("/dev/zero").empty());

    Exported no_meta("Text\n");
    EXPECT_TRUE(take_strings(tzr_engine_bibtex_keys(no_meta.e, dir.c_str())).empty());
    EXPECT_EQ(tzr_engine_bibtex_keys(nullptr, dir.c_str()), nullptr);
}

}  // namespace
