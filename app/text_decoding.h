// A text file's bytes as text, and text as the bytes of a file.
//
// Decoding tries, in order: UTF-8, UTF-16 and UTF-32 (only behind a byte-
// order mark), ASCII, ISO Latin 1, ISO Latin 2 and Mac Roman; the first that
// reads the bytes without a fault wins. The byte-order mark is what tells
// UTF-16 and UTF-32 from the rest: nearly any even-length byte string reads
// as UTF-16, so without that rule a Latin-1 file would open as a page of
// East Asian characters and be saved back so. The Latin sets take no C1
// control bytes (0x80-0x9F), which text in them never holds; a file with
// them reads as Mac Roman, whose letters live there.
//
// The decoded text has its line endings made "\n" ("\r\n" first, then each
// lone "\r").
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace textdecoding {

enum class Encoding { UTF8, UTF16, UTF32, ASCII, Latin1, Latin2, MacRoman };

struct Decoded {
    QString text;  // line endings as decoded
    Encoding encoding;
};

// The bytes as text with the first encoding that reads them, line endings
// kept; nothing when none does. A byte-order mark is not part of the text.
std::optional<Decoded> decode(const QByteArray &data);

// The bytes as text with "\n" line endings; nothing (with "Unable to read
// data into string" logged) when no encoding reads them.
std::optional<QString> convertDataIntoString(const QByteArray &data);

// Every "\r\n", then every "\r", made "\n".
QString normalizeLineEndings(QString text);
// Every "\n" made "\r\n" / "\r".
QString convertStringToWindows(const QString &text);
QString convertStringToOldMac(const QString &text);
// The text in the line endings of "exportLineEndings": 0 "\n", 1 "\r\n",
// 2 "\r" (any other value keeps "\n").
QString withLineEndings(const QString &text, qint64 lineEndings);

}  // namespace textdecoding
