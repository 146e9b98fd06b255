// Markdown documents: every export written from the File menu and opened by
// the program that reads its format, exports that fail writing nothing,
// TextBundle packages saved back whole, the offered types and the save
// panel's name, themes per file, the tag check, comparison as CriticMarkup
// and the outside previewer.
#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include "platform/documents/file_tags.h"
#include "platform/documents/window_controller.h"
#include "window/content/basic_document_content.h"
#include "library/packaging/zip_archive.h"
#include "app/documents/document_fixture.h"
#include "support/sanitizers.h"

using namespace documents_test;
namespace types = platform::types;
using testing_qt::spinUntil;

namespace {

const QString kSource = QStringLiteral(ORVANE_SOURCE_DIR);

struct MarkdownDocuments : DocumentFixture {
    void SetUp() override {
        DocumentFixture::SetUp();
        useShippedStyles();
    }
    // Save To through the File menu, the panel answered with a name and type.
    bool exportAs(SmartEditorDocument *document, const QString &file, const QString &type) {
        panels.answerSave(platform::ScriptedPanels::SaveAnswer{path(file), type});
        const int before = alerts.count();
        document->performAction(QStringLiteral("saveDocumentTo:"), nullptr);
        return alerts.count() == before && QFileInfo::exists(path(file));
    }
};

// The consumers are slow and read what the plain build wrote already: the
// sanitizer build checks the writing only.
bool consumersWanted(const QStringList &tools) {
    if (testing_build::sanitized())
        return false;
    for (const QString &tool : tools) {
        if (!haveTool(tool)) {
            if (qEnvironmentVariableIsSet("CI"))
                ADD_FAILURE() << tool.toStdString() << " is needed; scripts/install-deps installs it";
            return false;
        }
    }
    return true;
}

const QByteArray kNotes =
    "title: Field Notes\n"
    "author: Ann Example\n"
    "latexconfig: article\n"
    "\n"
    "# Morning\n"
    "\n"
    "Some *emphasis* and **strength**, a note[^one], and a picture:\n"
    "\n"
    "![A wren](wren.png)\n"
    "\n"
    "| Bird | Count |\n"
    "|------|------:|\n"
    "| Wren |     3 |\n"
    "\n"
    "[^one]: Seen at dawn.\n";

bool writePicture(const QString &file) {
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::darkRed);
    return picture.save(file, "PNG");
}

}  // namespace

