// Printing: the header and footer templates filled from the metadata and for
// each page, and printed PDFs read back with pdftotext (header, footer and
// page numbers on every page) and rendered (the syntax colours kept), from
// the print panel and from the Print to PDF command.
#include <QColor>
#include <QPrinter>

#include "app/documents/kvx_text_document.h"
#include "app/documents/print_templates.h"
#include "app/documents/document_fixture.h"

using namespace documents_test;

TEST(PrintTemplates, MetadataPlaceholdersThenPageFields) {
    const QMap<QString, QString> metadata{{"author", "Ann"}, {"client", "Bo"}};
    const printtemplates::MetadataLookup lookup = [&](const QString &key) -> std::optional<QString> {
        // The window content reads the key as a label: "%client," is "client".
        QString label = key.toLower();
        label.removeIf([](QChar c) { return !c.isLetterOrNumber(); });
        return metadata.contains(label) ? std::optional(metadata[label]) : std::nullopt;
    };
    using printtemplates::fillTemplateWithMetadata;
    EXPECT_EQ(fillTemplateWithMetadata("%author\\t%%TITLE\\t%%DATE", lookup), "Ann\t%%TITLE\t%%DATE");
    EXPECT_EQ(fillTemplateWithMetadata("for %client, 100% done, %missing.", lookup), "for Bo 100% done, ");
    EXPECT_EQ(fillTemplateWithMetadata("%author%client %%author", lookup), "AnnBo %%author")
        << "a key ends at the next per-cent sign; a doubled one starts none";
    EXPECT_EQ(fillTemplateWithMetadata("%author", nullptr), "");

    using printtemplates::stringFromTemplate;
    EXPECT_EQ(stringFromTemplate("\\t\\t%%PAGE of %%PAGES", "T", "D", 3, 12), "\t\t3 of 12");
    EXPECT_EQ(stringFromTemplate("%%TITLE (%%DATE) %%PAGES%%PAGE", "Notes", "1 May", 7, 9), "Notes (1 May) 97");
}

namespace {

QString pdfText(const QString &pdf) {
    QString text;
    run("pdftotext -layout '" + pdf + "' -", &text);
    return text;
}

// What the first page shows, one pixel a point.
struct Ink {
    int coloured = 0;  // pixels of a clear colour (not black, white or grey)
    QRect bounds;      // where anything is drawn
    QSize page;
};

Ink inkOfFirstPage(const QString &pdf) {
    Ink ink;
    const QImage page = renderedPage(pdf, 0);
    ink.page = page.size();
    for (int y = 0; y < page.height(); y++) {
        for (int x = 0; x < page.width(); x++) {
            const QColor colour(page.pixel(x, y));
            if (colour.value() < 250 || colour.hsvSaturation() > 5)
                ink.bounds |= QRect(x, y, 1, 1);
            if (colour.hsvSaturation() > 100 && colour.value() > 60)
                ink.coloured++;
        }
    }
    return ink;
}

QByteArray longNotes() {
    QByteArray text = "title: Field Notes\nauthor: Ann Example\n\n# Birds of the *marsh*\n\n";
    for (int i = 1; i <= 140; i++)
        text += "Line " + QByteArray::number(i) + " with **strong** words and a [link](https://example.org).\n\n";
    return text;
}

}  // namespace

