#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "library/block_parser.h"
#include "library/diagnostics.h"
#include "library/tzr.h"

namespace {

void collect(const char *line, void *context) { static_cast<std::string *>(context)->append(line); }

struct HandlerGuard {
    ~HandlerGuard() { tzr_log_set_handler(nullptr, nullptr); }
};

TEST(Diagnostics, LinesReachTheInstalledHandlerWhole) {
    HandlerGuard guard;
    std::string seen;
    tzr_log_set_handler(collect, &seen);
    tzr_log("Unknown token type: %d\n", 217);
    std::string long_text(1000, 'x');
    tzr_log("%s\n", long_text.c_str());
    EXPECT_EQ(seen, "Unknown token type: 217\n" + long_text + "\n");
}

TEST(Diagnostics, NullHandlerRestoresStandardError) {
    HandlerGuard guard;
    std::string seen;
    tzr_log_set_handler(collect, &seen);
    tzr_log_set_handler(nullptr, &seen);
    testing::internal::CaptureStderr();
    tzr_log("Parser failed to successfully parse.\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Parser failed to successfully parse.\n");
    EXPECT_TRUE(seen.empty());
}

TEST(Diagnostics, FatalLogsAndExitsWithStatusOne) {
    EXPECT_EXIT(tzr_fatal("Error reallocating memory for d_string. Current buffer size %lu.\n", 1024ul),
                testing::ExitedWithCode(1), "Current buffer size 1024");
}

TEST(Diagnostics, SystemErrorsReadAsPerrorWritesThem) {
    HandlerGuard guard;
    std::string seen;
    tzr_log_set_handler(collect, &seen);
    errno = ENOENT;
    tzr_log_errno("out.html");
    errno = ENOENT;
    tzr_log_errno(nullptr);
    EXPECT_EQ(seen, "out.html: No such file or directory\nNo such file or directory\n");
}

// The library's reports, from strings to the parse to file output, all
// reach the installed handler and nothing else.
TEST(Diagnostics, LibraryReportsReachTheHandlerAlone) {
    HandlerGuard guard;
    std::string seen;
    tzr_log_set_handler(collect, &seen);
    testing::internal::CaptureStderr();

    DString *text = d_string_new("abc");
    EXPECT_EQ(d_string_copy_substring(text, 2, 5), nullptr);
    d_string_free(text, true);
    tzr_engine *e = tzr_engine_create_with_string("", 0);
    EXPECT_EQ(tzr_parse_line_chain(e, nullptr), nullptr);  // the grammar without a line
    tzr_engine_free(e, true);
    DString *source = d_string_new("# Title\n");
    tzr_d_string_convert_to_file(source, 0, TZR_FORMAT_HTML, TZR_LANGUAGE_ENGLISH, nullptr,
                                 "/nonexistent-folder/out.html");
    d_string_free(source, true);

    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(seen, "d_string: Asked to copy invalid substring range.\n"
                    "start: 2  len: 5  string: 3\n"
                    "Parser failed to successfully parse.\n"
                    "/nonexistent-folder/out.html: No such file or directory\n");
}

std::atomic<int> counted{0};
void count(const char *, void *) { counted++; }

TEST(Diagnostics, ManyThreadsLogAtOnce) {
    HandlerGuard guard;
    tzr_log_set_handler(count, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++)
        threads.emplace_back([] {
            for (int i = 0; i < 1000; i++)
                tzr_log("line %d\n", i);
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(counted.load(), 8000);
}

} // namespace
