#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "library/d_string.h"
#include "library/stack.h"
#include "library/transclude.h"
#include "library/tzr.h"

namespace {

std::vector<std::string> take_strings(stack *s) {
    std::vector<std::string> out;
    if (!s)
        return out;
    for (size_t i = 0; i < s->size; i++) {
        out.emplace_back(static_cast<char *>(s->element[i]));
        free(s->element[i]);
    }
    stack_free(s);
    return out;
}

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

class Transclusion : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvane-transclude-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        dir = root + "/docs";
        std::filesystem::create_directories(dir + "/sub");
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    std::string write(const std::string &name, const std::string &bytes) {
        std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // Transcludes `text` as the document docs/main.md would be.
    std::string run(const std::string &text, int16_t format = 0, const char *folder = "",
                    stack *manifest = nullptr) {
        DString *d = d_string_new(text.c_str());
        std::string f = folder && !*folder ? dir : (folder ? folder : "");
        tzr_transclude(d, folder ? f.c_str() : nullptr, (dir + "/main.md").c_str(), format, nullptr,
                       manifest);
        std::string out = d->str;
        d_string_free(d, true);
        return out;
    }

    std::string root, dir;
};

TEST_F(Transclusion, NestedFilesMissingFilesAndManifest) {
    write("b.md", "B[{{c.md}}]");
    write("c.md", "C");
    write("sub/d.md", "D");
    stack *manifest = stack_new(0);
    EXPECT_EQ(run("A {{b.md}} {{sub/d.md}} {{gone.md}} {{b.md}} Z", 0, "", manifest),
              "A B[C] D {{gone.md}} B[C] Z");
    // Each path once, in the order met; a file that cannot be read is listed.
    EXPECT_EQ(take_strings(manifest),
              (std::vector<std::string>{dir + "/b.md", dir + "/c.md", dir + "/sub/d.md",
                                        dir + "/gone.md"}));
}

TEST_F(Transclusion, MarkersThatStay) {
    write("a.md", "a");
    std::string long_name(998, 'x');
    struct {
        const char *name;
        std::string text, expect;
    } cases[] = {
        {"table of contents", "{{TOC}} {{a.md}}", "{{TOC}} a"},
        {"too long", "{{" + long_name + "}} {{a.md}}", "{{" + long_name + "}} a"},
        {"no closing braces ends the scan", "{{a.md}} {{a.md", "a {{a.md"},
        {"metadata is never replaced", "Title: {{a.md}}\n\n{{a.md}}\n", "Title: {{a.md}}\n\na\n"},
        {"empty name names the folder", "{{}} {{sub}}", "{{}} {{sub}}"},
    };
    for (auto &c : cases)
        EXPECT_EQ(run(c.text), c.expect) << c.name;
    // No folder and no "transclude base": nothing changes.
    EXPECT_EQ(run("{{a.md}}", 0, nullptr), "{{a.md}}");
}

TEST_F(Transclusion, WildcardExtensionFollowsFormat) {
    for (const char *ext : {"html", "txt", "tex", "fodt"})
        write(std::string("ch.") + ext, ext);
    write("ch.*", "literal");
    const char *expect[] = {"html", "txt", "tex", "tex", "tex", "fodt", "txt", "txt", "txt", "literal"};
    for (int16_t format = 0; format <= 9; format++)
        EXPECT_EQ(run("{{ch.*}}", format), expect[format]) << format;
}

TEST_F(Transclusion, AbsoluteAndParentPathsAreAllowed) {
    std::ofstream(root + "/up.md") << "up";
    write("sub/deep.md", "deep");
    EXPECT_EQ(run("{{../up.md}} {{" + dir + "/sub/deep.md}}"), "up deep");
}

TEST_F(Transclusion, TranscludeBaseResolvesAgainstTheFilesFolder) {
    write("sub/s.md", "S");
    std::string text = "Transclude Base: sub\n\n{{s.md}}";
    // No search folder: the base alone turns transclusion on.
    DString *d = d_string_new(text.c_str());
    tzr_transclude(d, nullptr, (dir + "/main.md").c_str(), 0, nullptr, nullptr);
    EXPECT_EQ(std::string(d->str), "Transclude Base: sub\n\nS");
    d_string_free(d, true);
    // A file path without a folder: the base is relative to the working
    // folder, not to the root of the file system.
    char *cwd = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    d = d_string_new(text.c_str());
    tzr_transclude(d, nullptr, "main.md", 0, nullptr, nullptr);
    EXPECT_EQ(std::string(d->str), "Transclude Base: sub\n\nS");
    d_string_free(d, true);
    EXPECT_EQ(chdir(cwd), 0);
    free(cwd);
    tzr_transclude(nullptr, dir.c_str(), nullptr, 0, nullptr, nullptr);
}

TEST_F(Transclusion, IncludedMetadataIsDropped) {
    write("meta.md", "Title: Inner\nAuthor: Someone\n\nBody of inner\n");
    std::string out = run("Outer {{meta.md}}");
    EXPECT_EQ(out.find("Title"), std::string::npos) << out;
    EXPECT_EQ(out, "Outer \nBody of inner\n");
}

TEST_F(Transclusion, CyclesStopOneLevelDown) {
    // a includes b, b includes a: the document's own path is not a parent,
    // so a's text comes back once, and its marker for b then stays.
    write("a.md", "a({{b.md}})");
    write("b.md", "b[{{a.md}}]");
    EXPECT_EQ(run("a({{b.md}})"), "a(b[a({{b.md}})])");

    // A file including itself twice through a relative base, each level
    // spelling its folder longer ("docs/./././"): the canonical paths match,
    // so the recursion stops at the first repetition.
    std::string self = "Transclude Base: .\n\nX {{x.md}} {{x.md}}\n";
    write("x.md", self);
    std::string out = run(self);
    EXPECT_EQ(count(out, "X "), 3u) << out;
    EXPECT_EQ(count(out, "{{x.md}}"), 4u) << out;

    // A file naming itself another way is refused at once.
    write("y.md", "Y {{sub/../y.md}}");
    EXPECT_EQ(run("{{y.md}}"), "Y {{sub/../y.md}}");

    // A caller's parent stack gets its count back.
    stack *parents = stack_new(0);
    char outer[] = "/outer.md";
    stack_push(parents, outer);
    DString *d = d_string_new("{{a.md}}");
    tzr_transclude(d, dir.c_str(), "/outer.md", 0, parents, nullptr);
    EXPECT_EQ(parents->size, 1u);
    EXPECT_EQ(std::string(d->str), "a(b[{{a.md}}])");
    d_string_free(d, true);
    stack_free(parents);
}

TEST_F(Transclusion, OnlyRegularFilesAreRead) {
    ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0600), 0);
    std::string text = "{{pipe}} {{sub}} {{/dev/zero}} {{/dev/stdin}} {{/dev/null}}";
    EXPECT_EQ(run(text), text);
}

