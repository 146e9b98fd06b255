// Elastic tab stops over random text: a storage with the stops on, at a zoom
// taken from the input, gets the text, then a few edits of it, as typing
// would make them; the theme indents code and quotes and sizes headings.
// Checks after every edit that each line has no more stops than tabs, that
// its stops are finite and at least two units apart (the narrowest column
// and its gap), and that what the edits left equals a realignment of the
// whole text.
#include <fuzzer/FuzzedDataProvider.h>

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "editor/storage/smart_text_storage.h"

namespace {

// A failed check names itself before the abort that reports the input.
#define check(condition) \
    ((condition) ? (void)0 : (fprintf(stderr, "check failed: %s\n", #condition), abort()))

QString g_theme;

struct BlockStops {
    QList<qreal> stops;
    std::optional<qreal> headIndent;
    bool operator==(const BlockStops &) const = default;
};

std::vector<BlockStops> stopsOf(const SmartTextStorage &storage) {
    std::vector<BlockStops> all;
    for (QTextBlock block = storage.document()->firstBlock(); block.isValid(); block = block.next())
        all.push_back({storage.tabStops(block), storage.tabHeadIndent(block)});
    return all;
}

void checkLines(const SmartTextStorage &storage) {
    const qreal unit = 15 * storage.zoomFactor();
    for (QTextBlock block = storage.document()->firstBlock(); block.isValid(); block = block.next()) {
        const QList<qreal> stops = storage.tabStops(block);
        check(stops.size() <= qMin<qsizetype>(block.text().count(u'\t'), SmartTextStorage::kMaxTabDepth));
        qreal before = 0;
        for (qreal stop : stops) {
            check(std::isfinite(stop) && stop >= before + 2 * unit - 1e-6);
            before = stop;
        }
    }
}

QString text(FuzzedDataProvider &input, size_t most) {
    const std::string bytes = input.ConsumeRandomLengthString(most);
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

}  // namespace

// Fontconfig keeps the patterns of the fonts it matched for the life of the
// process and frees them nowhere: not ours to find.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    static QTemporaryDir folder;
    g_theme = folder.filePath(QStringLiteral("tabs.theme"));
    QFile file(g_theme);
    check(file.open(QIODevice::WriteOnly));
    file.write(R"({"fontName": "DejaVu Sans", "fontSize": 12, "codeBlock": {"leftIndent": 20},
                  "blockquote": {"leftIndent": 16}, "heading1": {"fontSize": 36},
                  "strong": {"bold": 1}})");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    StoragePreferences preferences;
    preferences.useElasticTabstops = true;
    preferences.extNotes = input.ConsumeBool();
    preferences.extCritic = input.ConsumeBool();
    SmartTextStorage storage(preferences);
    storage.applyThemeFromPath(g_theme);
    const double zooms[] = {1, 0.5, 2, 3.25};
    storage.setZoomFactor(zooms[input.ConsumeIntegralInRange(0, 3)]);
    storage.setInitialText(text(input, 2048));
    checkLines(storage);

    const int edits = input.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < edits && input.remaining_bytes() > 0; i++) {
        const qsizetype length = storage.length();
        const qsizetype at = input.ConsumeIntegralInRange<qsizetype>(0, length);
        const qsizetype span = input.ConsumeIntegralInRange<qsizetype>(0, qMin<qsizetype>(length - at, 64));
        storage.replaceCharactersInRange({at, span}, text(input, 64));
        checkLines(storage);
    }
    const std::vector<BlockStops> edited = stopsOf(storage);
    storage.alignTabStops();
    check(stopsOf(storage) == edited);
    return 0;
}
