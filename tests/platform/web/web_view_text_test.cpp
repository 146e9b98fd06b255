// What platform::WebView works out without a page: script literals, the
// length of the data: URL that decides how a page is loaded, and which links
// a page's HTML writes.
#include "platform/web/html_tags.h"
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

// A link counts as the page's own when an a or area element of its HTML has
// that href, as the page reads the attribute; a tag in a comment, a script,
// a style or a text area is no link, nor is another attribute or element.
TEST(WebViewText, FindsTheLinksAPagesHtmlWrites) {
    using platform::htmlHasLink;
    const QString html = QStringLiteral(
        "<p>See <a href=\"https://example.com/a?x=1&amp;y=2\">a</a>, <A title='x>y' HREF='../up.md'>up</A>,"
        " <a class=x href=plain.md>plain</a>, <a href = \"&#104;ex&#x2E;md\">hex</a>,"
        " <a href=\"two\" href=\"second\">first wins</a>.</p>"
        "<map><area shape=rect coords=0,0,1,1 href=\"area.md\"></map>"
        "<!-- <a href=\"https://example.com/commented\"> -->"
        "<script>var s = '<a href=\"https://example.com/scripted\">';</script>"
        "<style>/* <a href=\"https://example.com/styled\"> */</style>"
        "<textarea><a href=\"https://example.com/typed\"></textarea>"
        "<img src=\"pic.png\"><link href=\"look.css\"><abbr href=\"abbr.md\">x</abbr>"
        "<a data-href=\"data.md\" href=\"\">empty</a><a name=\"anchor\">no href</a>"
        "<a href=\"line\r\nend\">line</a><a href=\"a&copy=1&amp\">legacy</a>");
    for (const QString written : {"https://example.com/a?x=1&y=2", "../up.md", "plain.md", "hex.md", "two", "area.md",
                                  "", "line\nend", "a&copy=1&"})
        EXPECT_TRUE(htmlHasLink(html, written)) << written.toStdString();
    for (const QString other :
         {"https://example.com/a?x=1&amp;y=2", "second", "https://example.com/commented",
          "https://example.com/scripted", "https://example.com/styled", "https://example.com/typed", "pic.png",
          "look.css", "abbr.md", "data.md", "anchor", "https://example.com/a", "PLAIN.md"})
        EXPECT_FALSE(htmlHasLink(html, other)) << other.toStdString();
    // Text that ends inside a tag, a comment or a script holds what came
    // before, and nothing more.
    EXPECT_TRUE(htmlHasLink(u"<a href=\"x\">x</a><a href=\"y", u"x"));
    EXPECT_FALSE(htmlHasLink(u"<a href=\"x\">x</a><a href=\"y", u"y"));
    EXPECT_FALSE(htmlHasLink(u"<!-- <a href=\"x\">", u"x"));
    EXPECT_FALSE(htmlHasLink(u"<script><a href=\"x\">", u"x"));
    EXPECT_FALSE(htmlHasLink(u"", u""));
}