TEST_F(DocumentFixture, PrintedPagesCarryHeadersFootersPageNumbersAndColours) {
    if (!haveTool("pdftotext"))
        GTEST_SKIP() << "pdftotext is not installed (poppler-utils)";
    useShippedStyles();
    SmartEditorDocument *document = open("marsh.md", longNotes());
    ASSERT_TRUE(document);

    // From the command, through the save panel.
    panels.answerSave(platform::ScriptedPanels::SaveAnswer{path("marsh"), QString()});
    document->performAction("printToPDF:", nullptr);
    ASSERT_EQ(panels.savePanels().size(), 1);
    EXPECT_EQ(panels.savePanels().last().nameFieldStringValue, "marsh.pdf");
    ASSERT_TRUE(QFileInfo::exists(path("marsh.pdf")));
    EXPECT_EQ(alerts.count(), 0);
    EXPECT_EQ(prefs().stringForKey("templatedHeader"), "Ann Example\t%%TITLE\t%%DATE");

    const QStringList pages = pdfText(path("marsh.pdf")).split(u'\f', Qt::SkipEmptyParts);
    ASSERT_GE(pages.size(), 3);
    const QString year = QString::number(QDate::currentDate().year() % 100);
    for (int i = 0; i < pages.size(); i++) {
        const QStringList lines = pages[i].split(u'\n', Qt::SkipEmptyParts);
        ASSERT_GE(lines.size(), 3) << "page " << i + 1;
        // Left, centre and right parts on one line, in that order.
        const QString header = lines.first().simplified();
        EXPECT_TRUE(header.startsWith("Ann Example marsh.md ")) << header.toStdString();
        EXPECT_TRUE(header.contains(year)) << header.toStdString();
        EXPECT_EQ(lines.last().simplified(), QStringLiteral("%1 of %2").arg(i + 1).arg(pages.size()));
        EXPECT_FALSE(pages[i].contains(u'%')) << "page " << i + 1;
    }
    // The editor's text as it stands, markup and all.
    EXPECT_TRUE(pages.first().contains("# Birds of the *marsh*"));
    EXPECT_TRUE(pages.last().contains("Line 140 with **strong** words"));
    const Ink ink = inkOfFirstPage(path("marsh.pdf"));
    EXPECT_GT(ink.coloured, 50) << "the theme's colours are printed";
    // Nothing on the paper's edge: the header and footer keep the margins.
    EXPECT_GE(ink.bounds.left(), 17);
    EXPECT_GE(ink.bounds.top(), 17);
    EXPECT_LE(ink.bounds.right(), ink.page.width() - 17);
    EXPECT_LE(ink.bounds.bottom(), ink.page.height() - 17);
    // Kept for a look at the pages.
    QDir().mkpath(QStringLiteral(ORVANE_ARTIFACT_DIR));
    QFile::remove(QStringLiteral(ORVANE_ARTIFACT_DIR "/printed-document.pdf"));
    QFile::copy(path("marsh.pdf"), QStringLiteral(ORVANE_ARTIFACT_DIR "/printed-document.pdf"));

    // From the print panel, printing to a PDF file, without header and footer.
    prefs().setBool(false, "NSPrintHeaderAndFooter");
    panels.answerPrint([&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path("panel.pdf"));
        return true;
    });
    document->performAction("printDocument:", nullptr);
    EXPECT_EQ(panels.printPanels(), 1);
    const QString plain = pdfText(path("panel.pdf"));
    EXPECT_TRUE(plain.startsWith("title: Field Notes")) << plain.left(300).toStdString();
    EXPECT_FALSE(plain.contains("marsh.md") || plain.contains("1 of ")) << plain.left(300).toStdString();

    // A cancelled panel prints nothing and reports nothing.
    document->performAction("printDocument:", nullptr);
    EXPECT_EQ(panels.printPanels(), 2);
    EXPECT_EQ(alerts.count(), 0);
}

TEST_F(DocumentFixture, PlainTextDocumentsPrintTheirTemplatesWithoutMetadata) {
    if (!haveTool("pdftotext"))
        GTEST_SKIP() << "pdftotext is not installed (poppler-utils)";
    ASSERT_TRUE(writeAll(path("plain.txt"), "author: Ann\n\nJust text.\n"));
    KVXTextDocument document;
    ASSERT_TRUE(document.readFromPath(path("plain.txt"), QLatin1String(platform::types::kPlainText)));
    document.makeWindowControllers();
    ASSERT_TRUE(document.printDocumentToPdf(path("plain.pdf")));
    const QString printed = pdfText(path("plain.pdf")).simplified();
    EXPECT_TRUE(printed.startsWith("%author plain.txt ")) << printed.toStdString();
    EXPECT_TRUE(printed.endsWith("1 of 1")) << printed.toStdString();

    // A printer that cannot write its file is reported.
    EXPECT_FALSE(document.printDocumentToPdf(path("no/such/folder/plain.pdf")));
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown().last().messageText, "The document “plain.txt” could not be printed.");
    document.close();
}
