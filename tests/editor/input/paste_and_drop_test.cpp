// Pasted and dropped text and addresses: links made from a pasted address,
// Markdown for dropped files and links, and text from outside made safe for
// the text buffer (line ends, NUL characters).
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "editor/input/incoming_text.h"
#include "platform/text/pasteboard.h"
#include "editor/smart_view_support.h"

using editortest::RecordingDocument;
using editortest::ShownEditor;


TEST(PasteAndDrop, AnAddressPastedOverAWordBecomesALink) {
    ShownEditor editor;
    const QString text = QStringLiteral("Read the manual or https://old.org/x now.\n");
    editor.show(text);
    struct Case {
        const char *name;
        QString pasted;
        CharRange selection;
        QString expected;
    };
    const Case cases[] = {
        {"a space: no address", QStringLiteral("https://example.org/a b"), {9, 6},
         QStringLiteral("Read the https://example.org/a b or")},
        {"over a word", QStringLiteral("https://example.org/doc?x=1"), {9, 6},
         QStringLiteral("Read the [manual](https://example.org/doc?x=1) or")},
        {"mail needs no host", QStringLiteral("mailto:ann@example.org"), {5, 3},
         QStringLiteral("Read [the](mailto:ann@example.org) manual")},
        {"one character", QStringLiteral("https://example.org"), {0, 1},
         QStringLiteral("https://example.orgead")},
        {"over an address", QStringLiteral("https://new.org"), {19, 17},
         QStringLiteral("or https://new.org now")},
        {"no host", QStringLiteral("file:relative"), {9, 6}, QStringLiteral("the file:relative or")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        editor.storage().setInitialText(text);
        platform::Pasteboard::setString(c.pasted);
        editor.view().setSelectedRange(c.selection);
        editor.press(Qt::Key_V, Qt::ControlModifier);
        EXPECT_TRUE(editor.text().contains(c.expected)) << qPrintable(editor.text());
        EXPECT_TRUE(editor.inStep());
    }
}

TEST(PasteAndDrop, DroppedFilesAndLinksBecomeMarkdown) {
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("a"));
    // The document's folder name comes back further down the path: only the
    // leading folder is taken off.
    QDir().mkpath(folder + QStringLiteral("/x/a"));
    const QString image = folder + QStringLiteral("/x/a/my pic.png");
    QFile png(image);
    ASSERT_TRUE(png.open(QIODevice::WriteOnly));
    png.write(QByteArray::fromHex("89504E470D0A1A0A"));
    png.close();
    const QString notes = root.filePath(QStringLiteral("elsewhere/notes é.txt"));
    QDir().mkpath(root.filePath(QStringLiteral("elsewhere")));
    QFile(notes).open(QIODevice::WriteOnly);

    RecordingDocument document;
    document.path = folder + QStringLiteral("/doc.md");
    ShownEditor editor;
    editor.view().setOwningDocument(&document);
    editor.show(QStringLiteral("Text.\n"));

    auto dropURL = [&](const QUrl &url, const QByteArray &mozilla = {}) {
        editor.storage().setInitialText(QStringLiteral("Text.\n"));
        QMimeData data;
        data.setUrls({url});
        if (!mozilla.isEmpty())
            data.setData(QStringLiteral("text/x-moz-url"), mozilla);
        editor.drop(5, data);
        return editor.text();
    };
    EXPECT_EQ(dropURL(QUrl::fromLocalFile(image)), QStringLiteral("Text.![](x/a/my%20pic.png)\n"));
    const QString encodedNotes = QString::fromLatin1(QUrl::toPercentEncoding(notes, "/"));
    EXPECT_EQ(dropURL(QUrl::fromLocalFile(notes)), QStringLiteral("Text.") + encodedNotes + QStringLiteral("\n"));
    // A link with a title, without one, and with its address as title.
    const QUrl web(QStringLiteral("https://example.org/page"));
    auto mozilla = [](const QString &text) {
        return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    };
    EXPECT_EQ(dropURL(web, mozilla(QStringLiteral("https://example.org/page\nA Page"))),
              QStringLiteral("Text.[A Page](https://example.org/page)\n"));
    EXPECT_EQ(dropURL(web), QStringLiteral("Text.<https://example.org/page>\n"));
    EXPECT_EQ(dropURL(web, mozilla(QStringLiteral("https://example.org/page\nhttps://example.org/page"))),
              QStringLiteral("Text.<https://example.org/page>\n"));

    // Without a file of its own, the document gives no folder.
    document.path.clear();
    EXPECT_EQ(dropURL(QUrl::fromLocalFile(image)),
              QStringLiteral("Text.![](") +
                  QString::fromLatin1(QUrl::toPercentEncoding(image, "/")) + QStringLiteral(")\n"));
    EXPECT_EQ(incoming::pathRelativeToFolder(QStringLiteral("/a/x/a/y.png"), QStringLiteral("/a")),
              QStringLiteral("x/a/y.png"));
    EXPECT_EQ(incoming::pathRelativeToFolder(QStringLiteral("/ab/y.png"), QStringLiteral("/a")),
              QStringLiteral("/ab/y.png"));
}

TEST(PasteAndDrop, TextFromOutsideHasItsLineEndsAndNulsMadeSafe) {
    const QString raw = QStringLiteral("one\r\ntwo\rthree") + QChar(0) + QStringLiteral("four\n");
    const QString safe = QStringLiteral("one\ntwo\nthreefour\n");
    EXPECT_EQ(incoming::normalizedText(raw), safe);

    ShownEditor editor;
    editor.show(QString());
    // Pasted: nothing after the NUL is lost.
    platform::Pasteboard::setString(raw);
    editor.press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor.text(), safe);
    // Dropped.
    editor.storage().setInitialText(QString());
    QMimeData data;
    data.setText(raw);
    editor.drop(0, data);
    EXPECT_EQ(editor.text(), safe);
    EXPECT_EQ(editor.selection(), (CharRange{0, safe.size()}));
    // Pasted with the middle button.
    editor.storage().setInitialText(QString());
    platform::Pasteboard::setSelectionString(raw);
    editor.click(0, Qt::MiddleButton);
    EXPECT_EQ(editor.text(), safe);
    // Committed by an input method.
    editor.storage().setInitialText(QString());
    QInputMethodEvent commit;
    commit.setCommitString(raw);
    QApplication::sendEvent(&editor.view(), &commit);
    EXPECT_EQ(editor.text(), safe);
    EXPECT_TRUE(editor.inStep());
}
