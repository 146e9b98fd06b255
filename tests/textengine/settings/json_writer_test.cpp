#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "textengine/settings/json.h"

namespace {

struct Tree {
    json_value *v;
    explicit Tree(const char *text) : v(json_parse_string(text)) {}
    explicit Tree(json_value *value) : v(value) {}
    ~Tree() { json_value_free(v); }
    Tree(const Tree &) = delete;
    Tree &operator=(const Tree &) = delete;
    json_object *object() const { return json_value_get_object(v); }
    json_array *array() const { return json_value_get_array(v); }
};

std::string compact(const json_value *v) {
    char *text = json_serialize_to_string(v);
    std::string s = text ? text : "<none>";
    json_free_serialized(text);
    return s;
}

std::string indented(const json_value *v) {
    char *text = json_serialize_to_string_indented(v);
    std::string s = text ? text : "<none>";
    json_free_serialized(text);
    return s;
}

TEST(JsonWriter, WritesNumbers) {
    struct Case {
        double number;
        const char *text;
    } cases[] = {
        {3, "3"},
        {-2147483648.0, "-2147483648"},
        {3000000000.0, "3000000000"},
        {4294967296.0, "4294967296.000000"},
        {-3000000000.0, "-3000000000.000000"},
        {0.1, "0.100000"},
        {0.0000001, "0.000000"},
        {-0.0, "0"},
        {-1.5, "-1.500000"},
        {1e20, "100000000000000000000.000000"},
    };
    for (const Case &c : cases) {
        Tree t(json_value_new_number(c.number));
        EXPECT_EQ(compact(t.v), c.text) << c.number;
    }
}

TEST(JsonWriter, RefusesNumbersWithoutJsonForm) {
    for (double d : {std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()}) {
        Tree t(json_parse_string("{\"ok\": [1]}"));
        ASSERT_EQ(json_array_append_number(json_object_get_array(t.object(), "ok"), d), 0);
        EXPECT_EQ(json_serialized_size(t.v), 0u);
        EXPECT_EQ(json_serialize_to_string_indented(t.v), nullptr);
        char buffer[64] = "untouched";
        EXPECT_EQ(json_serialize_to_buffer(t.v, buffer, sizeof buffer), -1);
        EXPECT_STREQ(buffer, "untouched");
    }
}

TEST(JsonWriter, EscapesStrings) {
    Tree t(json_value_new_array());
    json_array_append_string(t.array(), "a/b");
    json_array_append_string(t.array(), "\x1F\x1B\x7F");
    json_array_append_string(t.array(), "\xC3\xA9 \"q\" \\ \t\n");
    EXPECT_EQ(compact(t.v), "[\"a\\/b\",\"\\u001f\\u001b\x7F\",\"\xC3\xA9 \\\"q\\\" \\\\ \\t\\n\"]");
}

TEST(JsonWriter, WritesBothForms) {
    Tree t("{\"a\":1,\"b\":[true,null],\"e\":[],\"o\":{}}");
    EXPECT_EQ(compact(t.v), "{\"a\":1,\"b\":[true,null],\"e\":[],\"o\":{}}");
    EXPECT_EQ(indented(t.v), "{\n"
                             "    \"a\": 1,\n"
                             "    \"b\": [\n"
                             "        true,\n"
                             "        null\n"
                             "    ],\n"
                             "    \"e\": [],\n"
                             "    \"o\": {}\n"
                             "}");
    Tree empty_object("{}"), empty_array("[]");
    EXPECT_EQ(indented(empty_object.v), "{}");
    EXPECT_EQ(compact(empty_array.v), "[]");
}

TEST(JsonWriter, SizesBuffersAndFiles) {
    Tree null_value(json_value_new_null());
    EXPECT_EQ(json_serialized_size(null_value.v), 5u);
    char buffer[5];
    EXPECT_EQ(json_serialize_to_buffer(null_value.v, buffer, 4), -1);
    EXPECT_EQ(json_serialize_to_buffer(null_value.v, buffer, 5), 0);
    EXPECT_STREQ(buffer, "null");
    EXPECT_EQ(json_serialized_size(nullptr), 0u);

    Tree t("{\"k\":[1,\"two\"]}");
    EXPECT_EQ(json_serialized_size_indented(t.v), indented(t.v).size() + 1);
    std::string path = ::testing::TempDir() + "json_writer_file.json";
    ASSERT_EQ(json_serialize_to_file_indented(t.v, path.c_str()), 0);
    Tree back(json_parse_file(path.c_str()));
    EXPECT_EQ(json_value_equal(t.v, back.v), 1);
    remove(path.c_str());
    EXPECT_EQ(json_serialize_to_file(t.v, "/nonexistent/dir/x.json"), -1);
}

TEST(JsonWriter, EditsObjects) {
    Tree t("{\"a\":1,\"b\":2,\"c\":3}");
    json_object *o = t.object();
    EXPECT_EQ(json_object_set_string(o, "b", "two"), 0);
    EXPECT_EQ(compact(t.v), "{\"a\":1,\"b\":\"two\",\"c\":3}");  // keeps its place
    EXPECT_EQ(json_object_remove(o, "a"), 0);
    EXPECT_EQ(compact(t.v), "{\"c\":3,\"b\":\"two\"}");  // the last member fills the hole
    EXPECT_EQ(json_object_remove(o, "a"), -1);
    EXPECT_EQ(json_object_set_string(o, "bad", "\xC0\x80"), -1);
    EXPECT_EQ(json_object_set_null(o, "z"), 0);
    EXPECT_EQ(json_object_set_boolean(o, "t", 7), 0);
    EXPECT_EQ(json_object_get_boolean(o, "t"), 1);

    Tree other("{\"x\":[1]}");
    json_value *taken = json_object_get_value(other.object(), "x");
    EXPECT_EQ(json_object_set_value(o, "x", taken), -1);  // still held elsewhere
    EXPECT_EQ(json_value_get_parent(taken), other.v);

    EXPECT_EQ(json_object_clear(o), 0);
    EXPECT_EQ(json_object_get_count(o), 0u);
    EXPECT_EQ(json_object_set_number(nullptr, "a", 1), -1);
}

TEST(JsonWriter, EditsByPath) {
    Tree t(json_value_new_object());
    EXPECT_EQ(json_object_set_number_by_path(t.object(), "a.b.c", 5), 0);
    EXPECT_EQ(compact(t.v), "{\"a\":{\"b\":{\"c\":5}}}");
    EXPECT_EQ(json_object_set_string_by_path(t.object(), "a.b.d", "x"), 0);
    EXPECT_EQ(json_object_remove_by_path(t.object(), "a.b.c"), 0);
    EXPECT_EQ(json_object_remove_by_path(t.object(), "a.q.c"), -1);
    EXPECT_EQ(compact(t.v), "{\"a\":{\"b\":{\"d\":\"x\"}}}");

    Tree s("{\"a\":\"text\"}");
    EXPECT_EQ(json_object_set_number_by_path(s.object(), "a.b.c", 1), -1);
    EXPECT_EQ(compact(s.v), "{\"a\":\"text\"}");
}

TEST(JsonWriter, RefusesToStoreAValueInsideItself) {
    Tree t("{\"child\":{\"list\":[]}}");
    json_object *child = json_object_get_object(t.object(), "child");
    json_array *list = json_object_get_array(child, "list");
    EXPECT_EQ(json_object_set_value(t.object(), "self", t.v), -1);
    EXPECT_EQ(json_object_set_value(child, "root", t.v), -1);
    EXPECT_EQ(json_array_append_value(list, t.v), -1);
    EXPECT_EQ(json_object_set_value_by_path(child, "deeper.root", t.v), -1);
    ASSERT_EQ(json_array_append_number(list, 1), 0);
    EXPECT_EQ(json_array_replace_value(list, 0, t.v), -1);
    EXPECT_EQ(json_value_get_parent(t.v), nullptr);
    // The tree still serialises (no cycle was made).
    EXPECT_EQ(compact(t.v), "{\"child\":{\"list\":[1],\"deeper\":{}}}");
}

TEST(JsonWriter, EditsArrays) {
    Tree t("[1,2,3]");
    json_array *a = t.array();
    EXPECT_EQ(json_array_remove(a, 0), 0);
    EXPECT_EQ(compact(t.v), "[3,2]");
    EXPECT_EQ(json_array_replace_boolean(a, 1, 0), 0);
    EXPECT_EQ(json_array_replace_null(a, 2), -1);
    EXPECT_EQ(json_array_append_string(a, "\xED\xA0\x80"), -1);
    EXPECT_EQ(json_array_append_null(a), 0);
    EXPECT_EQ(compact(t.v), "[3,false,null]");
    EXPECT_EQ(json_array_clear(a), 0);
    EXPECT_EQ(json_array_get_count(a), 0u);
}

TEST(JsonWriter, GrowsFromTrimmedSizes) {
    auto object_of = [](int n) {
        std::string text = "{";
        for (int i = 0; i < n; i++)
            text += (i ? ",\"" : "\"") + std::to_string(i) + "\":0";
        return text + "}";
    };
    Tree five_hundred(object_of(500).c_str());
    EXPECT_EQ(json_object_set_null(json_value_get_object(five_hundred.v), "new"), -1);
    Tree four_eighty(object_of(480).c_str());
    EXPECT_EQ(json_object_set_null(json_value_get_object(four_eighty.v), "new"), 0);
    EXPECT_EQ(json_value_get_object(four_eighty.v)->capacity, 960u);
}

TEST(JsonWriter, CopiesComparesAndMatches) {
    Tree t("{\"a\":[1,\"x\",{\"b\":null}],\"c\":true}");
    Tree copy(json_value_copy(t.v));
    EXPECT_EQ(json_value_equal(t.v, copy.v), 1);
    EXPECT_EQ(json_value_get_parent(json_object_get_value(copy.object(), "a")), copy.v);
    EXPECT_EQ(json_value_get_parent(copy.v), nullptr);

    struct Case {
        const char *a, *b;
        int equal;
    } cases[] = {
        {"1", "1.0000001", 1},
        {"1", "1.00001", 0},
        {"{\"a\":1,\"b\":2}", "{\"b\":2,\"a\":1}", 1},
        {"[1,2]", "[2,1]", 0},
        {"{\"a\":1}", "{\"b\":1}", 0},
        {"null", "null", 1},
        {"\"x\"", "\"y\"", 0},
        {"true", "1", 0},
    };
    for (const Case &c : cases) {
        Tree a(c.a), b(c.b);
        EXPECT_EQ(json_value_equal(a.v, b.v), c.equal) << c.a << " vs " << c.b;
    }
    EXPECT_EQ(json_value_equal(nullptr, nullptr), 1);

    struct SchemaCase {
        const char *schema, *value;
        int result;
    } schemas[] = {
        {"{}", "{\"any\":1}", 0},
        {"null", "3", 0},
        {"[\"s\"]", "[\"a\",\"b\"]", 0},
        {"[\"s\"]", "[\"a\",2]", -1},
        {"{\"n\":0,\"o\":{\"s\":\"\"}}", "{\"n\":5,\"o\":{\"s\":\"x\",\"extra\":1}}", 0},
        {"{\"n\":0}", "{\"m\":5}", -1},
        {"{\"n\":0}", "{\"n\":\"5\"}", -1},
        {"1", "\"1\"", -1},
    };
    for (const SchemaCase &c : schemas) {
        Tree s(c.schema), v(c.value);
        EXPECT_EQ(json_value_matches_schema(s.v, v.v), c.result) << c.schema << " ~ " << c.value;
    }
    EXPECT_EQ(json_value_matches_schema(nullptr, t.v), -1);
}

TEST(JsonWriter, HandlesTreesDeeperThanTheReaderAccepts) {
    json_value *root = json_value_new_array();
    for (int i = 0; i < 100000; i++) {
        json_value *outer = json_value_new_array();
        ASSERT_EQ(json_array_append_value(json_value_get_array(outer), root), 0);
        root = outer;
    }
    EXPECT_EQ(json_serialized_size(root), 0u);
    EXPECT_EQ(json_value_copy(root), nullptr);
    json_value_free(root);  // released without recursion
}

TEST(JsonWriter, RoundTripsParsedText) {
    const char *text = "{\"name\":\"\\u00e9t\\u00e9 \\ud83d\\ude00\",\"n\":[0,-7,2.5,1e300],"
                       "\"nested\":{\"deep\":[[[]]],\"t\":false}}";
    Tree t(text);
    Tree again(json_parse_string(compact(t.v).c_str()));
    Tree again_indented(json_parse_string(indented(t.v).c_str()));
    EXPECT_EQ(json_value_equal(t.v, again.v), 1);
    EXPECT_EQ(json_value_equal(t.v, again_indented.v), 1);
}

}  // namespace