TEST_F(MarkdownDocuments, EveryExportFromTheFileMenuOpensInItsConsumer) {
    ASSERT_TRUE(writePicture(path("wren.png")));
    SmartEditorDocument *document = open("notes.md", kNotes);
    ASSERT_TRUE(document);
    struct Export {
        const char *type;
        const char *file;
    };
    const Export exports[] = {
        {types::kHtml, "notes.html"},
        {types::kTex, "notes.tex"},
        {"vnd.oasis.opendocument.text", "notes.odt"},
        {"vnd.oasis.opendocument.text-flat-xml", "notes-flat.fodt"},
        {types::kEpub, "notes.epub"},
        {types::kTextPack, "notes.textpack"},
    };
    QString previous = QStringLiteral("public.html");
    const QStringList everyType{types::kMarkdownType, types::kHtml, types::kTex,     types::kOdt,
                                types::kFlatOdt,      types::kEpub, types::kTextPack};
    for (const Export &e : exports) {
        ASSERT_TRUE(exportAs(document, e.file, e.type)) << e.type;
        // The types are offered in one order, plain text never, and the
        // last type used is chosen at the start.
        EXPECT_EQ(panels.savePanels().last().types, everyType) << e.type;
        EXPECT_EQ(panels.savePanels().last().chosenType, platform::TypeRegistry::canonical(previous)) << e.type;
        // The name proposed is the file that type writes, not "notes.md".
        EXPECT_EQ(panels.savePanels().last().nameFieldStringValue,
                  "notes." + platform::TypeRegistry::preferredExtension(previous))
            << e.type;
        previous = QLatin1String(e.type);
    }
    EXPECT_EQ(prefs().stringForKey("lastExportType"), QLatin1String(types::kTextPack));
    EXPECT_EQ(document->filePath(), path("notes.md")) << "an export keeps the document's own file";
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(readAll(path("notes.md")), kNotes);

    // The compressed TextBundle: the text and its picture.
    const QByteArray pack = readAll(path("notes.textpack"));
    const QString unpacked = path("unpacked");
    ASSERT_EQ(tzr_unzip_data_to_folder(pack.constData(), size_t(pack.size()), QFile::encodeName(unpacked).constData()),
              0);
    QStringList entries;
    for (QDirIterator walk(unpacked, QDir::Files, QDirIterator::Subdirectories); walk.hasNext();)
        entries += QDir(unpacked).relativeFilePath(walk.next());
    EXPECT_TRUE(entries.contains("info.json")) << entries.join(", ").toStdString();
    EXPECT_EQ(entries.filter(QRegularExpression("^[^/]+\\.textbundle/text\\.markdown$|^text\\.markdown$")).size(), 1)
        << entries.join(", ").toStdString();
    EXPECT_EQ(entries.filter(QRegularExpression("^assets/.")).size(), 1) << entries.join(", ").toStdString();

    if (!consumersWanted({"xmllint", "soffice", "pdflatex", "pdftotext", "java"}))
        return;
    QString output;
    EXPECT_EQ(run("xmllint --noout '" + path("notes.html") + "'", &output), 0) << output.toStdString();
    EXPECT_TRUE(readAll(path("notes.html")).contains("<em>emphasis</em>"));
    EXPECT_EQ(run("xmllint --noout '" + path("notes-flat.fodt") + "'", &output), 0) << output.toStdString();

    // LibreOffice opens both OpenDocument files and keeps their words.
    run("cd '" + folder.path() + "' && timeout 300 soffice -env:UserInstallation=file://" + path("profile") +
            " --headless --norestore --convert-to txt:Text --outdir converted notes.odt notes-flat.fodt",
        &output);
    for (const char *converted : {"converted/notes.txt", "converted/notes-flat.txt"}) {
        const QByteArray words = readAll(path(converted));
        EXPECT_TRUE(words.contains("Morning") && words.contains("emphasis") && words.contains("Wren"))
            << converted << ": " << words.left(400).toStdString() << "\n" << output.toStdString();
    }

    // pdflatex builds the LaTeX with the program's support files.
    EXPECT_EQ(run("cd '" + folder.path() + "' && TEXINPUTS='" + kSource +
                      "/resources/latex//:' timeout 120 pdflatex -interaction=nonstopmode -halt-on-error notes.tex "
                      "</dev/null >latex.log",
                  &output),
              0)
        << readAll(path("latex.log")).right(3000).toStdString();
    run("pdftotext '" + path("notes.pdf") + "' -", &output);
    EXPECT_TRUE(output.contains("Morning") && output.contains("Field Notes")) << output.toStdString();

    // epubcheck finds no error in the book.
    const int status = run("java -Xss4m -cp /usr/share/java/epubcheck.jar '" + kSource +
                               "/tests/support/epubcheck_books.java' '" + path("notes.epub") + "'",
                           &output);
    EXPECT_EQ(status, 0) << output.toStdString();
    EXPECT_TRUE(output.contains("== " + path("notes.epub"))) << output.toStdString();
    EXPECT_FALSE(output.contains("ERROR(") || output.contains("FATAL(")) << output.toStdString();
}

namespace {

// A window content whose exports make nothing.
class BarrenContent : public BasicDocumentContent {
public:
    QByteArray exportToFormat(short, LeftOutFiles *) override { return {}; }
};

}  // namespace

