#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "textengine/settings/json.h"

namespace {

struct Parsed {
    json_value *v;
    explicit Parsed(const std::string &text) : v(json_parse_string(text.c_str())) {}
    explicit Parsed(json_value *value) : v(value) {}
    ~Parsed() { json_value_free(v); }
    Parsed(const Parsed &) = delete;
    Parsed &operator=(const Parsed &) = delete;
};

std::string nested(int depth) {
    return std::string(depth, '[') + "1" + std::string(depth, ']');
}

std::string many(const char *open, const char *close, int n, bool members) {
    std::string text = open;
    for (int i = 0; i < n; i++) {
        if (i)
            text += ",";
        text += members ? "\"m" + std::to_string(i) + "\":" + std::to_string(i) : "0";
    }
    return text + close;
}

TEST(JsonReader, AcceptsAndRefusesTexts) {
    struct Case {
        const char *text;
        int type;  // JSON_ERROR when refused
    } cases[] = {
        {"{}", JSON_OBJECT},
        {"[]", JSON_ARRAY},
        {"  \t\n\"lone\"", JSON_STRING},
        {"true", JSON_BOOLEAN},
        {"false", JSON_BOOLEAN},
        {"null", JSON_NULL},
        {"truest", JSON_BOOLEAN},  // a literal is taken whatever follows it
        {"{\"a\":1} and more words", JSON_OBJECT},
        {"\xEF\xBB\xBF{}", JSON_OBJECT},
        {"0", JSON_NUMBER},
        {"-0", JSON_NUMBER},
        {"0.5", JSON_NUMBER},
        {"-0.25", JSON_NUMBER},
        {"17", JSON_NUMBER},
        {"1e5", JSON_NUMBER},
        {"2.5E-3", JSON_NUMBER},
        {"01", JSON_ERROR},
        {"-01", JSON_ERROR},
        {"00", JSON_ERROR},
        {"0e5", JSON_ERROR},
        {"0x1F", JSON_ERROR},
        {"1e999", JSON_ERROR},
        {"+1", JSON_ERROR},
        {".5", JSON_ERROR},
        // The C conversion would read these; they are not JSON numbers.
        {"-", JSON_ERROR},
        {"-inf", JSON_ERROR},
        {"-nan", JSON_ERROR},
        {"-infinity", JSON_ERROR},
        {"-.5", JSON_ERROR},
        {"-0x10", JSON_ERROR},
        {"[1, 2", JSON_ERROR},
        {"[1, 2,]", JSON_ERROR},
        {"[1 2]", JSON_ERROR},
        {"{\"a\" 1}", JSON_ERROR},
        {"{\"a\":1,}", JSON_ERROR},
        {"{a:1}", JSON_ERROR},
        {"{\"a\":1,\"a\":2}", JSON_ERROR},
        {"\"open", JSON_ERROR},
        {"\"tab\there\"", JSON_ERROR},
        {"\"line\nbreak\"", JSON_ERROR},
        {"\"bad \\q escape\"", JSON_ERROR},
        {"\"ends in \\", JSON_ERROR},
        {"tru", JSON_ERROR},
        {"nul", JSON_ERROR},
        {"", JSON_ERROR},
        {"   ", JSON_ERROR},
        {"]", JSON_ERROR},
    };
    for (const Case &c : cases) {
        Parsed p(c.text);
        EXPECT_EQ(json_value_get_type(p.v), c.type) << c.text;
    }
    EXPECT_EQ(json_parse_string(nullptr), nullptr);
}

TEST(JsonReader, DecodesStringEscapes) {
    struct Case {
        const char *text;
        const char *decoded;  // nullptr when refused
    } cases[] = {
        {"\"\\uD83D\\uDE00\"", "\xF0\x9F\x98\x80"},
        {"\"\\u00e9\"", "\xC3\xA9"},
        {"\"\\u20AC\"", "\xE2\x82\xAC"},
        {"\"a\\u0000b\"", "a"},
        {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", "\"\\/\b\f\n\r\t"},
        {"\"\xC3\xA9 \xFF kept\"", "\xC3\xA9 \xFF kept"},
        {"\"\\uDE00\"", nullptr},
        {"\"\\uD83D\"", nullptr},
        {"\"\\uD83Dx\"", nullptr},
        {"\"\\uD83D\\u0041\"", nullptr},
        {"\"\\u12\"", nullptr},
        {"\"\\u12G4\"", nullptr},
        {"\"\\uD83D\\uDE", nullptr},
    };
    for (const Case &c : cases) {
        Parsed p(c.text);
        if (c.decoded)
            EXPECT_STREQ(json_value_get_string(p.v), c.decoded) << c.text;
        else
            EXPECT_EQ(p.v, nullptr) << c.text;
    }
}

TEST(JsonReader, HoldsNestingAndSizeLimits) {
    EXPECT_NE(Parsed(nested(2048)).v, nullptr);
    EXPECT_EQ(Parsed(nested(2049)).v, nullptr);
    // Far deeper texts are refused without exhausting the stack.
    EXPECT_EQ(Parsed(std::string(1000000, '[')).v, nullptr);

    Parsed members(many("{", "}", 960, true));
    ASSERT_NE(members.v, nullptr);
    EXPECT_EQ(json_object_get_count(json_value_get_object(members.v)), 960u);
    EXPECT_EQ(Parsed(many("{", "}", 961, true)).v, nullptr);

    Parsed items(many("[", "]", 122880, false));
    ASSERT_NE(items.v, nullptr);
    EXPECT_EQ(json_array_get_count(json_value_get_array(items.v)), 122880u);
    EXPECT_EQ(Parsed(many("[", "]", 122881, false)).v, nullptr);
}

TEST(JsonReader, TrimsContainersToTheirCount) {
    Parsed p("{\"e\": [], \"o\": {}, \"a\": [1, 2, 3]}");
    json_object *o = json_value_get_object(p.v);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->capacity, 3u);
    EXPECT_EQ(json_object_get_array(o, "e")->capacity, 0u);
    EXPECT_EQ(json_object_get_object(o, "o")->capacity, 0u);
    EXPECT_EQ(json_object_get_array(o, "a")->capacity, 3u);
    EXPECT_EQ(json_value_get_parent(json_object_get_value(o, "a")), p.v);
    EXPECT_EQ(json_object_get_owner(o), p.v);
}