TEST_F(Transclusion, NestingStopsAtDepth1000) {
    for (int i = 0; i <= 1001; i++)
        write("f" + std::to_string(i) + ".md",
              std::to_string(i) + " {{f" + std::to_string(i + 1) + ".md}}");
    std::string out = run("{{f0.md}}");
    EXPECT_NE(out.find("999 {{f1000.md}}"), std::string::npos);
    EXPECT_EQ(out.find("1000 "), std::string::npos);
    EXPECT_EQ(count(out, "{{"), 1u);
}

// A whole transclusion reads at most 10,000 files: the marker after them
// stays as it is.
TEST_F(Transclusion, ReadsStopAfterTenThousandFiles) {
    write("x.md", "x");
    std::string text;
    for (int i = 0; i < 10001; i++)
        text += "{{x.md}} ";
    std::string out = run(text);
    EXPECT_EQ(count(out, "x"), 10001u) << "10,000 files and the name in the last marker";
    EXPECT_EQ(count(out, "{{x.md}}"), 1u);
}

// ... and at most 256 MiB of them: a file that fills the budget exactly is
// taken in, and nothing after it. The large file is sparse, and its text
// ends at its first NUL, so the test holds its bytes only while reading it.
TEST_F(Transclusion, BytesStopAtTheirBudgetOf256MiB) {
    std::string big = write("big.md", "B");
    ASSERT_EQ(truncate(big.c_str(), off_t(256) << 20), 0);
    write("one.md", "1");
    EXPECT_EQ(run("{{big.md}} {{one.md}}"), "B {{one.md}}");
    ASSERT_EQ(truncate(big.c_str(), (off_t(256) << 20) + 1), 0);
    EXPECT_EQ(run("{{big.md}} {{one.md}}"), "{{big.md}} {{one.md}}")
        << "a file past the budget is not read, and spends it";
}

