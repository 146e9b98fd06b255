#include "app/documents/text_decoding.h"

#include <QStringDecoder>

#include <array>

#include "app/app_log.h"

namespace textdecoding {

namespace {

// ISO 8859-2 from 0xA0 up (below it, ISO Latin 1 and Latin 2 agree).
constexpr std::array<char16_t, 96> kLatin2High{
    0x00A0, 0x0104, 0x02D8, 0x0141, 0x00A4, 0x013D, 0x015A, 0x00A7, 0x00A8, 0x0160, 0x015E, 0x0164,
    0x0179, 0x00AD, 0x017D, 0x017B, 0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7,
    0x00B8, 0x0161, 0x015F, 0x0165, 0x017A, 0x02DD, 0x017E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102,
    0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170,
    0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3,
    0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// Mac Roman from 0x80 up.
constexpr std::array<char16_t, 128> kMacRomanHigh{
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

bool startsWith(const QByteArray &data, std::initializer_list<unsigned char> mark) {
    if (data.size() < qsizetype(mark.size()))
        return false;
    qsizetype i = 0;
    for (unsigned char byte : mark)
        if (static_cast<unsigned char>(data[i++]) != byte)
            return false;
    return true;
}

// A strict decode with Qt's decoders (which drop a byte-order mark).
std::optional<QString> strictly(QStringConverter::Encoding encoding, const QByteArray &data) {
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// A single-byte set: bytes below 0x80 are ASCII; `high(byte)` gives the
// character of a byte from 0x80 up, or 0 when the set has none.
template <typename High>
std::optional<QString> singleByte(const QByteArray &data, High high) {
    QString text(data.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            *out++ = QChar(byte);
            continue;
        }
        const char16_t mapped = high(byte);
        if (mapped == 0)
            return std::nullopt;
        *out++ = QChar(mapped);
    }
    return text;
}

// The character of a byte from 0x80 up in each set, or 0 for none. The
// Latin sets have no characters for the C1 control bytes.
char16_t latin1High(unsigned char b) { return b < 0xA0 ? char16_t(0) : char16_t(b); }
char16_t latin2High(unsigned char b) { return b < 0xA0 ? char16_t(0) : kLatin2High[b - 0xA0]; }
char16_t macRomanHigh(unsigned char b) { return kMacRomanHigh[b - 0x80]; }

// The bytes of text in a single-byte set, or nothing when a character has
// no byte there.
template <typename High>
std::optional<QByteArray> singleByteBytes(const QString &text, High high) {
    std::array<unsigned char, 0x10000> bytes{};  // 0: no byte
    for (int byte = 0x80; byte < 0x100; byte++)
        if (const char16_t c = high(static_cast<unsigned char>(byte)))
            bytes[c] = static_cast<unsigned char>(byte);
    QByteArray result(text.size(), Qt::Uninitialized);
    char *out = result.data();
    for (QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit < 0x80) {
            *out++ = char(unit);
            continue;
        }
        if (!bytes[unit])
            return std::nullopt;
        *out++ = char(bytes[unit]);
    }
    return result;
}

// Control bytes that text does not hold: C0 but for tab, line feed,
// vertical tab, form feed, carriage return and escape, and DEL. (NUL is
// counted on its own.)
bool holdsControlBytes(const QByteArray &data) {
    for (char c : data) {
        const auto b = static_cast<unsigned char>(c);
        if ((b > 0 && b < 0x09) || (b > 0x0D && b < 0x20 && b != 0x1B) || b == 0x7F)
            return true;
    }
    return false;
}

// Whether the bytes hold a well-formed UTF-8 sequence of two bytes or more:
// bytes that failed as UTF-8 only for a stray byte elsewhere, which a
// single-byte set shows as pairs of strange letters. Genuine Latin or Mac
// Roman text hardly ever has one (a capital with a symbol after it).
bool holdsUtf8Sequences(const QByteArray &data) {
    const auto *p = reinterpret_cast<const unsigned char *>(data.constData());
    const qsizetype n = data.size();
    for (qsizetype i = 0; i < n; i++) {
        const unsigned char b = p[i];
        const int follow = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : 0;
        if (follow == 0 || i + follow >= n)
            continue;
        bool good = true;
        for (int k = 1; k <= follow; k++)
            good = good && (p[i + k] & 0xC0) == 0x80;
        if (good)
            return true;
    }
    return false;
}

// UTF-16 and UTF-32 as Qt reads them, but only bytes that are well formed
// there: Qt's decoders let a cut-off last unit, a lone surrogate or a value
// past U+10FFFF through without an error, and such a file would be shown as
// text that is not what it holds. Well-formed bytes decode to valid UTF-16
// that, written back with its mark, gives the same bytes again.
std::optional<Decoded> wideStrictly(const QByteArray &data, Encoding encoding, bool bigEndian) {
    const bool wide = encoding == Encoding::UTF32;
    std::optional<QString> text = strictly(wide ? QStringConverter::Utf32 : QStringConverter::Utf16, data);
    if (!text || !text->isValidUtf16())
        return std::nullopt;
    Decoded decoded{*text, encoding, true, bigEndian};
    const std::optional<QByteArray> again = encode(decoded.text, decoded.form());
    if (!again || *again != data)
        return std::nullopt;
    return decoded;
}

}  // namespace

std::optional<Decoded> decode(const QByteArray &data) {
    if (auto text = strictly(QStringConverter::Utf8, data))
        return Decoded{*text, Encoding::UTF8, startsWith(data, {0xEF, 0xBB, 0xBF})};
    // UTF-32's little-endian mark begins with UTF-16's: ask for it first.
    const bool utf32Big = startsWith(data, {0x00, 0x00, 0xFE, 0xFF});
    if (startsWith(data, {0xFF, 0xFE, 0x00, 0x00}) || utf32Big) {
        if (auto decoded = wideStrictly(data, Encoding::UTF32, utf32Big))
            return decoded;
    }
    const bool utf16Big = startsWith(data, {0xFE, 0xFF});
    if (startsWith(data, {0xFF, 0xFE}) || utf16Big) {
        if (auto decoded = wideStrictly(data, Encoding::UTF16, utf16Big))
            return decoded;
    }
    if (auto text = singleByte(data, [](unsigned char) { return char16_t(0); }))
        return Decoded{*text, Encoding::ASCII};
    if (auto text = singleByte(data, latin1High))
        return Decoded{*text, Encoding::Latin1};
    if (auto text = singleByte(data, latin2High))
        return Decoded{*text, Encoding::Latin2};
    if (auto text = singleByte(data, macRomanHigh))
        return Decoded{*text, Encoding::MacRoman};
    return std::nullopt;
}

QString editorText(QString decoded) {
    if (decoded.contains(QChar(u'\0')))
        decoded.remove(QChar(u'\0'));
    if (decoded.startsWith(QChar(0xFEFF)))
        decoded.remove(0, 1);
    return decoded;
}

std::optional<QByteArray> encode(const QString &text, const Form &form) {
    switch (form.encoding) {
    case Encoding::UTF8:
    case Encoding::ASCII: {
        QByteArray bytes = text.toUtf8();
        if (form.encoding == Encoding::UTF8 && form.byteOrderMark)
            bytes.prepend("\xEF\xBB\xBF");
        return bytes;
    }
    case Encoding::UTF16:
    case Encoding::UTF32: {
        const bool wide = form.encoding == Encoding::UTF32;
        QStringEncoder encoder(wide ? (form.bigEndian ? QStringConverter::Utf32BE : QStringConverter::Utf32LE)
                                    : (form.bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE),
                               QStringConverter::Flag::Stateless);
        QByteArray bytes = encoder.encode(text);
        if (encoder.hasError())
            return std::nullopt;
        // The mark is what makes the file UTF-16 or UTF-32 when it is read
        // again; it is written even when the file had none.
        bytes.prepend(encoder.encode(QStringView(u"\uFEFF")));
        return bytes;
    }
    case Encoding::Latin1:
        return singleByteBytes(text, latin1High);
    case Encoding::Latin2:
        return singleByteBytes(text, latin2High);
    case Encoding::MacRoman:
        return singleByteBytes(text, macRomanHigh);
    }
    return std::nullopt;
}

Fidelity fidelity(const QByteArray &data, const Decoded &decoded, qint64 lineEndings) {
    Fidelity result;
    result.nulBytes = int(decoded.text.count(QChar(u'\0')));
    const bool legacy = decoded.encoding == Encoding::Latin1 || decoded.encoding == Encoding::Latin2 ||
                        decoded.encoding == Encoding::MacRoman;
    if (legacy)
        result.notText = holdsControlBytes(data) || holdsUtf8Sequences(data);
    const QString shown = editorText(normalizeLineEndings(decoded.text));
    const std::optional<QByteArray> written = encode(withLineEndings(shown, lineEndings), decoded.form());
    result.exact = written && *written == data;
    return result;
}

FileText fileText(const QByteArray &utf8, qint64 lineEndings, const Form &form) {
    // Valid UTF-8 is its own text's bytes, and "\n" is a byte of its own in
    // it; a byte-order mark typed at the start goes the long way, as the
    // decoding of the text may treat it apart.
    const bool asItIs = !utf8.startsWith("\xEF\xBB\xBF") && QByteArrayView(utf8).isValidUtf8();
    if (asItIs && (form.encoding == Encoding::UTF8 || form.encoding == Encoding::ASCII)) {
        QByteArray bytes = utf8;
        if (lineEndings == 1)
            bytes.replace("\n", "\r\n");
        else if (lineEndings == 2)
            bytes.replace('\n', '\r');
        if (form.encoding == Encoding::UTF8 && form.byteOrderMark)
            bytes.prepend("\xEF\xBB\xBF");
        return {bytes, utf8, form};
    }
    const QString text = QString::fromUtf8(utf8);
    const QByteArray held = asItIs ? utf8 : text.toUtf8();
    const QString written = withLineEndings(text, lineEndings);
    if (std::optional<QByteArray> bytes = encode(written, form))
        return {*bytes, held, form};
    return {written.toUtf8(), held, Form{}};
}

QString encodingName(Encoding encoding) {
    switch (encoding) {
    case Encoding::UTF8:
        return QStringLiteral("UTF-8");
    case Encoding::UTF16:
        return QStringLiteral("UTF-16");
    case Encoding::UTF32:
        return QStringLiteral("UTF-32");
    case Encoding::ASCII:
        return QStringLiteral("ASCII");
    case Encoding::Latin1:
        return QStringLiteral("ISO Latin 1");
    case Encoding::Latin2:
        return QStringLiteral("ISO Latin 2");
    case Encoding::MacRoman:
        return QStringLiteral("Mac Roman");
    }
    return QString();
}

std::optional<QString> convertDataIntoString(const QByteArray &data) {
    std::optional<Decoded> decoded = decode(data);
    if (!decoded) {
        qCWarning(lcApp, "Unable to read data into string");
        return std::nullopt;
    }
    return normalizeLineEndings(std::move(decoded->text));
}

QString normalizeLineEndings(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

QString convertStringToWindows(const QString &text) {
    return QString(text).replace(QLatin1String("\n"), QLatin1String("\r\n"));
}

QString convertStringToOldMac(const QString &text) { return QString(text).replace(u'\n', u'\r'); }

QString withLineEndings(const QString &text, qint64 lineEndings) {
    if (lineEndings == 1)
        return convertStringToWindows(text);
    if (lineEndings == 2)
        return convertStringToOldMac(text);
    return text;
}

}  // namespace textdecoding