TEST(JsonReader, StripsComments) {
    const char *text = "{ /* block\n comment */ \"a\": \"x // y\", // line\n \"b\": 2 }";
    Parsed p(json_parse_string_commented(text));
    json_object *o = json_value_get_object(p.v);
    ASSERT_NE(o, nullptr);
    EXPECT_STREQ(json_object_get_string(o, "a"), "x // y");
    EXPECT_EQ(json_object_get_number(o, "b"), 2.0);
    EXPECT_EQ(json_parse_string(text), nullptr);

    // No byte-order mark is skipped on this path.
    EXPECT_EQ(Parsed(json_parse_string_commented("\xEF\xBB\xBF{}")).v, nullptr);

    char open[] = "[1, /* 2, 3]";
    json_strip_comments(open, "/*", "*/");
    EXPECT_STREQ(open, "[1,    2, 3]");
    char escaped[] = "[\"a\\\"//\", 1]";
    json_strip_comments(escaped, "//", "\n");
    EXPECT_STREQ(escaped, "[\"a\\\"//\", 1]");
    json_strip_comments(nullptr, "//", "\n");
}

TEST(JsonReader, AnswersTypedAccessors) {
    Parsed p("{\"s\":\"text\",\"n\":2.5,\"t\":true,\"f\":false,\"z\":null,"
             "\"o\":{\"in\":{\"deep\":7},\"x.y\":1,\"\":{\"e\":3}},\"a\":[\"q\",4,false,{},[]]}");
    json_object *o = json_value_get_object(p.v);
    ASSERT_NE(o, nullptr);
    EXPECT_STREQ(json_object_get_string(o, "s"), "text");
    EXPECT_EQ(json_object_get_number(o, "n"), 2.5);
    EXPECT_EQ(json_object_get_boolean(o, "t"), 1);
    EXPECT_EQ(json_object_get_boolean(o, "f"), 0);
    EXPECT_EQ(json_object_get_boolean(o, "s"), -1);
    EXPECT_EQ(json_object_get_number(o, "missing"), 0.0);
    EXPECT_EQ(json_object_get_string(o, "n"), nullptr);
    EXPECT_EQ(json_object_has_name_of_type(o, "z", JSON_NULL), 1);
    EXPECT_EQ(json_object_has_name(o, "nope"), 0);
    EXPECT_EQ(json_value_get_type(nullptr), -1);
    EXPECT_EQ(json_type_of(json_object_get_value(o, "a")), JSON_ARRAY);

    EXPECT_EQ(json_object_get_number_by_path(o, "o.in.deep"), 7.0);
    EXPECT_EQ(json_object_get_number_by_path(o, "o..e"), 3.0);
    EXPECT_EQ(json_object_get_value_by_path(o, "s.x"), nullptr);  // s is a string
    EXPECT_EQ(json_object_has_path(o, "o.x.y"), 0);  // dotted names are out of reach
    EXPECT_EQ(json_object_has_path_of_type(o, "o.in", JSON_OBJECT), 1);
    EXPECT_EQ(json_object_get_boolean_by_path(o, "t"), 1);

    json_array *a = json_object_get_array(o, "a");
    EXPECT_EQ(json_array_get_count(a), 5u);
    EXPECT_STREQ(json_array_get_string(a, 0), "q");
    EXPECT_EQ(json_array_get_number(a, 1), 4.0);
    EXPECT_EQ(json_array_get_boolean(a, 2), 0);
    EXPECT_NE(json_array_get_object(a, 3), nullptr);
    EXPECT_NE(json_array_get_array(a, 4), nullptr);
    EXPECT_EQ(json_array_get_value(a, 5), nullptr);
    EXPECT_EQ(json_array_get_owner(a), json_object_get_value(o, "a"));
    EXPECT_STREQ(json_object_get_name(o, 0), "s");
    EXPECT_EQ(json_object_get_value_at(o, 99), nullptr);
    EXPECT_EQ(json_object_get_count(nullptr), 0u);
}

