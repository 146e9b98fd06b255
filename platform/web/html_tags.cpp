#include "platform/web/html_tags.h"

#include <QString>

#include <initializer_list>
#include <optional>

namespace platform {

namespace {

bool isOneOf(QStringView name, std::initializer_list<const char16_t *> names) {
    for (const char16_t *candidate : names)
        if (name.compare(QStringView(candidate), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool isHtmlSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }

bool isAsciiAlphanumeric(QChar c) { return isAsciiLetter(c) || (c >= u'0' && c <= u'9'); }

// The character reference at `at` (just past its "&") decoded into `out`;
// returns where the text goes on, or `at` when there is none to decode.
// Numeric references and the few names HTML writers use; any other name is
// left as it is written.
qsizetype decodeReference(QStringView value, qsizetype at, QString &out) {
    if (at < value.size() && value[at] == u'#') {
        qsizetype i = at + 1;
        const bool hex = i < value.size() && (value[i] == u'x' || value[i] == u'X');
        if (hex)
            i++;
        const qsizetype digits = i;
        char32_t code = 0;
        for (; i < value.size(); i++) {
            const char16_t c = value[i].unicode();
            int digit = -1;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (hex && c >= u'a' && c <= u'f')
                digit = c - u'a' + 10;
            else if (hex && c >= u'A' && c <= u'F')
                digit = c - u'A' + 10;
            if (digit < 0)
                break;
            code = code > 0x10FFFF ? code : code * (hex ? 16 : 10) + char32_t(digit);
        }
        if (i == digits)
            return at;
        if (i < value.size() && value[i] == u';')
            i++;
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            code = 0xFFFD;
        out += QString::fromUcs4(&code, 1);
        return i;
    }
    static const struct {
        QStringView name;
        char16_t character;
    } names[] = {{u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"apos", u'\''}, {u"nbsp", u'\u00A0'}};
    for (const auto &entry : names) {
        if (value.mid(at, entry.name.size()) != entry.name)
            continue;
        const qsizetype after = at + entry.name.size();
        if (after < value.size() && value[after] == u';') {
            out += QChar(entry.character);
            return after + 1;
        }
        // Without its ";" a name counts in an attribute only when no letter,
        // digit or "=" follows (and "&apos" never).
        if (entry.name != u"apos" &&
            (after == value.size() || (!isAsciiAlphanumeric(value[after]) && value[after] != u'='))) {
            out += QChar(entry.character);
            return after;
        }
    }
    return at;
}

QString attributeValue(QStringView value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size();) {
        const QChar c = value[i];
        if (c == u'&') {
            const qsizetype next = decodeReference(value, i + 1, out);
            if (next != i + 1) {
                i = next;
                continue;
            }
        } else if (c == u'\r') {
            out += u'\n';
            i += (i + 1 < value.size() && value[i + 1] == u'\n') ? 2 : 1;
            continue;
        }
        out += c;
        i++;
    }
    return out;
}

// Reads the attributes of a start tag from `at` (just past its name) up to
// its ">"; returns just past that, or -1 when the text ends first (a tag the
// page drops), and gives the first href attribute's value as written, if any.
qsizetype readAttributes(QStringView s, qsizetype at, std::optional<QStringView> &href) {
    qsizetype i = at;
    for (;;) {
        while (i < s.size() && (isHtmlSpace(s[i]) || s[i] == u'/'))
            i++;
        if (i >= s.size())
            return -1;
        if (s[i] == u'>')
            return i + 1;
        const qsizetype nameStart = i;
        i++;  // a name's first character may be anything, "=" included
        while (i < s.size() && !isHtmlSpace(s[i]) && s[i] != u'/' && s[i] != u'>' && s[i] != u'=')
            i++;
        const QStringView name = s.mid(nameStart, i - nameStart);
        qsizetype after = i;
        while (after < s.size() && isHtmlSpace(s[after]))
            after++;
        QStringView value;
        if (after < s.size() && s[after] == u'=') {
            i = after + 1;
            while (i < s.size() && isHtmlSpace(s[i]))
                i++;
            if (i < s.size() && (s[i] == u'"' || s[i] == u'\'')) {
                const qsizetype close = s.indexOf(s[i], i + 1);
                const qsizetype end = close < 0 ? s.size() : close;
                value = s.mid(i + 1, end - i - 1);
                i = close < 0 ? s.size() : close + 1;
            } else {
                const qsizetype start = i;
                while (i < s.size() && !isHtmlSpace(s[i]) && s[i] != u'>')
                    i++;
                value = s.mid(start, i - start);
            }
        }
        if (!href && name.compare(u"href", Qt::CaseInsensitive) == 0)
            href = value;
    }
}

}  // namespace

qsizetype htmlNameEnd(QStringView html, qsizetype at) {
    while (at < html.size()) {
        const QChar c = html[at];
        if (!isAsciiLetter(c) && !(c >= u'0' && c <= u'9') && c != u'-' && c != u':' && c != u'_')
            break;
        at++;
    }
    return at;
}

bool isVoidElement(QStringView name) {
    return isOneOf(name, {u"area", u"base", u"br", u"col", u"embed", u"hr", u"img", u"input", u"keygen", u"link",
                          u"meta", u"param", u"source", u"track", u"wbr"});
}

bool isRawTextElement(QStringView name) {
    return isOneOf(
        name, {u"script", u"style", u"textarea", u"title", u"xmp", u"iframe", u"noembed", u"noframes", u"noscript"});
}

qsizetype rawTextEnd(QStringView html, QStringView name, qsizetype from) {
    qsizetype close = from;
    while ((close = html.indexOf(u"</", close)) >= 0 &&
           html.mid(close + 2, name.size()).compare(name, Qt::CaseInsensitive) != 0)
        close += 2;
    if (close < 0)
        return html.size();
    const qsizetype end = htmlTagEnd(html, close + 2);
    return end < 0 ? html.size() : end;
}

bool htmlHasLink(QStringView s, QStringView href) {
    qsizetype i = 0;
    while (i < s.size()) {
        const qsizetype at = s.indexOf(u'<', i);
        if (at < 0 || at + 1 >= s.size())
            return false;
        const QChar next = s[at + 1];
        if (s.mid(at + 1, 3) == u"!--") {
            const qsizetype end = s.indexOf(u"-->", at + 4);
            i = end < 0 ? s.size() : end + 3;
        } else if (next == u'!' || next == u'?' || next == u'/') {
            const qsizetype end = htmlTagEnd(s, at + 2);
            i = end < 0 ? s.size() : end;
        } else if (isAsciiLetter(next)) {
            qsizetype end = at + 1;
            while (end < s.size() && !isHtmlSpace(s[end]) && s[end] != u'/' && s[end] != u'>')
                end++;
            const QStringView name = s.mid(at + 1, end - at - 1);
            std::optional<QStringView> value;
            i = readAttributes(s, end, value);
            if (i < 0)
                return false;
            if (value && isOneOf(name, {u"a", u"area"})) {
                const bool plain = !value->contains(u'&') && !value->contains(u'\r');
                if (plain ? *value == href : attributeValue(*value) == href)
                    return true;
            }
            if (isRawTextElement(name))
                i = rawTextEnd(s, name, i);
        } else {
            i = at + 1;  // a "<" that starts no tag is text
        }
    }
    return false;
}

}  // namespace platform
