// One engine per thread: conversions running on several threads at once
// give what the same conversions give one thread at a time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "library/diagnostics.h"
#include "library/file_utils.h"
#include "odf_test_support.h"
#include "library/packaging/random.h"
#include "library/tzr.h"

namespace {

std::string read_text(const std::string &path) {
    DString *text = file_read_to_d_string(path.c_str());
    std::string result = text ? std::string(text->str, text->length) : std::string();
    d_string_free(text, true);
    return result;
}

// Documents with what depends on process-wide state: obfuscated e-mail
// addresses, footnotes (numbered at random under TZR_EXT_RANDOM_FOOT), and
// the samples the writers are checked against.
std::vector<std::string> documents() {
    std::vector<std::string> docs = {
        "Title: Mail\nLanguage: de\n\nWrite to <someone@example.com> or <mailto:other@example.org>,\n"
        "\"quoted\" and 'single' -- with a note[^a] and another[^b].\n\n"
        "[^a]: First note, <third@example.net>.\n\n[^b]: Second note[^a].\n",
        "# Notes\n\nOne[^x], two[^y], three[^z], again[^x].\n\n[^x]: X.\n[^y]: Y.\n[^z]: Z\n\n"
        "    with a second paragraph.\n\n<last@example.com> {++added++} {--gone--} {~~a~>b~~}\n",
    };
    for (const char *name : {"/html/basics.md", "/html/edges.md", "/html/notes_and_lists.md",
                             "/odf/notes.md", "/epub/notes.md", "/latex/samples/critic.md",
                             "/../../examples/sample.md"})
        docs.push_back(read_text(std::string(ORVANE_TEST_DATA) + name));
    return docs;
}

struct Job {
    size_t document;
    uint64_t flags;
    uint16_t format;
    bool as_file = false;  // the packaged file's entries instead of the text
};

// Matches of `pattern` renumbered in order of first appearance.
std::string renumbered(const std::string &text, const std::regex &pattern, const char *name) {
    std::map<std::string, int> numbers;
    std::string result;
    auto last = text.cbegin();
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
        const std::smatch &m = *it;
        result.append(last, m[0].first);
        auto found = numbers.emplace(m[m.size() - 1].str(), (int)numbers.size() + 1).first;
        result += (m.size() > 2 ? m[1].str() + ":" : std::string()) + name +
                  std::to_string(found->second);
        last = m[0].second;
    }
    result.append(last, text.cend());
    return result;
}