TEST(JsonReader, ChecksUtf8OfNewStrings) {
    struct Case {
        const char *text;
        bool valid;
    } cases[] = {
        {"\xF0\x9F\x98\x80", true}, {"plain \xC3\xA9", true},  {"", true},
        {"\xC0\x80", false},        {"\xED\xA0\x80", false},   {"\xF4\x90\x80\x80", false},
        {"\x80", false},            {"\xE2\x82", false},       {"\xF5\x80\x80\x80", false},
    };
    for (const Case &c : cases) {
        Parsed p(json_value_new_string(c.text));
        EXPECT_EQ(p.v != nullptr, c.valid) << c.text;
    }
}

int g_outstanding = 0;
void *counting_allocate(size_t size) {
    g_outstanding++;
    return malloc(size);
}
void counting_release(void *p) {
    g_outstanding--;
    free(p);
}

TEST(JsonReader, RefusedTextsLeaveNothingAllocated) {
    json_set_allocators(counting_allocate, counting_release);
    for (const char *text : {"[1, {\"a\": [true, \"x\"]}, 2", "{\"a\":[1,2],\"a\":3}",
                             "[\"ok\", \"\\uDE00\"]", "{\"k\": -}"}) {
        EXPECT_EQ(json_parse_string(text), nullptr) << text;
        EXPECT_EQ(g_outstanding, 0) << text;
    }
    json_value *v = json_parse_string_commented("{\"a\": [1, 2] /* c */}");
    EXPECT_NE(v, nullptr);
    json_value_free(v);
    EXPECT_EQ(g_outstanding, 0);
    json_set_allocators(malloc, free);
}

TEST(JsonReader, ReadsFiles) {
    std::string path = ::testing::TempDir() + "json_reader_file.json";
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("\xEF\xBB\xBF// settings\n{\"a\": 1}", f);
    fclose(f);
    EXPECT_EQ(Parsed(json_parse_file(path.c_str())).v, nullptr);  // the comment
    Parsed p(json_parse_file_commented(path.c_str()));
    EXPECT_EQ(p.v, nullptr);  // the byte-order mark is not skipped here either

    f = fopen(path.c_str(), "wb");
    fputs("\xEF\xBB\xBF{\"a\": 1}", f);
    fclose(f);
    Parsed q(json_parse_file(path.c_str()));
    EXPECT_EQ(json_object_get_number(json_value_get_object(q.v), "a"), 1.0);
    char *text = json_read_file(path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "\xEF\xBB\xBF{\"a\": 1}");
    json_free_serialized(text);
    remove(path.c_str());

    EXPECT_EQ(json_read_file("/nonexistent/file.json"), nullptr);
    EXPECT_EQ(json_parse_file(nullptr), nullptr);
}

}  // namespace

namespace {

const std::string kExpansions = std::string(ORVANE_TEST_DATA) + "/expansions/";

TEST(JsonReader, ReadsSampleExpansionFiles) {
    Parsed p(json_parse_file((kExpansions + "sample.json").c_str()));
    json_array *entries = json_object_get_array(json_value_get_object(p.v), "expansions");
    ASSERT_EQ(json_array_get_count(entries), 5u);
    EXPECT_STREQ(json_object_get_string(json_array_get_object(entries, 0), "key"), ";date");
    EXPECT_STREQ(json_object_get_string(json_array_get_object(entries, 1), "expansion"),
                 "Regards,\n%|\n");
    EXPECT_STREQ(json_object_get_string(json_array_get_object(entries, 3), "expansion"),
                 "%snippet:;sig% \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(json_object_get_string(json_array_get_object(entries, 4), "expansion"), nullptr);

    EXPECT_EQ(Parsed(json_parse_file((kExpansions + "broken.json").c_str())).v, nullptr);
}

}  // namespace

namespace {

void *poisoned_allocate(size_t size) {
    void *p = malloc(size);
    if (p)
        memset(p, 'X', size);
    return p;
}

TEST(JsonReader, StopsAtTheBytesReallyRead) {
    // Kernel attribute files report a size of a whole page but hold a few
    // bytes: the text must end where the read ended, not at the size.
    const char *path = "/sys/devices/system/cpu/online";
    FILE *probe = fopen(path, "rb");
    if (!probe)
        GTEST_SKIP() << "no " << path;
    fclose(probe);
    json_set_allocators(poisoned_allocate, free);
    char *text = json_read_file(path);
    json_set_allocators(malloc, free);
    ASSERT_NE(text, nullptr);
    EXPECT_LT(strlen(text), 64u);
    EXPECT_EQ(strchr(text, 'X'), nullptr);
    free(text);
}

}  // namespace
