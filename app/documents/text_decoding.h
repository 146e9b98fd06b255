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
//
// A file is written back in the form it was read in (its encoding, its
// byte-order mark, its byte order), so that saving an edit of one word
// changes that word's bytes and no others. Some files cannot come back
// byte for byte: the editor holds no NUL character, and bytes that are not
// text (a program, a picture, UTF-16 without its mark) are shown as the
// nearest legacy encoding reads them. fidelity() says what a file loses.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace textdecoding {

enum class Encoding { UTF8, UTF16, UTF32, ASCII, Latin1, Latin2, MacRoman };

// How a file's bytes were read, and so how its text is written back.
struct Form {
    Encoding encoding = Encoding::UTF8;
    bool byteOrderMark = false;  // the bytes began with one
    bool bigEndian = false;      // of UTF-16 and UTF-32
    bool operator==(const Form &) const = default;
};

struct Decoded {
    QString text;  // line endings as decoded
    Encoding encoding;
    bool byteOrderMark = false;
    bool bigEndian = false;
    Form form() const { return {encoding, byteOrderMark, bigEndian}; }
};

// What the editor keeps of a file when it shows it unedited.
struct Fidelity {
    int nulBytes = 0;      // dropped: the editor holds no NUL character
    bool notText = false;  // read by a legacy encoding, but holding control
                           // bytes or UTF-8 sequences: not text in it
    bool exact = true;     // saving the unedited text gives back the bytes
    // Whether the user should hear, when the file opens, that it is not
    // shown as it is.
    bool isShownInexactly() const { return nulBytes > 0 || notText; }
};

// The bytes as text with the first encoding that reads them, line endings
// kept; nothing when none does. A byte-order mark is not part of the text.
std::optional<Decoded> decode(const QByteArray &data);

// The bytes as text with "\n" line endings; nothing (with "Unable to read
// data into string" logged) when no encoding reads them.
std::optional<QString> convertDataIntoString(const QByteArray &data);

// What the editor holds of decoded text: no NUL character (its buffer ends
// a text at one) and no byte-order mark at the start.
QString editorText(QString decoded);

// The bytes of `text` in `form` (with its byte-order mark, when it had one);
// nothing when a character has no bytes in that encoding. ASCII gives way to
// UTF-8, which writes ASCII's bytes alike.
std::optional<QByteArray> encode(const QString &text, const Form &form);

// What a file of `data`, decoded as `decoded`, keeps when it is shown and
// written back with "exportLineEndings" `lineEndings`.
Fidelity fidelity(const QByteArray &data, const Decoded &decoded, qint64 lineEndings);

// A file's bytes made of the editor's text, as a save writes them.
struct FileText {
    QByteArray bytes;
    QByteArray text;  // the text they hold, as the editor holds it, in UTF-8
    Form form;        // the form they are in
};

// The file of the editor's text `utf8` ("\n" line endings, as the editor's
// buffer holds it): in the line endings of "exportLineEndings" `lineEndings`
// and in `form`, or in UTF-8 when the form's encoding cannot hold the text.
// The same as encoding the text made a QString, with less work and memory
// where the file is UTF-8 and the bytes are (safe on any thread).
FileText fileText(const QByteArray &utf8, qint64 lineEndings, const Form &form);

// The encoding's name for people: "UTF-8", "ISO Latin 1", "Mac Roman"...
QString encodingName(Encoding encoding);

// Every "\r\n", then every "\r", made "\n".
QString normalizeLineEndings(QString text);
// Every "\n" made "\r\n" / "\r".
QString convertStringToWindows(const QString &text);
QString convertStringToOldMac(const QString &text);
// The text in the line endings of "exportLineEndings": 0 "\n", 1 "\r\n",
// 2 "\r" (any other value keeps "\n").
QString withLineEndings(const QString &text, qint64 lineEndings);

}  // namespace textdecoding