TEST_F(Transclusion, FilesThatTakeInEachOtherManyTimesStopGrowing) {
    // Each file takes in the next one three times: 3^40 copies of the last
    // without a bound on the whole.
    for (int i = 0; i < 40; i++)
        write("g" + std::to_string(i) + ".md", "{{g" + std::to_string(i + 1) + ".md}} {{g" + std::to_string(i + 1) +
                                                   ".md}} {{g" + std::to_string(i + 1) + ".md}}");
    write("g40.md", "x");
    std::string out = run("{{g0.md}}");
    EXPECT_LT(out.size(), size_t(8) << 20);
    EXPECT_GT(count(out, "{{g"), 0u) << "the markers past the bound stay";
    EXPECT_GT(count(out, "x"), 1000u) << "the files within it are taken in";
}

TEST_F(Transclusion, ManifestForms) {
    write("b.md", "{{c.md}}");
    std::string text = "Title: t\n\n{{b.md}} {{b.md}}\n";
    std::string path = dir + "/main.md";
    std::vector<std::string> expect{dir + "/b.md", dir + "/c.md"};
    EXPECT_EQ(take_strings(tzr_string_transclusion_manifest(text.c_str(), dir.c_str(), path.c_str())),
              expect);
    DString *d = d_string_new(text.c_str());
    EXPECT_EQ(take_strings(tzr_d_string_transclusion_manifest(d, dir.c_str(), path.c_str())), expect);
    EXPECT_EQ(std::string(d->str), text);  // the caller's text stays
    d_string_free(d, true);
    EXPECT_EQ(tzr_string_transclusion_manifest(nullptr, dir.c_str(), path.c_str()), nullptr);
    EXPECT_TRUE(take_strings(tzr_string_transclusion_manifest(text.c_str(), nullptr, nullptr)).empty());
}

TEST_F(Transclusion, HeaderAndFooterText) {
    write("h.md", "Header from file");
    std::string text = "Title: T\nTZR Header: {{h.md}}\ntzrfooter: The end\n\nBody\n";
    auto prepared = [&](uint64_t extensions) {
        DString *d = d_string_new(text.c_str());
        tzr_prepare_source(d, extensions, dir.c_str(), (dir + "/main.md").c_str(), 0);
        std::string out = d->str;
        d_string_free(d, true);
        return out;
    };
    DString *d = d_string_new(text.c_str());
    tzr_prepend_header_file(d);
    tzr_append_footer_file(d);
    EXPECT_EQ(std::string(d->str),
              "Title: T\nTZR Header: {{h.md}}\ntzrfooter: The end\n\n\n{{h.md}}\nBody\n\n\nThe end");
    d_string_free(d, true);

    std::string full = prepared(TZR_EXT_TRANSCLUDE);
    EXPECT_NE(full.find("\n\nHeader from file\nBody\n\n\nThe end"), std::string::npos) << full;
    // Compatibility mode has no metadata, so no header or footer text.
    EXPECT_EQ(prepared(TZR_EXT_TRANSCLUDE | TZR_EXT_COMPATIBILITY), text);
    // Without the transclusion bit the marker stays as text.
    EXPECT_NE(prepared(0).find("\n\n{{h.md}}\nBody"), std::string::npos);

    // No metadata: nothing is added.
    DString *plain = d_string_new("tzrfooter is just text\n");
    tzr_prepend_header_file(plain);
    tzr_append_footer_file(plain);
    EXPECT_EQ(std::string(plain->str), "tzrfooter is just text\n");
    d_string_free(plain, true);
    tzr_prepend_header_file(nullptr);
    tzr_append_footer_file(nullptr);
}

TEST_F(Transclusion, PreparedSourceSettlesChanges) {
    write("c.md", "in {++new++} {--old--}");
    struct {
        uint64_t extensions;
        const char *expect;
    } cases[] = {
        {TZR_EXT_TRANSCLUDE | TZR_EXT_CRITIC | TZR_EXT_CRITIC_ACCEPT, "in new  x"},
        {TZR_EXT_TRANSCLUDE | TZR_EXT_CRITIC | TZR_EXT_CRITIC_REJECT, "in  old x"},
        {TZR_EXT_TRANSCLUDE | TZR_EXT_CRITIC | TZR_EXT_CRITIC_ACCEPT | TZR_EXT_CRITIC_REJECT,
         "in {++new++} {--old--} x"},
        {TZR_EXT_TRANSCLUDE | TZR_EXT_CRITIC_ACCEPT, "in {++new++} {--old--} x"},
    };
    for (auto &c : cases) {
        DString *d = d_string_new("{{c.md}} x");
        tzr_prepare_source(d, c.extensions, dir.c_str(), (dir + "/main.md").c_str(), 0);
        EXPECT_EQ(std::string(d->str), c.expect) << c.extensions;
        d_string_free(d, true);
    }
}

}  // namespace