// A document someone sent may name any file as a picture. A package holds
// only the pictures; the rest is left out, and one message names it.
TEST_F(MarkdownDocuments, APackageHoldsOnlyPicturesAndOneMessageNamesTheRest) {
    ASSERT_TRUE(writePicture(path("wren.png")));
    const QByteArray diary = "Dear diary, nobody else reads this.\n";
    const QByteArray secret = "the key to the other folder\n";
    ASSERT_TRUE(writeAll(path("diary.png"), diary));
    QTemporaryDir outside;
    ASSERT_TRUE(writeAll(outside.filePath("secret.txt"), secret));
    ASSERT_TRUE(QFile::link(outside.filePath("secret.txt"), path("link.png")));
    SmartEditorDocument *document =
        open("shared.md", "# Sent to me\n\n![wren](wren.png) ![diary](diary.png) ![link](link.png)\n");
    ASSERT_TRUE(document);

    const struct {
        const char *type;
        const char *file;
        bool unpacks;  // a book has no entry for its assets' folder, which unpacking needs
    } packages[] = {
        {"vnd.oasis.opendocument.text", "shared.odt", true},
        {types::kEpub, "shared.epub", false},
        {types::kTextPack, "shared.textpack", true},
    };
    for (const auto &package : packages) {
        panels.answerSave(platform::ScriptedPanels::SaveAnswer{path(package.file), package.type});
        const qsizetype before = alerts.count();
        document->performAction(QStringLiteral("saveDocumentTo:"), nullptr);
        ASSERT_EQ(alerts.count(), before + 1) << package.type;
        const platform::Alert alert = alerts.shown().last();
        EXPECT_EQ(alert.messageText,
                  QStringLiteral("“%1” was exported without some of the files the document names.").arg(package.file));
        EXPECT_TRUE(alert.informativeText.endsWith(QStringLiteral("\n\ndiary.png\nlink.png")))
            << alert.informativeText.toStdString();

        // The picture is in the package; the diary and the file behind the
        // link are nowhere in it.
        if (!package.unpacks)
            continue;
        const QByteArray data = readAll(path(package.file));
        const QString unpacked = path(QStringLiteral("unpacked-") + package.file);
        ASSERT_EQ(tzr_unzip_data_to_folder(data.constData(), size_t(data.size()),
                                           QFile::encodeName(unpacked).constData()),
                  0);
        int pictures = 0;
        for (QDirIterator walk(unpacked, QDir::Files, QDirIterator::Subdirectories); walk.hasNext();) {
            const QByteArray bytes = readAll(walk.next());
            EXPECT_FALSE(bytes.contains(diary) || bytes.contains(secret)) << walk.filePath().toStdString();
            pictures += bytes == readAll(path("wren.png"));
        }
        EXPECT_EQ(pictures, 1) << package.type;
    }
    // An export that packs nothing has nothing to say.
    EXPECT_TRUE(exportAs(document, "shared.html", QLatin1String(types::kHtml)));
}

