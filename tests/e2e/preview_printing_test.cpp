// Printing the rendered preview: the web engine lays the page out between
// the header and footer bands, and the printed PDF carries the templates'
// parts and the page numbers on every page. Needs a display (the web engine).
#include <gtest/gtest.h>

#include <QColor>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "app/documents/document_fixture.h"
#include "window/content/basic_document_content.h"

using namespace documents_test;

namespace {

// The editor with a preview beside it, as the full window content has.
class PreviewContent : public BasicDocumentContent {
public:
    PreviewContent() {
        m_preview = new QWebEngineView(this);
        layout()->addWidget(m_preview);
    }
    QWebEngineView *previewView() const override { return m_preview; }

private:
    QWebEngineView *m_preview;
};

}  // namespace

TEST_F(DocumentFixture, ThePreviewPrintsWithHeaderFooterAndPageNumbers) {
    if (!haveTool("pdftotext"))
        GTEST_SKIP() << "pdftotext is not installed (poppler-utils)";
    SmartEditorDocument::setContentFactory([] { return new PreviewContent; });
    SmartEditorDocument *document = open("preview.md", "author: Ann Example\n\n# Heard at dusk\n");
    SmartEditorDocument::setContentFactory({});
    ASSERT_TRUE(document);
    QWebEngineView *preview = document->content()->previewView();
    ASSERT_TRUE(preview);

    // Hidden, the preview is not printed and the command is disabled.
    document->showWindows();
    preview->hide();
    EXPECT_FALSE(document->validateAction("printPreview:", nullptr));
    EXPECT_FALSE(document->printPreviewToPdf(path("hidden.pdf")));
    EXPECT_FALSE(QFileInfo::exists(path("hidden.pdf")));
    preview->show();
    bool loaded = false;
    QObject::connect(preview, &QWebEngineView::loadFinished, [&](bool ok) { loaded = ok; });
    QByteArray html = "<html><body><h1>Heard at dusk</h1>";
    for (int i = 1; i <= 120; i++)
        html += "<p>Paragraph " + QByteArray::number(i) + " of the rendered preview.</p>";
    preview->setHtml(QString::fromUtf8(html + "</body></html>"));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return loaded; }, std::chrono::seconds(30)));
    EXPECT_TRUE(document->validateAction("printPreview:", nullptr));

    ASSERT_TRUE(document->printPreviewToPdf(path("preview.pdf")));
    EXPECT_EQ(alerts.count(), 0);
    QString printed;
    run("pdftotext -layout '" + path("preview.pdf") + "' -", &printed);
    const QStringList pages = printed.split(u'\f', Qt::SkipEmptyParts);
    ASSERT_GE(pages.size(), 2) << printed.toStdString();
    for (int i = 0; i < pages.size(); i++) {
        const QStringList lines = pages[i].split(u'\n', Qt::SkipEmptyParts);
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(lines.first().simplified().startsWith("Ann Example preview.md")) << lines.first().toStdString();
        EXPECT_EQ(lines.last().simplified(), QStringLiteral("%1 of %2").arg(i + 1).arg(pages.size()));
    }
    // The page's painted part shows no edge on the paper: nothing drawn in
    // the right margin between the bands.
    const QImage page = renderedPage(path("preview.pdf"), 0);
    ASSERT_FALSE(page.isNull());
    int marks = 0;
    for (int y = 60; y < page.height() - 60; y++)
        for (int x = page.width() - 22; x < page.width() - 12; x++)
            marks += QColor(page.pixel(x, y)).value() < 250;
    EXPECT_EQ(marks, 0);

    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    QFile::remove(QStringLiteral(ORVANE_ARTIFACT_DIR "/printed-preview.pdf"));
    QFile::copy(path("preview.pdf"), QStringLiteral(ORVANE_ARTIFACT_DIR "/printed-preview.pdf"));
}
