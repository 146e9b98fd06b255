#include <gtest/gtest.h>

#include <string>

#include "textengine/settings/keybindings.h"

namespace {

const std::string kBindings = std::string(ORVANE_TEST_DATA) + "/keybindings/";
constexpr uint64_t kCmd = kKeyModifierCmd, kCtrl = kKeyModifierCtrl, kShift = kKeyModifierShift,
                   kOpt = kKeyModifierOpt;

struct Table {
    stack *s;
    explicit Table(stack *table) : s(table) {}
    ~Table() { key_bindings_free(s); }
    key_binding *at(size_t i) const { return static_cast<key_binding *>(s->element[i]); }
};

const char *action_of(const key_binding *b) { return key_binding_action_at_index(b, 0); }

TEST(KeyBindings, LoadsTheDefaultBindingsInTableOrder) {
    Table t(key_bindings_from_file((kBindings + "default.keybinding").c_str()));
    ASSERT_NE(t.s, nullptr);
    struct Row {
        uint64_t code;
        uint16_t key;
        uint64_t modifiers;
        const char *action;
    } rows[] = {
        {0x14F703, 0xF703, kCmd | kCtrl, "shiftRight:"},
        {0x14F702, 0xF702, kCmd | kCtrl, "shiftLeft:"},
        {0x12007D, '}', kCmd | kShift, "increaseLine:"},
        {0x12007B, '{', kCmd | kShift, "decreaseLine:"},
        {0x12005D, ']', kCmd | kShift, "increaseLine:"},
        {0x12005B, '[', kCmd | kShift, "decreaseLine:"},
        {0x10005D, ']', kCmd, "shiftRight:"},
        {0x10005B, '[', kCmd, "shiftLeft:"},
        {0x100009, '\t', kCmd, "shiftLeft:"},
    };
    ASSERT_EQ(t.s->size, std::size(rows));
    for (size_t i = 0; i < std::size(rows); i++) {
        EXPECT_EQ(t.at(i)->code, rows[i].code) << i;
        EXPECT_EQ(t.at(i)->key, rows[i].key) << i;
        EXPECT_EQ(t.at(i)->modifiers, rows[i].modifiers) << i;
        EXPECT_EQ(t.at(i)->single, 1) << i;
        EXPECT_STREQ(action_of(t.at(i)), rows[i].action) << i;
        EXPECT_EQ(key_bindings_lookup(t.s, rows[i].key, rows[i].modifiers), t.at(i)) << i;
    }
    EXPECT_EQ(key_bindings_find_action(t.s, "shiftLeft:"), t.at(1));
    EXPECT_EQ(key_bindings_find_action(t.s, "increaseLine:"), t.at(2));
    EXPECT_EQ(key_bindings_find_action(t.s, "paste:"), nullptr);
}

TEST(KeyBindings, LooksUpTheWholeKeyAndModifiers) {
    Table t(key_bindings_from_file((kBindings + "default.keybinding").c_str()));
    struct Probe {
        int key;
        uint64_t modifiers;
        const char *action;  // nullptr when nothing is bound
    } probes[] = {
        {']', kCmd, "shiftRight:"},
        {']', kCmd | kShift, "increaseLine:"},
        {']', kCtrl, nullptr},
        {']', 0, nullptr},
        {']', kCmd | kKeyModifierFn, nullptr},  // a bit no binding keeps
        {'\\', kCmd | 0x1, nullptr},            // low bits must not blend into the key
        {0x1005D, kCmd, nullptr},               // nor high key bits into the modifiers
        {0x2005D, kCmd, nullptr},
        {-1, kCmd, nullptr},
        {0xF702, kCmd | kCtrl, "shiftLeft:"},
    };
    for (const Probe &p : probes) {
        key_binding *b = key_bindings_lookup(t.s, p.key, p.modifiers);
        if (p.action)
            EXPECT_STREQ(action_of(b), p.action) << std::hex << p.key << " " << p.modifiers;
        else
            EXPECT_EQ(b, nullptr) << std::hex << p.key << " " << p.modifiers;
    }
    EXPECT_EQ(key_bindings_lookup(nullptr, ']', kCmd), nullptr);
}

TEST(KeyBindings, ReadsKeysModifiersAndActionLists) {
    ::testing::internal::CaptureStderr();
    Table t(key_bindings_from_file((kBindings + "custom.keybinding").c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(t.s->size, 8u);
    for (size_t i = 1; i < t.s->size; i++)
        EXPECT_GE(t.at(i - 1)->code, t.at(i)->code);

    // A backslash-u key string names the key by its digits.
    key_binding *dash = key_bindings_lookup(t.s, 0xF702, kCtrl | kOpt);
    ASSERT_NE(dash, nullptr);
    EXPECT_EQ(dash->single, 0);
    EXPECT_STREQ(dash->title, "Dash at word start");
    EXPECT_EQ(key_binding_action_count(dash), 4);
    EXPECT_STREQ(key_binding_action_at_index(dash, 1), "insertText:");
    EXPECT_STREQ(key_binding_action_at_index(dash, 2), "--");
    EXPECT_EQ(key_binding_action_at_index(dash, 4), nullptr);

    // "fn" and unknown names are dropped; letters match in either case.
    key_binding *k = key_bindings_lookup(t.s, 'k', kCmd);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k, key_bindings_lookup(t.s, 'K', kCmd));
    EXPECT_EQ(k->code, 0x10004Bu);
    EXPECT_EQ(k->title, nullptr);
    EXPECT_EQ(key_binding_action_count(k), 1);
    EXPECT_EQ(key_binding_action_at_index(k, 1), nullptr);

    EXPECT_STREQ(action_of(key_bindings_lookup(t.s, 'x', 0)), "cut:");  // only "fn"
    EXPECT_STREQ(action_of(key_bindings_lookup(t.s, 'q', 0)), "quitSoftly:");
    EXPECT_STREQ(action_of(key_bindings_lookup(t.s, 0xD83D, kOpt)), "insertSmile:");
    EXPECT_STREQ(action_of(key_bindings_lookup(t.s, '\\', kShift)), "backslash:");
    EXPECT_STREQ(action_of(key_bindings_lookup(t.s, 0, kCtrl)), "emptyKey:");

    key_binding *bee = key_bindings_lookup(t.s, 'b', kCtrl);  // first character only
    ASSERT_NE(bee, nullptr);
    EXPECT_EQ(key_binding_action_count(bee), 3);
    EXPECT_EQ(key_binding_action_at_index(bee, 1), nullptr);  // 42 is no action name
    EXPECT_STREQ(key_binding_action_at_index(bee, 2), "b:");
    EXPECT_EQ(key_bindings_find_action(t.s, "b:"), nullptr);  // lists are never matched

    EXPECT_EQ(key_bindings_lookup(t.s, 'z', kCmd), nullptr);  // action 17
    EXPECT_EQ(key_binding_action_count(nullptr), -1);
}

TEST(KeyBindings, MapsKeyTextsSafely) {
    struct Case {
        const char *json;
        int key;  // -1 when the element gives no binding
    } cases[] = {
        {"\"\\\\u1F702\"", 0xF702},  // digits beyond 16 bits wrap
        {"\"\\\\u\"", 0},
        {"\"\\\\uzz\"", 0},
        {"\"\xC3\xA9\"", 0xE9},      // not upper-cased: ASCII letters only
        {"\"\xFF\"", -1},            // not UTF-8: no key event gives it
        {"\"\xC3\"", -1},
        {"\"\xED\xA0\x80\"", -1},
        {"7", -1},
    };
    for (const Case &c : cases) {
        std::string text = "[{\"modifiers\":[\"cmd\"],\"key\":" + std::string(c.json) +
                           ",\"action\":\"act:\"}]";
        Table t(key_bindings_from_string(text.c_str()));
        ASSERT_NE(t.s, nullptr);
        if (c.key < 0) {
            EXPECT_EQ(t.s->size, 0u) << c.json;
        } else {
            ASSERT_EQ(t.s->size, 1u) << c.json;
            EXPECT_EQ(t.at(0)->key, c.key) << c.json;
        }
    }
}

TEST(KeyBindings, BadFilesGiveEmptyTablesWithTheirMessage) {
    struct Case {
        const char *file;
        const char *message;
    } cases[] = {
        {"broken.keybinding", "Invalid JSON...\n"},
        {"object.keybinding", ""},
        {"missing.keybinding", "Error reading file...\n"},
    };
    for (const Case &c : cases) {
        ::testing::internal::CaptureStderr();
        Table t(key_bindings_from_file((kBindings + c.file).c_str()));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.message) << c.file;
        ASSERT_NE(t.s, nullptr) << c.file;
        EXPECT_EQ(t.s->size, 0u) << c.file;
        EXPECT_EQ(key_bindings_lookup(t.s, '[', kCmd), nullptr);
    }
    ::testing::internal::CaptureStderr();
    Table none(key_bindings_from_string(nullptr));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Invalid JSON...\n");
    EXPECT_EQ(none.s->size, 0u);
    key_bindings_free(nullptr);
    key_binding_strings_free(nullptr);
}

}  // namespace
