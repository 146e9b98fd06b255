// Large Markdown documents of the shapes people keep: documentation (headed
// sections of paragraphs with inline markup, lists, code and tables), one
// long list of notes, and a bibliography (one numbered list of references,
// each over two lines). Every element names its document and its number
// ("Section 12 of notes.md", "Note 3051 of list.md"), so that a test can
// tell which document a page shows and find an element in it.
#pragma once

#include <QByteArray>

namespace large {

// About `bytes` of documentation under the name `name`.
inline QByteArray docs(const QByteArray &name, qsizetype bytes) {
    QByteArray text = "# " + name + "\n\nThe documentation of " + name + ".\n\n";
    for (int section = 1; text.size() < bytes; section++) {
        const QByteArray n = QByteArray::number(section);
        text += "## Section " + n + " of " + name + "\n\n";
        text += "Section " + n + " explains *one thing* of " + name + " with `code` and a [link](#section-" + n +
                "), in a paragraph long enough to wrap twice in a narrow pane and give the page some height.\n\n";
        text += "- a first point of section " + n + "\n- a **second** point\n    - one inside it\n\n";
        if (section % 3 == 0)
            text += "```\nrun(" + n + ");\nreturn " + n + ";\n```\n\n";
        if (section % 5 == 0)
            text += "| key | value |\n|---|---:|\n| section | " + n + " |\n| name | " + name + " |\n\n";
        text += "> A quoted remark on section " + n + ".\n\n";
    }
    return text;
}

// One top-level list of about `bytes`: a short paragraph, the list, and a
// paragraph after it. Its third note writes a tag of raw HTML that it
// leaves open, as notes pasted from elsewhere do: a browser then nests all
// the notes after it inside that element. `third` is that note's Markdown.
inline QByteArray list(const QByteArray &name, qsizetype bytes,
                       const QByteArray &third = "- Note 3 names the <code> element of HTML and leaves it open.\n") {
    QByteArray text = "# " + name + "\n\nNotes kept as one list.\n\n";
    for (int item = 1; text.size() < bytes; item++) {
        const QByteArray n = QByteArray::number(item);
        if (item == 3)
            text += third;
        text += "- Note " + n + " of " + name + ": a line with *emphasis*, `code` and a few more words to fill it.\n";
        if (item % 10 == 0)
            text += "    - an inner note under " + n + "\n";
    }
    return text + "\nAfter the list.\n";
}

// One numbered list of references of about `bytes`, each over two lines;
// the second one's title is set in a tag of raw HTML left open.
inline QByteArray bibliography(const QByteArray &name, qsizetype bytes) {
    QByteArray text = "# " + name + "\n\nWorks cited.\n\n";
    for (int item = 1; text.size() < bytes; item++) {
        const QByteArray n = QByteArray::number(item);
        if (item == 2)
            text += "2. Copied, C. (1999). <i>A title copied from a page.\n   Its publisher.\n";
        text += n + ". Author " + n + ", A. and Other, B. (" + QByteArray::number(1900 + item % 120) +
                "). *Reference " + n + " of " + name + "*.\n   Publisher of works, pages " + n + "-" +
                QByteArray::number(item + 12) + ". <https://example.org/ref/" + n + ">\n";
    }
    return text + "\nAfter the references.\n";
}

}  // namespace large
