#include "platform/prefs/settings_json.h"

#include <QIODevice>

#include <charconv>
#include <cmath>
#include <mutex>

#include "textengine/settings/hex_digit.h"

namespace platform::settings_json {

namespace {

constexpr int kMaxDepth = 256;
const QString kDataKey = QStringLiteral("@data");

// --- Reading ------------------------------------------------------------------

class Reader {
public:
    explicit Reader(const QByteArray &text)
        : m_start(text.constData()), m_p(m_start), m_end(m_start + text.size()) {}

    bool document(QVariantMap *out) {
        if (m_end - m_p >= 3 && memcmp(m_p, "\xEF\xBB\xBF", 3) == 0)
            m_p += 3;  // a byte-order mark that an editor may have added
        skipSpace();
        if (m_p == m_end)
            return true;  // an empty file holds no preferences
        if (*m_p != '{')
            return fail("the file does not hold a JSON object");
        QVariantMap map;
        if (!object(&map, 0))
            return false;
        skipSpace();
        if (m_p != m_end)
            return fail("text after the object");
        // A null at the top means "not set".
        for (auto it = map.begin(); it != map.end();) {
            if (it->isNull())
                it = map.erase(it);
            else
                ++it;
        }
        *out = std::move(map);
        return true;
    }

    QString error() const { return m_error; }

private:
    bool fail(const char *what) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("%1 at byte %2").arg(QLatin1String(what)).arg(m_p - m_start);
        return false;
    }

    void skipSpace() {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            m_p++;
    }

    bool literal(const char *word) {
        size_t n = strlen(word);
        if (size_t(m_end - m_p) < n || memcmp(m_p, word, n) != 0)
            return fail("unknown word");
        m_p += n;
        return true;
    }

    bool value(QVariant *out, int depth) {
        if (depth > kMaxDepth)
            return fail("values nested too deeply");
        skipSpace();
        if (m_p == m_end)
            return fail("unexpected end");
        switch (*m_p) {
        case '{': {
            QVariantMap map;
            if (!object(&map, depth))
                return false;
            // A byte array is written as the one-member object {"@data": base64}.
            if (map.size() == 1 && map.firstKey() == kDataKey && map.first().typeId() == QMetaType::QString) {
                auto decoded = QByteArray::fromBase64Encoding(map.first().toString().toLatin1(),
                                                              QByteArray::AbortOnBase64DecodingErrors);
                if (decoded) {
                    *out = *decoded;
                    return true;
                }
            }
            *out = map;
            return true;
        }
        case '[': {
            QVariantList list;
            if (!array(&list, depth))
                return false;
            *out = list;
            return true;
        }
        case '"': {
            QString text;
            if (!string(&text))
                return false;
            *out = text;
            return true;
        }
        case 't':
            *out = true;
            return literal("true");
        case 'f':
            *out = false;
            return literal("false");
        case 'n':
            *out = QVariant();
            return literal("null");
        default:
            return number(out);
        }
    }

    bool object(QVariantMap *out, int depth) {
        m_p++;  // {
        skipSpace();
        if (m_p < m_end && *m_p == '}') {
            m_p++;
            return true;
        }
        for (;;) {
            skipSpace();
            if (m_p == m_end || *m_p != '"')
                return fail("expected a quoted key");
            QString key;
            if (!string(&key))
                return false;
            skipSpace();
            if (m_p == m_end || *m_p != ':')
                return fail("expected ':'");
            m_p++;
            QVariant item;
            if (!value(&item, depth + 1))
                return false;
            out->insert(key, item);  // a repeated key: the last one holds
            skipSpace();
            if (m_p < m_end && *m_p == ',') {
                m_p++;
                continue;
            }
            if (m_p < m_end && *m_p == '}') {
                m_p++;
                return true;
            }
            return fail("expected ',' or '}'");
        }
    }

    bool array(QVariantList *out, int depth) {
        m_p++;  // [
        skipSpace();
        if (m_p < m_end && *m_p == ']') {
            m_p++;
            return true;
        }
        for (;;) {
            QVariant item;
            if (!value(&item, depth + 1))
                return false;
            out->append(item);
            skipSpace();
            if (m_p < m_end && *m_p == ',') {
                m_p++;
                continue;
            }
            if (m_p < m_end && *m_p == ']') {
                m_p++;
                return true;
            }
            return fail("expected ',' or ']'");
        }
    }

