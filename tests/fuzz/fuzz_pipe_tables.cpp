// Pipe tables from random text: rows and tables made of it, and the
// clean-up of a range of it, in either layout. Checks that the clean-up
// leaves the text around its range as it was and that cleaning a cleaned
// table changes nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "editor/markdown/markdown_tables.h"

namespace {

// A failed check names itself before the abort that reports the input.
#define check(condition) \
    ((condition) ? (void)0 : (fprintf(stderr, "check failed: %s\n", #condition), abort()))

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const bool useTabs = input.ConsumeBool();
    const int from = input.ConsumeIntegral<uint16_t>();
    const int length = input.ConsumeIntegral<uint16_t>();
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    const QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));

    QString rows = text;
    markdown::makeTableRows(rows);
    QString table = text;
    markdown::makeTable(table, useTabs);

    const markdown::TextRange range{qMin<qsizetype>(from, text.size()),
                                    qMin<qsizetype>(length, text.size() - qMin<qsizetype>(from, text.size()))};
    QString cleaned = text;
    markdown::cleanTableAtRange(cleaned, range, useTabs);
    const qsizetype after = text.size() - range.end();
    check(cleaned.size() >= range.location + after);
    check(cleaned.left(range.location) == text.left(range.location));
    check(cleaned.right(after) == text.right(after));

    const markdown::TextRange cleanedRange{range.location, cleaned.size() - range.location - after};
    QString again = cleaned;
    markdown::cleanTableAtRange(again, cleanedRange, useTabs);
    check(again == cleaned);
    QString whole = table;
    markdown::cleanAsTable(whole, useTabs);
    check(whole == table);
    return 0;
}
