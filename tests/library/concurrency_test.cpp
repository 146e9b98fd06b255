// One engine per thread: conversions running on several threads at once
// give what the same conversions give one thread at a time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "file_utils.h"
#include "random.h"
#include "tzr.h"

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
    return renumbered(renumbered(text, uuid, "uuid-"), anchor, "#");
}

std::string convert(const std::vector<std::string> &docs, const Job &job) {
    char *text = tzr_string_convert(docs[job.document].c_str(), job.flags, job.format,
                                    (uint16_t)(job.document % 6));
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
