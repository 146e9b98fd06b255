#pragma once
// Small readings of HTML text shared by the web view and the pages that fill
// it. Pure functions over the text; any thread.

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

}  // namespace platform