// The message names every file the package is without, by why: a picture
// that is not there, one too large to take (a sparse file of 2 GB), and a
// file that is no picture.
TEST_F(MarkdownDocuments, TheMessageNamesEveryFileLeftOutAndWhy) {
    ASSERT_TRUE(writePicture(path("wren.png")));
    ASSERT_TRUE(writeAll(path("diary.png"), "Dear diary\n"));
    QFile huge(path("huge.png"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.write(readAll(path("wren.png"))) > 0 &&
                huge.resize(qint64(2) << 30));
    huge.close();
    SmartEditorDocument *document = open("album.md", "![wren](wren.png) ![gone](gone.png) ![huge](huge.png) "
                                                     "![diary](diary.png) ![lost](lost/owl.png)\n");
    ASSERT_TRUE(document);

    const std::pair<const char *, const char *> packages[] = {
        {"vnd.oasis.opendocument.text", "album.odt"}, {types::kEpub, "album.epub"}, {types::kTextPack, "album.textpack"}};
    for (const auto &[type, file] : packages) {
        panels.answerSave(platform::ScriptedPanels::SaveAnswer{path(file), type});
        const qsizetype before = alerts.count();
        document->performAction(QStringLiteral("saveDocumentTo:"), nullptr);
        ASSERT_EQ(alerts.count(), before + 1) << type;
        EXPECT_EQ(alerts.shown().last().informativeText.toStdString(),
                  "These could not be read or downloaded:\n\ngone.png\nlost/owl.png\n\n"
                  "These are larger than 64 MiB, the most an export takes of a file:\n\nhuge.png\n\n"
                  "These are not pictures (or a style sheet) that this format can hold:\n\ndiary.png")
            << type;
        EXPECT_LT(QFileInfo(path(file)).size(), 100000) << type;
    }

    // Pictures that are all there leave nothing to say.
    SmartEditorDocument *whole = open("whole.md", "![wren](wren.png)\n");
    ASSERT_TRUE(whole);
    EXPECT_TRUE(exportAs(whole, "whole.epub", QLatin1String(types::kEpub)));
}

TEST_F(MarkdownDocuments, AnExportThatMakesNothingIsReportedAndWritesNoFile) {
    SmartEditorDocument::setContentFactory([] { return new BarrenContent; });
    SmartEditorDocument *document = open("barren.md", "# Nothing comes of this\n");
    ASSERT_TRUE(document);
    ASSERT_TRUE(writeAll(path("kept.html"), "the old export"));

    for (const QString &file : {QStringLiteral("kept.html"), QStringLiteral("new.epub")}) {
        const QString type = QLatin1String(file.endsWith("html") ? types::kHtml : types::kEpub);
        EXPECT_FALSE(exportAs(document, file, type));
        ASSERT_GE(alerts.count(), 1);
        EXPECT_EQ(alerts.shown().last().messageText,
                  QStringLiteral("The document “barren.md” could not be exported as “%1”.").arg(file));
        EXPECT_FALSE(alerts.shown().last().informativeText.isEmpty());
    }
    EXPECT_EQ(readAll(path("kept.html")), "the old export");
    EXPECT_FALSE(QFileInfo::exists(path("new.epub")));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"barren.md", "kept.html"}));
    EXPECT_EQ(prefs().stringForKey("lastExportType"), "public.html") << "a failed export is not remembered";

    // A type outside the table is the text itself, with its line endings.
    prefs().setInteger(2, "exportLineEndings");
    EXPECT_TRUE(exportAs(document, "copy.txt", QLatin1String(types::kPlainText)));
    EXPECT_EQ(readAll(path("copy.txt")), "# Nothing comes of this\r");
}

TEST_F(MarkdownDocuments, ATextBundleIsSavedBackAsAPackageWithItsAssets) {
    const QString bundle = path("trip.textbundle");
    ASSERT_TRUE(QDir().mkpath(bundle + "/assets"));
    const QByteArray info = "{\"version\":2,\"type\":\"net.daringfireball.markdown\",\"creatorIdentifier\":\"x\"}";
    ASSERT_TRUE(writeAll(bundle + "/info.json", info));
    ASSERT_TRUE(writePicture(bundle + "/assets/map.png"));
    const QByteArray picture = readAll(bundle + "/assets/map.png");
    ASSERT_TRUE(writeAll(bundle + "/text.markdown", "# Trip\n\n![Map](assets/map.png)\n"));

    SmartEditorDocument *document = openExisting(bundle);
    ASSERT_TRUE(document);
    EXPECT_EQ(text(document), "# Trip\n\n![Map](assets/map.png)\n");
    EXPECT_EQ(document->actualFilePath(), bundle + "/text.markdown");

    type(document, "Day one.\n");
    ASSERT_TRUE(document->saveDocument());
    EXPECT_TRUE(QFileInfo(bundle).isDir());
    EXPECT_EQ(readAll(bundle + "/text.markdown"), "# Trip\n\n![Map](assets/map.png)\nDay one.\n");
    EXPECT_EQ(readAll(bundle + "/info.json"), info);
    EXPECT_EQ(readAll(bundle + "/assets/map.png"), picture);
    EXPECT_EQ(QDir(bundle).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{"assets", "info.json", "text.markdown"}));

    // Another program's change to the package's text is heard and merged.
    prefs().setBool(true, "MERGE_FILE_CHANGES");
    type(document, "Day two.\n");
    ASSERT_TRUE(renameSave(bundle + "/text.markdown", "# The Trip\n\n![Map](assets/map.png)\nDay one.\n"));
    ASSERT_TRUE(spinUntil([&] { return text(document).startsWith("# The Trip"); }));
    EXPECT_TRUE(text(document).endsWith("Day one.\nDay two.\n"));

    // Saved as a new package: the assets go with it, and it gets its own info.
    panels.answerSave(platform::ScriptedPanels::SaveAnswer{path("copy"), QString()});
    ASSERT_TRUE(document->saveDocumentAs());
    EXPECT_EQ(panels.savePanels().last().types,
              (QStringList{QLatin1String(types::kTextBundle), QLatin1String(types::kMarkdownType)}));
    const QString copy = path("copy.textbundle");
    EXPECT_EQ(document->filePath(), copy);
    EXPECT_EQ(readAll(copy + "/assets/map.png"), picture);
    EXPECT_TRUE(readAll(copy + "/text.markdown").endsWith("Day two.\n"));
    EXPECT_TRUE(QFileInfo(copy + "/info.json").isFile());
    EXPECT_FALSE(document->isDocumentEdited());

    // A file where the package would go is not overwritten.
    ASSERT_TRUE(writeAll(path("plain.textbundle"), "a file"));
    EXPECT_FALSE(document->saveToPath(path("plain.textbundle"), types::kMarkdownType,
                                      platform::SaveOperation::SaveAs));
    EXPECT_EQ(readAll(path("plain.textbundle")), "a file");
    EXPECT_EQ(document->filePath(), copy);
    // Such a file opens as the text it is.
    SmartEditorDocument *plain = openExisting(path("plain.textbundle"));
    ASSERT_TRUE(plain) << (alerts.count() ? alerts.shown().last().informativeText.toStdString() : "");
    EXPECT_EQ(text(plain), "a file");
}

