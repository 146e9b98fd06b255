// The preferences file format: kinds survive the round trip, keys stay flat,
// and malformed text is refused with a reason instead of half-read.
#include <gtest/gtest.h>

#include <QPoint>
#include <QVariant>

#include "platform/prefs/settings_json.h"
#include "support/qt_print.h"

namespace json = platform::settings_json;

namespace {

QVariantMap parsed(const QByteArray &text) {
    QVariantMap values;
    QString error;
    EXPECT_TRUE(json::parse(text, &values, &error)) << text.constData() << ": " << error.toStdString();
    return values;
}

}  // namespace

TEST(SettingsJson, EveryKindSurvivesTheRoundTrip) {
    const QVariantMap values{
        {"bool", true},
        {"int", 5000},
        {"integer", QVariant::fromValue<qlonglong>(-9007199254740993LL)},
        {"real whole", 1.0},
        {"real", 0.62},
        {"float", 0.1f},
        {"tiny", 1e-300},
        {"string", QStringLiteral("tab\t quote\" back\\ nl\n ctl\x01 é 😀")},
        {"empty", QString("")},
        {"list", QVariantList{1, "two", false, QVariantList{}, QVariantMap{}}},
        {"map", QVariantMap{{"a", 1.5}, {"b", QVariantList{"x"}}}},
        {"data", QByteArray("\x00\xff\x10 bytes", 10)},
    };
    const QByteArray text = json::write(values);
    const QVariantMap back = parsed(text);
    ASSERT_EQ(back.keys(), values.keys());
    EXPECT_EQ(back["bool"].typeId(), QMetaType::Bool);
    EXPECT_EQ(back["int"].typeId(), QMetaType::LongLong);
    EXPECT_EQ(back["int"].toLongLong(), 5000);
    EXPECT_EQ(back["integer"].toLongLong(), -9007199254740993LL);  // beyond a double's precision
    EXPECT_EQ(back["real whole"].typeId(), QMetaType::Double);     // 1.0 stays a real
    EXPECT_EQ(back["real"].toDouble(), 0.62);
    EXPECT_EQ(back["float"].toFloat(), 0.1f);
    EXPECT_TRUE(text.contains("\"float\": 0.1,"));  // a float is written as a float, not 0.10000000149
    EXPECT_EQ(back["tiny"].toDouble(), 1e-300);
    EXPECT_EQ(back["string"].toString(), values["string"].toString());
    EXPECT_EQ(back["empty"].typeId(), QMetaType::QString);
    EXPECT_EQ(back["list"], values["list"]);
    EXPECT_EQ(back["map"], values["map"]);
    EXPECT_EQ(back["data"].typeId(), QMetaType::QByteArray);
    EXPECT_EQ(back["data"].toByteArray(), values["data"].toByteArray());
}

TEST(SettingsJson, ReadsWhatOthersWriteAndKeepsKeysAsTheyAre) {
    const QVariantMap values = parsed(
        " {\"Selection /home/ann//notes/\": \"{1, 2}\", \"a\\\\b\": 1, \"a\": 1, \"a\": 2,"
        " \"surrogates\": \"\\ud83d\\ude00 \\ud800x\", \"unset\": null, \"exp\": 2E+2, \"neg\": -0.5,"
        " \"huge\": 123456789012345678901234567890, \"@data\": \"not bytes at the top\"}\n");
    EXPECT_EQ(values["Selection /home/ann//notes/"].toString(), "{1, 2}");
    EXPECT_EQ(values["a\\b"].toInt(), 1);
    EXPECT_EQ(values["a"].toInt(), 2);  // the last of a repeated key holds
    EXPECT_EQ(values["surrogates"].toString(), QString::fromUtf8("😀 \xEF\xBF\xBDx"));
    EXPECT_FALSE(values.contains("unset"));
    EXPECT_EQ(values["exp"].typeId(), QMetaType::Double);
    EXPECT_EQ(values["exp"].toDouble(), 200.0);
    EXPECT_EQ(values["neg"].toDouble(), -0.5);
    EXPECT_EQ(values["huge"].typeId(), QMetaType::Double);
    EXPECT_EQ(values["@data"].toString(), "not bytes at the top");
    EXPECT_TRUE(parsed("").isEmpty());
    EXPECT_TRUE(parsed(" \n ").isEmpty());
    EXPECT_TRUE(parsed("{}").isEmpty());
    EXPECT_EQ(parsed("\xEF\xBB\xBF{\"bom\": true}")["bom"], true);

    for (const QString &key : {QStringLiteral("Selection /a//b/"), QStringLiteral("x\\y%2F/"),
                              QStringLiteral("%"), QStringLiteral("/")}) {
        EXPECT_FALSE(json::encodeKey(key).contains(u'/'));
        EXPECT_FALSE(json::encodeKey(key).contains(u'\\'));
        EXPECT_EQ(json::decodeKey(json::encodeKey(key)), key);
    }
}

TEST(SettingsJson, MalformedTextIsRefusedWithAReason) {
    const QByteArray bad[] = {
        "[1, 2]",           "\"just a string\"", "{\"a\": 1",    "{\"a\": 1} x",  "{\"a\" 1}",
        "{a: 1}",           "{\"a\": 01}",       "{\"a\": 1.}",  "{\"a\": .5}",   "{\"a\": -}",
        "{\"a\": tru}",     "{\"a\": \"\\x\"}",  "{\"a\": \"\\u12\"}", "{\"a\": \"line\nbreak\"}",
        "{\"a\": [1,]}",    "{\"a\": \"open}",
        QByteArray(100000, '[').prepend("{\"deep\": "),
    };
    for (const QByteArray &text : bad) {
        QVariantMap values{{"left", "over"}};
        QString error;
        EXPECT_FALSE(json::parse(text, &values, &error)) << text.left(40).constData();
        EXPECT_TRUE(values.isEmpty());
        EXPECT_TRUE(error.contains("at byte")) << error.toStdString();
    }
}

TEST(SettingsJson, OnlyKindsThatCanBeWrittenAreStorable) {
    EXPECT_TRUE(json::isStorable(QVariantList{1, QVariantMap{{"k", QStringList{"s"}}}}));
    EXPECT_FALSE(json::isStorable(QVariant()));
    EXPECT_FALSE(json::isStorable(QVariant::fromValue(QPoint(1, 2))));
    EXPECT_FALSE(json::isStorable(QVariantList{1, QVariant::fromValue(QPoint(1, 2))}));
}
