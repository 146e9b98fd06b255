// Reads random bytes as a file's text, as a document does, and merges three
// texts read so (the text last on disk, the editor's, the disk's now), as a
// document does when its file changed outside. Checks what must hold
// whatever the bytes: the text decoded stands for the bytes (UTF-8 gives
// them back, the one-byte sets keep one character per byte), line endings
// made "\n" survive a trip through the other line endings, and a merge in
// which only one side changed gives that side's text.
#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/documents/text_decoding.h"
#include "app/documents/three_way_merge.h"

namespace {

using textdecoding::Encoding;

// A failed check names itself before the abort that reports the input.
#define check(condition) \
    ((condition) ? (void)0 : (fprintf(stderr, "check failed: %s\n", #condition), abort()))

QString read(const QByteArray &bytes) {
    const std::optional<QString> text = textdecoding::convertDataIntoString(bytes);
    return text ? *text : QString::fromLatin1(bytes);
}

void checkDecoding(const QByteArray &bytes) {
    const std::optional<textdecoding::Decoded> decoded = textdecoding::decode(bytes);
    const std::optional<QString> text = textdecoding::convertDataIntoString(bytes);
    check(decoded.has_value() == text.has_value());
    if (!decoded)
        return;
    switch (decoded->encoding) {
    case Encoding::UTF8: {
        QByteArray expected = bytes;
        if (expected.startsWith("\xEF\xBB\xBF"))
            expected.remove(0, 3);
        check(decoded->text.toUtf8() == expected);
        break;
    }
    case Encoding::UTF16:
    case Encoding::UTF32:
        // Only behind a byte-order mark.
        check(bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ||
              bytes.startsWith(QByteArray("\x00\x00\xFE\xFF", 4)));
        break;
    default:
        check(decoded->text.size() == bytes.size());
        break;
    }
    check(!text->contains(u'\r'));
    for (qint64 endings : {0, 1, 2, 7})
        check(textdecoding::normalizeLineEndings(textdecoding::withLineEndings(*text, endings)) == *text);
}

// What the merge makes of a text: it works on UTF-8 without NULs.
QString merged(QString text) {
    return QString::fromUtf8(text.replace(QChar(u'\0'), QChar(0xFFFD)).toUtf8());
}

// The editor's text as the editor holds it: a byte-order mark at its start
// is dropped when the text is set.
QString editorText(QString text) {
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    checkDecoding(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));

    FuzzedDataProvider input(data, size);
    const QString base = read(QByteArray::fromStdString(input.ConsumeRandomLengthString(4096)));
    const QString edited = editorText(read(QByteArray::fromStdString(input.ConsumeRandomLengthString(4096))));
    const QString disk = read(QByteArray::fromStdString(input.ConsumeRemainingBytesAsString()));

    const MergeResult result = mergeOriginal(base, edited, disk);
    (void)result;
    // The disk as it was: the editor's text stands.
    const MergeResult unchangedDisk = mergeOriginal(base, edited, base);
    check(unchangedDisk.ok && unchangedDisk.text == merged(edited));
    return 0;
}