// The export panel as the user works it: the formats in their one order,
// the last export's chosen, and the name typed into it.
TEST_F(MarkdownDocuments, TheNameTypedChoosesTheExportFormatItsExtensionNames) {
    SmartEditorDocument *document = open("notes.md", "# Notes\n\nSome *words*.\n");
    ASSERT_TRUE(document);
    ASSERT_TRUE(exportAs(document, "notes.tex", types::kTex));
    const QByteArray latex = readAll(path("notes.tex"));
    ASSERT_TRUE(latex.contains("\\emph{words}")) << latex.toStdString();

    // The panel itself, not its script, from here on.
    struct RealPanels {
        platform::FilePanels::Handlers scripted = platform::FilePanels::setHandlers({});
        ~RealPanels() { platform::FilePanels::setHandlers(std::move(scripted)); }
    } real;
    struct Shown {
        QStringList kinds;
        QString chosen, name;
    };
    // Exports with `typed` in the name field, as the panel first showed.
    // The proposed name is always a file there, which the panel selects
    // once it has read the folder: the name is typed over it after that, as
    // a person reads the panel first.
    const auto exportTyped = [&](const QString &typed) {
        Shown shown;
        QObject looking;  // ends the looking with the export
        const auto shownAt = std::chrono::steady_clock::now();
        std::function<void()> act = [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            auto *field = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
            auto *kinds = dialog ? dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")) : nullptr;
            auto *files = dialog ? dialog->findChild<QListView *>(QStringLiteral("listView")) : nullptr;
            const bool waited = std::chrono::steady_clock::now() - shownAt > std::chrono::seconds(10);
            if ((!files || !files->selectionModel()->hasSelection()) && !waited) {
                QTimer::singleShot(20, &looking, act);
                return;
            }
            if (!field || !kinds) {
                ADD_FAILURE() << "no panel";
                if (auto *modal = QApplication::activeModalWidget())
                    modal->close();
                return;
            }
            for (int i = 0; i < kinds->count(); i++)
                shown.kinds << kinds->itemText(i);
            shown.chosen = kinds->currentText();
            shown.name = field->text();
            dialog->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
            field->setFocus();
            field->selectAll();
            QTest::keyClicks(field, typed);
            QTest::keyClick(field, Qt::Key_Return);
            // A panel that stayed (a question answered Cancel) fails the test.
            QTimer::singleShot(2000, [still = QPointer<QFileDialog>(dialog)] {
                if (still)
                    still->reject();
            });
        };
        QTimer::singleShot(20, &looking, act);
        document->performAction(QStringLiteral("saveDocumentTo:"), nullptr);
        return shown;
    };
    QStringList kinds;
    for (const char *type : {types::kMarkdownType, types::kHtml, types::kTex, types::kOdt, types::kFlatOdt,
                             types::kEpub, types::kTextPack})
        kinds << platform::TypeRegistry::nameFilter(QLatin1String(type));
    const auto isZip = [](const QByteArray &bytes) { return bytes.startsWith("PK\x03\x04"); };

    // LaTeX, used last, is chosen; "notes.odt" typed is written as
    // OpenDocument text, and "notes.tex" is neither asked about nor touched.
    Shown shown = exportTyped(QStringLiteral("notes.odt"));
    EXPECT_EQ(shown.kinds, kinds);
    EXPECT_EQ(shown.chosen, platform::TypeRegistry::nameFilter(QLatin1String(types::kTex)));
    EXPECT_EQ(shown.name, "notes.tex");
    EXPECT_EQ(alerts.count(), 0) << alerts.shown().value(0).messageText.toStdString();
    EXPECT_TRUE(isZip(readAll(path("notes.odt"))));
    EXPECT_EQ(readAll(path("notes.tex")), latex);
    EXPECT_EQ(prefs().stringForKey("lastExportType"), QLatin1String(types::kOdt));

    // The list keeps its order, OpenDocument text now chosen; a name whose
    // extension is no format's gets that format's.
    shown = exportTyped(QStringLiteral("notes.v2"));
    EXPECT_EQ(shown.kinds, kinds);
    EXPECT_EQ(shown.chosen, platform::TypeRegistry::nameFilter(QLatin1String(types::kOdt)));
    EXPECT_EQ(shown.name, "notes.odt");
    EXPECT_TRUE(isZip(readAll(path("notes.v2.odt"))));
    EXPECT_FALSE(QFileInfo::exists(path("notes.v2")));

    // An HTML name with OpenDocument text chosen is a page.
    exportTyped(QStringLiteral("page.html"));
    EXPECT_TRUE(readAll(path("page.html")).contains("<em>words</em>"));
    EXPECT_EQ(prefs().stringForKey("lastExportType"), QLatin1String(types::kHtml));
    EXPECT_EQ(alerts.count(), 0);
}