    int hex4() {
        if (m_end - m_p < 4)
            return -1;
        int code = 0;
        for (int i = 0; i < 4; i++) {
            const int digit = hex_digit_value(m_p[i]);
            if (digit < 0)
                return -1;
            code = code * 16 + digit;
        }
        m_p += 4;
        return code;
    }

    // The bytes between escapes are kept as they are and decoded as UTF-8 at
    // the end; an escaped code point is appended as UTF-8.
    bool string(QString *out) {
        m_p++;  // "
        QByteArray bytes;
        for (;;) {
            if (m_p == m_end)
                return fail("unterminated string");
            unsigned char c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                m_p++;
                break;
            }
            if (c < 0x20)
                return fail("control character in a string");
            if (c != '\\') {
                bytes.append(char(c));
                m_p++;
                continue;
            }
            m_p++;
            if (m_p == m_end)
                return fail("unterminated string");
            char e = *m_p++;
            switch (e) {
            case '"': bytes.append('"'); break;
            case '\\': bytes.append('\\'); break;
            case '/': bytes.append('/'); break;
            case 'b': bytes.append('\b'); break;
            case 'f': bytes.append('\f'); break;
            case 'n': bytes.append('\n'); break;
            case 'r': bytes.append('\r'); break;
            case 't': bytes.append('\t'); break;
            case 'u': {
                int code = hex4();
                if (code < 0)
                    return fail("bad \\u escape");
                char32_t point = char32_t(code);
                if (code >= 0xD800 && code <= 0xDBFF && m_end - m_p >= 6 && m_p[0] == '\\' &&
                    m_p[1] == 'u') {
                    const char *mark = m_p;
                    m_p += 2;
                    int low = hex4();
                    if (low >= 0xDC00 && low <= 0xDFFF)
                        point = 0x10000 + ((char32_t(code) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
                    else
                        m_p = mark;
                }
                if (point >= 0xD800 && point <= 0xDFFF)
                    point = 0xFFFD;  // a lone surrogate
                bytes.append(QString::fromUcs4(&point, 1).toUtf8());
                break;
            }
            default:
                return fail("bad escape");
            }
        }
        *out = QString::fromUtf8(bytes);
        return true;
    }

    bool number(QVariant *out) {
        const char *begin = m_p;
        if (m_p < m_end && *m_p == '-')
            m_p++;
        auto digits = [this] {
            const char *from = m_p;
            while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
                m_p++;
            return m_p - from;
        };
        const char *intStart = m_p;
        if (digits() == 0)
            return fail("unexpected character");
        if (*intStart == '0' && m_p - intStart > 1)
            return fail("leading zero in a number");
        bool real = false;
        if (m_p < m_end && *m_p == '.') {
            m_p++;
            real = true;
            if (digits() == 0)
                return fail("digits expected after '.'");
        }
        if (m_p < m_end && (*m_p == 'e' || *m_p == 'E')) {
            m_p++;
            real = true;
            if (m_p < m_end && (*m_p == '+' || *m_p == '-'))
                m_p++;
            if (digits() == 0)
                return fail("digits expected in the exponent");
        }
        if (!real) {
            qint64 whole = 0;
            auto [end, ec] = std::from_chars(begin, m_p, whole);
            if (ec == std::errc() && end == m_p) {
                *out = QVariant::fromValue<qlonglong>(whole);
                return true;
            }
            // Too large for 64 bits: keep it as a real.
        }
        double d = 0;
        auto [end, ec] = std::from_chars(begin, m_p, d);
        if (end != m_p || (ec != std::errc() && ec != std::errc::result_out_of_range))
            return fail("bad number");
        *out = d;
        return true;
    }

    const char *m_start;
    const char *m_p;
    const char *m_end;
    QString m_error;
};

// --- Writing ------------------------------------------------------------------

void writeString(QByteArray &out, const QString &text) {
    out.append('"');
    const QByteArray bytes = text.toUtf8();
    for (char c : bytes) {
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
                out.append(escape);
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
}

template <typename Real>
void writeReal(QByteArray &out, Real value) {
    if (!std::isfinite(value)) {
        out.append("null");  // JSON has no infinities; the key reads as unset
        return;
    }
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    QByteArray digits(text, ec == std::errc() ? end - text : 0);
    if (!digits.contains('.') && !digits.contains('e'))
        digits.append(".0");
    out.append(digits);
}

void writeValue(QByteArray &out, const QVariant &value, int indent);

void writeMap(QByteArray &out, const QVariantMap &map, int indent) {
    if (map.isEmpty()) {
        out.append("{}");
        return;
    }
    const QByteArray pad(indent + 4, ' ');
    out.append("{\n");
    for (auto it = map.begin(); it != map.end(); ++it) {
        out.append(pad);
        writeString(out, it.key());
        out.append(": ");
        writeValue(out, it.value(), indent + 4);
        out.append(std::next(it) == map.end() ? "\n" : ",\n");
    }
    out.append(QByteArray(indent, ' '));
    out.append('}');
}

void writeValue(QByteArray &out, const QVariant &value, int indent) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        out.append(value.toBool() ? "true" : "false");
        return;
    case QMetaType::Int:
    case QMetaType::LongLong:
        out.append(QByteArray::number(value.toLongLong()));
        return;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        out.append(QByteArray::number(value.toULongLong()));
        return;
    case QMetaType::Float:
        writeReal(out, value.toFloat());
        return;
    case QMetaType::Double:
        writeReal(out, value.toDouble());
        return;
    case QMetaType::QString:
        writeString(out, value.toString());
        return;
    case QMetaType::QByteArray:
        writeMap(out, {{kDataKey, QString::fromLatin1(value.toByteArray().toBase64())}}, indent);
        return;
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        out.append('[');
        for (qsizetype i = 0; i < list.size(); i++) {
            if (i)
                out.append(", ");
            writeValue(out, list[i], indent);
        }
        out.append(']');
        return;
    }
    case QMetaType::QVariantMap:
        writeMap(out, value.toMap(), indent);
        return;
    default:
        out.append("null");
    }
}