// What differs from run to run by design, renumbered in order of first
// appearance: the names of packed images (random UUIDs), and the anchors
// of random footnote numbers, which come from the C library's generator
// that all threads share. Two runs must still agree on which references
// share a name or an anchor.
std::string without_chance(const std::string &text) {
    static const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
    static const std::regex anchor(R"((fn|fnref):(\d+))");
    static const std::regex moment(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
    std::string result = renumbered(renumbered(text, uuid, "uuid-"), anchor, "#");
    return std::regex_replace(result, moment, "(time of the build)");
}

std::string convert(const std::vector<std::string> &docs, const Job &job) {
    const char *doc = docs[job.document].c_str();
    uint16_t language = (uint16_t)(job.document % 6);
    if (job.as_file) {
        std::string folder = std::string(ORVANE_TEST_DATA) + "/epub";
        odf_test::ZipEntries zip = odf_test::read_zip(odf_test::take(
            tzr_string_convert_to_data(doc, job.flags, job.format, language, folder.c_str())));
        std::string entries;
        for (const std::string &name : zip.names)
            entries += name + "\n" + zip.bytes[name] + "\n";
        return without_chance(entries);
    }
    char *text = tzr_string_convert(doc, job.flags, job.format, language);
    std::string result = text ? text : "";
    free(text);
    return without_chance(result);
}

// Each worker's jobs run in order on a thread of its own; a thread's first
// obfuscated address always draws from the start of the sequence.
std::vector<std::vector<std::string>> run(const std::vector<std::string> &docs,
                                          const std::vector<std::vector<Job>> &work,
                                          bool at_once) {
    std::vector<std::vector<std::string>> results(work.size());
    auto worker = [&](size_t w) {
        for (const Job &job : work[w])
            results[w].push_back(convert(docs, job));
    };
    std::vector<std::thread> threads;
    for (size_t w = 0; w < work.size(); w++) {
        threads.emplace_back(worker, w);
        if (!at_once)
            threads.back().join();
    }
    for (std::thread &t : threads)
        if (t.joinable())
            t.join();
    return results;
}

TEST(Concurrency, ConversionsOnManyThreadsMatchOneThreadAtATime) {
    const std::vector<std::string> docs = documents();
    for (const std::string &doc : docs)
        ASSERT_FALSE(doc.empty());
    const uint64_t flag_sets[] = {
        TZR_EXT_NOTES | TZR_EXT_SMART,
        TZR_EXT_COMPLETE | TZR_EXT_NOTES | TZR_EXT_SMART | TZR_EXT_RANDOM_FOOT,
        TZR_EXT_NOTES | TZR_EXT_CRITIC | TZR_EXT_RANDOM_FOOT,
    };
    // Four workers, each taking the documents in its own order, so that
    // different documents are converted at the same moment.
    std::vector<std::vector<Job>> work(4);
    for (size_t w = 0; w < work.size(); w++)
        for (size_t i = 0; i < docs.size(); i++)
            for (uint64_t flags : flag_sets)
                for (uint16_t format = TZR_FORMAT_HTML; format <= TZR_FORMAT_ORIGINAL; format++)
                    work[w].push_back({(i + 3 * w) % docs.size(), flags, format});

    auto expected = run(docs, work, false);
    auto together = run(docs, work, true);
    for (size_t w = 0; w < work.size(); w++)
        for (size_t j = 0; j < work[w].size(); j++)
            ASSERT_EQ(together[w][j], expected[w][j])
                << "document " << work[w][j].document << ", format " << work[w][j].format
                << ", flags " << work[w][j].flags;
    // The documents did obfuscate addresses and number footnotes at random.
    EXPECT_NE(expected[0][0].find("&#"), std::string::npos);
    EXPECT_NE(expected[0][10].find("fn:#1"), std::string::npos);
}

TEST(Concurrency, PackagesBuiltOnManyThreadsMatchOneThreadAtATime) {
    std::vector<std::string> docs = documents();
    docs.push_back(read_text(std::string(ORVANE_TEST_DATA) + "/epub/pictures.md"));
    // The samples' missing pictures are reported on every run; not here.
    struct Quiet {
        Quiet() { tzr_log_set_handler([](const char *, void *) {}, nullptr); }
        ~Quiet() { tzr_log_set_handler(nullptr, nullptr); }
    } quiet;
    const uint64_t flags = TZR_EXT_NOTES | TZR_EXT_SMART | TZR_EXT_RANDOM_FOOT;
    const uint16_t packaged[] = {TZR_FORMAT_EPUB, TZR_FORMAT_ODT, TZR_FORMAT_TEXTBUNDLE_COMPRESSED};
    std::vector<std::vector<Job>> work(4);
    for (size_t w = 0; w < work.size(); w++)
        for (size_t i = 0; i < docs.size(); i++)
            for (uint16_t format : packaged)
                work[w].push_back({(i + 3 * w) % docs.size(), flags, format, true});
    auto expected = run(docs, work, false);
    auto together = run(docs, work, true);
    for (size_t w = 0; w < work.size(); w++)
        for (size_t j = 0; j < work[w].size(); j++)
            ASSERT_EQ(together[w][j], expected[w][j])
                << "document " << work[w][j].document << ", format " << work[w][j].format;
    // The pictures were packed.
    bool packed = false;
    for (const std::string &entries : expected[0])
        packed = packed || entries.find("Pictures/uuid-") != std::string::npos;
    EXPECT_TRUE(packed);
}

TEST(Concurrency, EveryThreadDrawsTheSequenceFromItsStart) {
    auto draws = [] {
        std::vector<long> values(250);
        for (long &v : values)
            v = random_next();
        return values;
    };
    std::vector<long> alone;
    std::thread([&] { alone = draws(); }).join();
    std::vector<std::vector<long>> seen(4);
    std::vector<std::thread> threads;
    for (auto &values : seen)
        threads.emplace_back([&values, &draws] { values = draws(); });
    for (std::thread &t : threads)
        t.join();
    for (const auto &values : seen)
        EXPECT_EQ(values, alone);
}

}  // namespace