TEST_F(MarkdownDocuments, SavePanelsOfferTheMarkdownTypeAndANameFromTheTitle) {
    prefs().setBool(true, "betterFilenames");
    prefs().setBool(true, "autoTag");
    auto *document = qobject_cast<SmartEditorDocument *>(controller.openUntitledDocument(false));
    ASSERT_TRUE(document);
    type(document, "title: Notes\ntags: birds, spring\n\nText.\n");
    panels.answerSave(std::nullopt);
    EXPECT_FALSE(document->saveDocument());
    const platform::SavePanel &panel = panels.savePanels().last();
    EXPECT_EQ(panel.types, (QStringList{QLatin1String(types::kMarkdownType)}));
    EXPECT_EQ(panel.nameFieldStringValue, "Notes.md");
    EXPECT_EQ(panel.allowedExtensions.value(0), "md");
    EXPECT_TRUE(panel.allowsOtherFileTypes);
    EXPECT_EQ(panel.tagNames, (QStringList{"birds", "spring"}));

    // Without a title, the first line names the file.
    storage(document)->replaceCharactersInRange({0, storage(document)->length()}, "  A walk in May  \nmore");
    panels.answerSave(std::nullopt);
    document->saveDocument();
    EXPECT_EQ(panels.savePanels().last().nameFieldStringValue, "A walk in May.md");
}