thread_local QString t_readError;

bool readFile(QIODevice &device, QSettings::SettingsMap &map) {
    QVariantMap values;
    QString error;
    if (!parse(device.readAll(), &values, &error)) {
        t_readError = error;
        return false;
    }
    for (auto it = values.begin(); it != values.end(); ++it)
        map.insert(encodeKey(it.key()), it.value());
    return true;
}

bool writeFile(QIODevice &device, const QSettings::SettingsMap &map) {
    QVariantMap values;
    for (auto it = map.begin(); it != map.end(); ++it)
        values.insert(decodeKey(it.key()), it.value());
    return device.write(write(values)) >= 0;
}

}  // namespace

QSettings::Format format() {
    static QSettings::Format registered = QSettings::InvalidFormat;
    static std::once_flag once;
    std::call_once(once, [] {
        registered = QSettings::registerFormat(QStringLiteral("json"), readFile, writeFile);
    });
    return registered;
}

QString takeReadError() { return std::exchange(t_readError, QString()); }

bool isStorable(const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QStringList:
        return true;
    case QMetaType::QVariantList:
        for (const QVariant &item : value.toList())
            if (!isStorable(item))
                return false;
        return true;
    case QMetaType::QVariantMap:
        for (const QVariant &item : value.toMap())
            if (!isStorable(item))
                return false;
        return true;
    default:
        return false;
    }
}

bool parse(const QByteArray &text, QVariantMap *values, QString *error) {
    values->clear();
    Reader reader(text);
    if (reader.document(values))
        return true;
    values->clear();
    if (error)
        *error = reader.error();
    return false;
}

QByteArray write(const QVariantMap &values) {
    QByteArray out;
    writeMap(out, values, 0);
    out.append('\n');
    return out;
}

QString encodeKey(const QString &key) {
    QString out;
    out.reserve(key.size());
    for (QChar c : key) {
        if (c == u'%')
            out += QLatin1String("%25");
        else if (c == u'/')
            out += QLatin1String("%2F");
        else if (c == u'\\')
            out += QLatin1String("%5C");
        else
            out += c;
    }
    return out;
}

QString decodeKey(const QString &key) {
    if (!key.contains(u'%'))
        return key;
    QString out;
    out.reserve(key.size());
    for (qsizetype i = 0; i < key.size(); i++) {
        QStringView code = QStringView(key).mid(i, 3);
        if (code == u"%25")
            out += u'%';
        else if (code == u"%2F")
            out += u'/';
        else if (code == u"%5C")
            out += u'\\';
        else {
            out += key[i];
            continue;
        }
        i += 2;
    }
    return out;
}

}  // namespace platform::settings_json
