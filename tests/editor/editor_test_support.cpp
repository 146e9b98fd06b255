#include "editor/editor_test_support.h"

#include <QFile>
#include <QTextBlock>

#include <memory>

#include <gtest/gtest.h>

#include "editor/storage/text_units.h"
#include "library/engine.h"
#include "library/queries.h"

namespace editortest {

namespace {

QTemporaryDir &folder() {
    static QTemporaryDir dir;
    return dir;
}

}  // namespace

QString writeTheme(const QString &name, const QByteArray &json) {
    QString path = folder().filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(json);
    return path;
}

std::unique_ptr<SmartTextStorage> styled(const QString &text) {
    auto storage = std::make_unique<SmartTextStorage>();
    storage->applyThemeFromPath(themePath());
    storage->setInitialText(text);
    storage->finishLayingIn();
    storage->finishStylingAhead();
    return storage;
}

QString themePath() {
    static QString path = writeTheme(QStringLiteral("editor-test.theme"), R"({
        "fontName": "DejaVu Sans", "fontSize": 12,
        "foregroundColor": "#222222", "backgroundColor": "#FFFFF8",
        "caretColor": "#00000000", "selectionColor": "#80B4D5FE",
        "lineHeight": 1.2,
        "heading": {"foregroundColor": "#1A1A80", "bold": 1, "paraSpaceBefore": 8},
        "heading1": {"fontScale": 1.6},
        "heading2": {"fontSize": 18},
        "heading3": {"fontScale": 1.2, "italic": 1},
        "codeBlock": {"fontName": "DejaVu Sans Mono", "backgroundColor": "#F0F0F0", "leftIndent": 20},
        "codeSpan": {"fontName": "DejaVu Sans Mono", "foregroundColor": "#AA2222"},
        "blockquote": {"leftIndent": 16, "italic": 1},
        "bulletList": {"leftIndent": 10},
        "orderedList": {"leftIndent": 12},
        "listItem": {"foregroundColor": "#303030"},
        "metadata": {"foregroundColor": "#777777", "paraSpace": 6},
        "table": {"fontName": "DejaVu Sans Mono"},
        "html": {"foregroundColor": "#884400"},
        "htmlComment": {"foregroundColor": "#008800"},
        "pairs": {"foregroundColor": "#999999"},
        "brackets": {"underline": 1},
        "parens": {"foregroundColor": "#3333CC"},
        "markup": {"foregroundColor": "#AAAAAA"},
        "emphasis": {"italic": 1},
        "strong": {"bold": 1},
        "math": {"foregroundColor": "#006666"},
        "footnote": {"superscript": 1},
        "criticAddition": {"backgroundColor": "#CCFFCC"},
        "criticDeletion": {"backgroundColor": "#FFCCCC"},
        "definitionFootnote": {"rightIndent": 30},
        "superscript": {"superscript": 1},
        "subscript": {"superscript": -1}
    })");
    return path;
}

QString shownText(const SmartTextStorage &storage) {
    QString text;
    for (QTextBlock block = storage.document()->firstBlock(); block.isValid(); block = block.next()) {
        // A block's end stands for a line end, or, between the parts of a
        // long line, for the line's character there.
        if (block != storage.document()->firstBlock()) {
            const QChar part = storage.partEnd(block.previous());
            text += part.isNull() ? QChar(QLatin1Char('\n')) : part;
        }
        text += block.text();
    }
    return text;
}

QString expectedShown(const SmartTextStorage &storage) {
    return textunits::displayText(storage.str(), storage.len());
}

std::string describe(const QList<AttributeRun> &runs) {
    QString text;
    for (const AttributeRun &run : runs)
        text += QStringLiteral("[%1+%2 %3 %4%5%6 fg%7 bg%8 u%9 s%10 p%11] ")
                    .arg(run.start).arg(run.length).arg(run.attrs.family).arg(run.attrs.pointSize)
                    .arg(run.attrs.bold ? "b" : "").arg(run.attrs.italic ? "i" : "")
                    .arg(run.attrs.foreground, 0, 16).arg(run.attrs.background, 0, 16)
                    .arg(run.attrs.underline).arg(run.attrs.superscript).arg(run.attrs.paragraph);
    return text.toStdString();
}

::testing::AssertionResult sameStyles(const SmartTextStorage &edited, const SmartTextStorage &fresh) {
    if (edited.document()->blockCount() != fresh.document()->blockCount())
        return ::testing::AssertionFailure() << "block counts differ";
    QTextBlock a = edited.document()->firstBlock(), b = fresh.document()->firstBlock();
    for (; a.isValid(); a = a.next(), b = b.next()) {
        auto where = [&] {
            return QStringLiteral("block %1 \"%2\"").arg(a.blockNumber()).arg(a.text()).toStdString();
        };
        if (edited.runs(a) != fresh.runs(b))
            return ::testing::AssertionFailure() << "runs differ in " << where() << "\n"
                                                 << describe(edited.runs(a)) << "\n"
                                                 << describe(fresh.runs(b));
        if (!(edited.paragraphAttributes(a) == fresh.paragraphAttributes(b)))
            return ::testing::AssertionFailure() << "paragraph differs in " << where();
        if (edited.hasHardBreak(a) != fresh.hasHardBreak(b))
            return ::testing::AssertionFailure() << "hard break differs in " << where();
        if (edited.blockStartType(a) != fresh.blockStartType(b))
            return ::testing::AssertionFailure() << "block start differs in " << where();
        if (edited.beginsParse(a) != fresh.beginsParse(b))
            return ::testing::AssertionFailure() << "where a parse may begin differs in " << where();
    }
    return ::testing::AssertionSuccess();
}

namespace {

std::vector<HeadingRow> rowsOf(const header *entry, int level, quint64 generation) {
    std::vector<HeadingRow> rows;
    for (; entry; entry = entry->next) {
        HeadingRow row{qsizetype(entry->start), qsizetype(entry->len), level, {}, generation};
        row.children = rowsOf(entry->child, level + 1, generation);
        rows.push_back(std::move(row));
    }
    return rows;
}

const HeadingRow *findRow(const std::vector<HeadingRow> &rows, qsizetype start) {
    for (const HeadingRow &row : rows) {
        if (row.start == start)
            return &row;
        if (const HeadingRow *found = findRow(row.children, start))
            return found;
    }
    return nullptr;
}

}  // namespace

std::vector<HeadingRow> headingRows(const SmartTextStorage &storage) {
    tzr_engine *e = tzr_engine_create_with_string(storage.str(), 0);
    tzr_engine_parse_string(e);
    header *toc = tzr_engine_toc_entries(e);
    std::vector<HeadingRow> rows = rowsOf(toc, 1, storage.editGeneration());
    toc_entry_free(toc);
    tzr_engine_free(e, true);
    return rows;
}

const HeadingRow &rowAt(const std::vector<HeadingRow> &rows, qsizetype start) {
    static const HeadingRow none{-1, 0, 0, {}, 0};
    const HeadingRow *found = findRow(rows, start);
    EXPECT_TRUE(found) << "no heading row at " << start;
    return found ? *found : none;
}

}  // namespace editortest
