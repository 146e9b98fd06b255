// What platform::WebView works out without a page: script literals and the
// length of the data: URL that decides how a page is loaded.
#include "platform/web/web_view.h"

#include <gtest/gtest.h>

TEST(WebViewText, WritesStringLiteralsThatReadBackExactly) {
    using platform::WebView;
    EXPECT_EQ(WebView::stringLiteral(u""), "\"\"");
    EXPECT_EQ(WebView::stringLiteral(u"a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(WebView::stringLiteral(u"1\n2\r3\t4"), "\"1\\n2\\r3\\t4\"");
    EXPECT_EQ(WebView::stringLiteral(QString(QChar(0x2028)) + QChar(0x2029) + QChar(0x01) + QChar(0x7F)),
              QString("\"\\u2028\\u2029\\u0001") + QChar(0x7F) + "\"");
    // "</" never ends a script element that holds the literal; other
    // slashes stay.
    EXPECT_EQ(WebView::stringLiteral(u"</script> a/b"), "\"<\\/script> a/b\"");
    // Text outside the Basic Multilingual Plane passes as it is.
    EXPECT_EQ(WebView::stringLiteral(QString::fromUtf8("\xF0\x9F\x98\x80")), QString::fromUtf8("\"\xF0\x9F\x98\x80\""));
}

TEST(WebViewText, MeasuresTheDataUrlAPageWouldNeed) {
    using platform::WebView;
    const qsizetype prefix = qsizetype(sizeof("data:text/html;charset=UTF-8,") - 1);
    EXPECT_EQ(WebView::dataUrlLength(""), prefix);
    EXPECT_EQ(WebView::dataUrlLength("az-._~09"), prefix + 8);
    EXPECT_EQ(WebView::dataUrlLength("< >"), prefix + 9);
    EXPECT_EQ(WebView::dataUrlLength(QString::fromUtf8("\xC3\xA9")), prefix + 6);  // two bytes of UTF-8
}