TEST_F(MarkdownDocuments, EachFileKeepsItsThemeAndStyleSheet) {
    const QString defaultTheme = prefs().stringForKey("defaultTheme");
    SmartEditorDocument *document = open("styled.md", "text\n");
    ASSERT_TRUE(document);
    EXPECT_EQ(document->activeTheme(), defaultTheme);
    document->selectTheme("Typewriter");
    document->selectCSS("Orvane");
    EXPECT_EQ(prefs().stringForKey("Theme " + path("styled.md")), "Typewriter");
    EXPECT_EQ(prefs().stringForKey("CSS " + path("styled.md")), "Orvane");
    document->close();

    document = openExisting(path("styled.md"));
    ASSERT_TRUE(document);
    EXPECT_EQ(document->activeTheme(), "Typewriter");
    EXPECT_EQ(document->activeCSS(), "Orvane");
    auto *content = dynamic_cast<BasicDocumentContent *>(document->content());
    ASSERT_TRUE(content);
    EXPECT_TRUE(content->activeCSSPath().endsWith("/Orvane.css"));

    // The default is no choice at all.
    document->selectTheme(defaultTheme);
    EXPECT_FALSE(prefs().hasStoredValue("Theme " + path("styled.md")));
}

TEST_F(MarkdownDocuments, MetadataTagsOutOfStepWithTheFilesTagsAreOffered) {
    prefs().setBool(true, "autoTag");
    const QByteArray source = "tags: birds, spring\n\nText.\n";
    ASSERT_TRUE(writeAll(path("tagged.md"), source));
    if (!platform::FileTags::setTags(path("tagged.md"), {"birds"}))
        GTEST_SKIP() << "the temporary folder keeps no extended attributes";

    // "Leave as is", then "Update file tags". The alert speaks of the file's
    // tags, not of a system the user does not have.
    alerts.addAnswers({2, 0});
    SmartEditorDocument *document = openExisting(path("tagged.md"));
    ASSERT_TRUE(document);
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown().last().messageText, "Tags out of sync");
    EXPECT_EQ(alerts.shown().last().informativeText,
              "The tags specified in the metadata differ from those set as file tags.\n\nMetadata: <birds, "
              "spring>\n\nFile tags: <birds>");
    EXPECT_EQ(alerts.shown().last().buttons, (QStringList{"Update file tags", "Update metadata tags", "Leave as is"}));
    EXPECT_EQ(platform::FileTags::tags(path("tagged.md")), QStringList{"birds"});
    document->close();
    document = openExisting(path("tagged.md"));
    ASSERT_EQ(alerts.count(), 2);
    QStringList tags = platform::FileTags::tags(path("tagged.md")).value_or(QStringList());
    tags.sort();
    EXPECT_EQ(tags, (QStringList{"birds", "spring"}));
    document->close();

    // The same tags in another order: no question. "Update metadata tags"
    // shows the file's tags in the text, unsaved.
    ASSERT_TRUE(platform::FileTags::setTags(path("tagged.md"), {"spring", "birds"}));
    document = openExisting(path("tagged.md"));
    EXPECT_EQ(alerts.count(), 2);
    document->close();
    ASSERT_TRUE(platform::FileTags::setTags(path("tagged.md"), {"owls"}));
    alerts.addAnswers({1});
    document = openExisting(path("tagged.md"));
    ASSERT_EQ(alerts.count(), 3);
    EXPECT_TRUE(text(document).startsWith("tags: owls\n")) << text(document).toStdString();
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(readAll(path("tagged.md")), source);
}

