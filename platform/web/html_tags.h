#pragma once
// Small readings and writings of HTML text shared by the web view and the
// pages that fill it. Pure functions over the text; any thread.

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace platform {

// Just past the ">" that ends the tag whose name ends before `at`, or -1 when
// the text ends first. A ">" inside a quoted attribute value does not end it.
inline qsizetype htmlTagEnd(QStringView html, qsizetype at) {
    QChar quote;
    for (qsizetype i = at; i < html.size(); i++) {
        const QChar c = html[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'>') {
            return i + 1;
        }
    }
    return -1;
}

inline bool isAsciiLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

// Where the name of a tag that begins at `at` ends (letters, digits, "-",
// ":" and "_").
qsizetype htmlNameEnd(QStringView html, qsizetype at);

// Whether the elements named `name` have no content and no end tag.
bool isVoidElement(QStringView name);

// Whether the elements named `name` hold text up to their own end tag, in
// which no element begins (script, style, textarea, ...).
bool isRawTextElement(QStringView name);

// Just past the end tag of the raw-text element `name` whose text begins at
// `from`; the end of `html` when it is never closed.
qsizetype rawTextEnd(QStringView html, QStringView name, qsizetype from);

// Whether `html` holds a link (an a or area element) whose href attribute is
// `href` as a page reads it: its character references decoded, line ends as
// line feeds. What stands in a comment or in the text of a raw-text element
// is no element.
bool htmlHasLink(QStringView html, QStringView href);

// A style sheet's text as it may stand inside a <style> element: each "</"
// written "<\/", which could close no element, and which CSS reads as the
// same two characters (a backslash before a character that is neither a
// hexadecimal digit nor a line end stands for that character; inside a
// comment the backslash is as unread as the rest).
inline QString styleElementText(QString css) { return css.replace(QLatin1String("</"), QLatin1String("<\\/")); }
inline QByteArray styleElementText(QByteArray css) { return css.replace("</", "<\\/"); }

}  // namespace platform
