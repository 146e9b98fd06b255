// Markdown documents made of the blocks the HTML writer nests: a table's
// rows, a quote's paragraphs, a list's items and the lists inside them,
// footnotes, definitions, HTML blocks, display math and fenced code with
// blank lines in it. Each element names itself ("Row 12 ", "Quote line 7 "),
// so that a test can find it in a page.
#pragma once

#include <QString>

#include <algorithm>

namespace shaped {

// A pipe table of `rows` body rows under a header.
inline QString table(int rows) {
    QString text = QStringLiteral("| Name | Value | Note |\n|:---|---:|:---:|\n");
    for (int i = 0; i < rows; i++)
        text += QStringLiteral("| Row %1 of the table | value %1 with *emphasis* | a note on row %1, in a few more words |\n")
                    .arg(i);
    return text + u'\n';
}

// A block quote of `lines` lines, a blank quoted line after every second
// one: `lines` / 2 paragraphs of two lines.
inline QString quote(int lines) {
    QString text;
    for (int i = 0; i < lines; i++) {
        text += QStringLiteral("> Quote line %1 says a few words of the quotation, *some emphasised*, to fill it.\n")
                    .arg(i);
        if (i % 2 == 1 && i + 1 < lines)
            text += QStringLiteral(">\n");
    }
    return text + u'\n';
}

// A list of `items` items, each with a list of three inside it and every
// fourth with a second paragraph.
inline QString nestedList(int items) {
    QString text;
    for (int i = 0; i < items; i++) {
        text += QStringLiteral("* Item %1 of the list\n").arg(i);
        for (int k = 0; k < 3; k++)
            text += QStringLiteral("    * Inner item %1.%2\n").arg(i).arg(k);
        if (i % 4 == 3)
            text += QStringLiteral("\n    A second paragraph of item %1.\n\n").arg(i);
    }
    return text + u'\n';
}

// `count` paragraphs, each with a footnote of two paragraphs.
inline QString footnotes(int count) {
    QString text, notes;
    for (int i = 0; i < count; i++) {
        text += QStringLiteral("Footnoted paragraph %1 has a note[^note%1] at its end.\n\n").arg(i);
        notes += QStringLiteral("[^note%1]: Footnote %1 opens here.\n\n    Footnote %1 goes on here.\n\n").arg(i);
    }
    return text + notes;
}

// A list of `count` definitions.
inline QString definitions(int count) {
    QString text;
    for (int i = 0; i < count; i++)
        text += QStringLiteral("Term %1\n: Definition %1 of the term, in a few words.\n\n").arg(i);
    return text;
}

// `count` HTML blocks, whole elements each, with paragraphs between.
inline QString htmlBlocks(int count) {
    QString text;
    for (int i = 0; i < count; i++)
        text += QStringLiteral("<div class=\"box\">\n<p>Boxed %1</p>\n<ul><li>boxed item %1</li></ul>\n</div>\n\n"
                               "Between boxes %1.\n\n")
                    .arg(i);
    return text;
}

// `count` paragraphs of display math, in both spellings.
inline QString displayMath(int count) {
    QString text;
    for (int i = 0; i < count; i++)
        text += QStringLiteral("Formula %1: $$x_{%1}^2 + y^2 = z^2$$ and \\\\[ a_{%1} = \\frac{b}{c} \\\\]\n\n").arg(i);
    return text;
}

// `count` fenced code blocks, each with a blank line and tags in its code.
inline QString codeBlocks(int count) {
    QString text;
    for (int i = 0; i < count; i++)
        text += QStringLiteral("```\nCode block %1 <p>not a tag</p>\n\n<div>after a blank line</div>\n"
                               "return %1;\n```\n\n")
                    .arg(i);
    return text;
}

// Every shape in turn, each under a heading; at `scale` 1 large enough for
// its HTML to be cut into many parts (over 3 MB), and each shape longer
// than a part.
inline QString allShapes(double scale = 1) {
    auto n = [scale](int count) { return std::max(1, int(count * scale)); };
    return QStringLiteral("# Shapes\n\nA first paragraph.\n\n## Table\n\n") + table(n(3000)) +
           QStringLiteral("## Quote\n\n") + quote(n(6000)) + QStringLiteral("## List\n\n") + nestedList(n(1500)) +
           QStringLiteral("## Definitions\n\n") + definitions(n(2000)) + QStringLiteral("## Boxes\n\n") +
           htmlBlocks(n(1000)) + QStringLiteral("## Math\n\n") + displayMath(n(1500)) +
           QStringLiteral("## Code\n\n") + codeBlocks(n(600)) + QStringLiteral("## Notes\n\n") +
           footnotes(n(1500)) + QStringLiteral("The last paragraph.\n");
}

}  // namespace shaped