TEST_F(MarkdownDocuments, ComparisonTranscludedCopiesAndTheOutsidePreviewer) {
    SmartEditorDocument *document = open("draft.md", "The quick fox jumps.\n");
    ASSERT_TRUE(document);
    type(document, "A new line.\n");
    ASSERT_TRUE(writeAll(path("older.md"), "The slow fox jumps.\n"));
    panels.answerOpen({path("older.md")});
    document->performAction("diffToCriticMarkup:", nullptr);
    EXPECT_EQ(panels.openPanels().last().title, "Compare with...");
    ASSERT_EQ(controller.documents().size(), 2);
    auto *compared = qobject_cast<SmartEditorDocument *>(controller.documents().last());
    ASSERT_TRUE(spinUntil([&] { return !text(compared).isEmpty(); }));
    EXPECT_EQ(text(compared), "The {~~slow~>quick~~} fox jumps.\n{++A new line.\n++}");
    EXPECT_TRUE(compared->filePath().isEmpty());

    // A file that cannot be read gives an empty new document.
    document->diffToCriticMarkupWithFile(path("absent.md"));
    ASSERT_EQ(controller.documents().size(), 3);
    testing_qt::spinFor(std::chrono::milliseconds(20));
    EXPECT_EQ(text(qobject_cast<SmartEditorDocument *>(controller.documents().last())), "");

    // The text after transclusion, in a new document.
    prefs().setBool(true, "EXT_TRANSCLUDE");
    ASSERT_TRUE(writeAll(path("part.md"), "Included words.\n"));
    storage(document)->replaceCharactersInRange({0, storage(document)->length()}, "Start.\n\n{{part.md}}\n");
    document->performAction("transcludeToNewDocument:", nullptr);
    ASSERT_EQ(controller.documents().size(), 4);
    auto *transcluded = qobject_cast<SmartEditorDocument *>(controller.documents().last());
    ASSERT_TRUE(spinUntil([&] { return !text(transcluded).isEmpty(); }));
    EXPECT_TRUE(text(transcluded).contains("Included words.")) << text(transcluded).toStdString();

    // Marked is not to be had here.
    document->performAction("openWithMarked:", nullptr);
    EXPECT_EQ(alerts.shown().last().messageText, "About Marked");
    EXPECT_EQ(alerts.shown().last().informativeText,
              "Marked and Marked 2 are separate applications and must be installed prior to use.");
    transcluded->openWithMarked();
    EXPECT_EQ(alerts.shown().last().messageText, "Warning");
    EXPECT_EQ(alerts.shown().last().informativeText,
              "The document must be saved to disk in order to preview with the Marked application.");
}

// A large file's text goes into its editor from its start, the rest while
// the program idles. Meanwhile the document is not edited, the selection
// kept for the file is restored where it was, and what is saved or typed
// into is the whole text.
TEST_F(MarkdownDocuments, ALargeFileIsWholeForItsSelectionTypingAndSavingWhileItsTextGoesIn) {
    QByteArray bytes;
    for (int part = 1; bytes.size() < 3 * SmartTextStorage::kStyleAheadBytes; part++)
        bytes += "## Part " + QByteArray::number(part) + "\n\nSome *text* in a paragraph of `part` " +
                 QByteArray::number(part) + ", with a [link](https://example.org/).\n\n";
    bytes += "The end.\n";
    const qsizetype far = bytes.indexOf("## Part 5000\n");
    ASSERT_GT(far, 0);
    prefs().setSelection(platform::TextRange{far + 3, 4}, path("large.md"));

    SmartEditorDocument *document = open("large.md", bytes);
    ASSERT_TRUE(document);
    SmartTextStorage *shown = storage(document);
    KVXTextView *editor = document->firstWindow()->findChild<KVXTextView *>();
    ASSERT_TRUE(shown->isLayingIn());
    EXPECT_EQ(editor->selectedRange(), (CharRange{far + 3, 4}));
    EXPECT_EQ(editor->textCursor().selectedText(), QStringLiteral("Part"));
    EXPECT_EQ(shown->string(), QString::fromUtf8(bytes));
    EXPECT_FALSE(document->isDocumentEdited());

    // Saved as it is: the whole text, though the editor holds only its start.
    ASSERT_TRUE(document->saveDocument());
    EXPECT_EQ(readAll(path("large.md")), bytes);
    ASSERT_TRUE(shown->isLayingIn());
    EXPECT_FALSE(document->isDocumentEdited());

    // Typed at the end before the end is in.
    type(document, "More.\n");
    EXPECT_FALSE(shown->isLayingIn());
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(shown->document()->toPlainText(), shown->string());
    ASSERT_TRUE(document->saveDocument());
    EXPECT_EQ(readAll(path("large.md")), bytes + "More.\n");
    EXPECT_EQ(alerts.count(), 0);
}
