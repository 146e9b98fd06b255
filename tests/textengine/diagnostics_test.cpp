// The text engine's messages reach the library's log handler, so that an
// application that redirects the log sees them too, and nothing reaches
// standard error behind its back.
#include <gtest/gtest.h>

#include <string>

#include "library/diagnostics.h"
#include "textengine/settings/keybindings.h"
#include "textengine/diff/match.h"
#include "textengine/buffer/smart_string.h"
#include "textengine/transforms/text_ranges.h"
#include "textengine/settings/theme.h"
#include "textengine/buffer/undo.h"

namespace {

void collect(const char *line, void *context) { static_cast<std::string *>(context)->append(line); }

struct HandlerGuard {
    ~HandlerGuard() { tzr_log_set_handler(nullptr, nullptr); }
};

TEST(TextEngineDiagnostics, MessagesGoThroughTheLogHandler) {
    HandlerGuard guard;
    std::string seen;
    tzr_log_set_handler(collect, &seen);
    testing::internal::CaptureStderr();

    _SString *s = smart_string_new("abc", SMART_STRING_UNDO);
    smart_string_replace(s, 4, 0, "x", nullptr);
    smart_string_replace(s, 1, 5, "x", nullptr);
    EXPECT_EQ(smart_string_substring(s, 2, 9), nullptr);
    smart_string_free(s, true);
    _SString *no_undo = smart_string_new("abc", 0);
    EXPECT_FALSE(smart_string_can_undo(no_undo, 1));
    EXPECT_FALSE(smart_string_can_redo(no_undo, 1));
    smart_string_free(no_undo, true);
    EXPECT_EQ(theme_parse("{", nullptr, 0), nullptr);
    EXPECT_EQ(key_bindings_read_json("/nonexistent/bindings.json"), nullptr);
    EXPECT_EQ(dmp_match_main(nullptr, 0, "a", 1, 0, nullptr), -1);

    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(seen,
              "Smart String: Attempt to modify illegal start position.\n"
              "Smart String: Attempt to modify illegal stop position.\n"
              "Smart String: Asked to copy invalid substring range.\n"
              "start: 2  len: 9  string: 3\n"
              "Smart String: Attempt to undo without a stack.\n"
              "Smart String: Attempt to redo without a stack.\n"
              "Invalid JSON...\n"
              "Error reading file...\n"
              "Invalid match request.\n");
}

}  // namespace
