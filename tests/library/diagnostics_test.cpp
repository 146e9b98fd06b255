#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics.h"

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
