#include "app/prefs/smart_editor_preferences.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "app/prefs/pane_builder.h"
#include "app/extras/tzr_theme_controller.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/action_router.h"

using prefs::PaneBuilder;

const QStringList &SmartEditorPreferences::paneLabels() {
    static const QStringList labels = {
        QStringLiteral("General"),      QStringLiteral("Appearance"), QStringLiteral("Editing"),
        QStringLiteral("TZR"),          QStringLiteral("CriticMarkup"), QStringLiteral("Preview"),
        QStringLiteral("Printing"),     QStringLiteral("Files"),      QStringLiteral("Advanced"),
        QStringLiteral("Pro Features"),
    };
    return labels;
}

SmartEditorPreferences *SmartEditorPreferences::sharedPrefsWindowController() {
    return static_cast<SmartEditorPreferences *>(ZebPrefsWindowController::sharedPrefsWindowController(
        [] { return new SmartEditorPreferences; }));
}

SmartEditorPreferences::SmartEditorPreferences(platform::Defaults *defaults,
                                               TZRThemeController *extras, QObject *parent)
    : ZebPrefsWindowController(defaults, parent),
      m_extras(extras ? extras : TZRThemeController::sharedController()) {}

SmartEditorPreferences::~SmartEditorPreferences() {
    // The popups go with the window; the keeper must not fill them after.
    m_extras->setThemeButton(nullptr);
    m_extras->setCSSButton(nullptr);
}

void SmartEditorPreferences::showPreferences() { sharedPrefsWindowController()->showWindow(); }

QWidget *SmartEditorPreferences::paneView(const QString &label) const {
    const qsizetype index = paneLabels().indexOf(label);
    return index >= 0 && index < m_panes.size() ? m_panes.at(index).data() : nullptr;
}

void SmartEditorPreferences::windowDidLoad() {
    ZebPrefsWindowController::windowDidLoad();
    m_panes = {makeGeneral(),      makeAppearance(), makeEditing(),  makeTZR(),
              makeCriticMarkup(), makePreview(),    makePrinting(), makeFiles(),
              makeAdvanced(),     makePro()};
    for (QWidget *pane : std::as_const(m_panes)) {
        pane->setParent(contentSubview());
        pane->hide();
    }
    m_extras->updateThemeMenu();
    m_extras->updateCSSMenu();
}

void SmartEditorPreferences::setupToolbar() {
    for (qsizetype i = 0; i < m_panes.size(); i++)
        addView(m_panes.at(i), paneLabels().at(i));
}

// --- The panes -------------------------------------------------------------------

QWidget *SmartEditorPreferences::makeGeneral() {
    PaneBuilder pane(defaults(), QStringLiteral("General"));
    pane.section(tr("Starting"))
        .check(QStringLiteral("checkForAnnouncements"), tr("Look for announcements when Orvane starts"))
        .check(QStringLiteral("showPreviewAtFirst"), tr("Show the preview in new windows"))
        .check(QStringLiteral("useKeyBindingsForMenuBar"),
               tr("Show my key bindings in the menus (from the next start)"));
    pane.section(tr("Windows"))
        .check(QStringLiteral("showInfoBar"), tr("Show the info bar in new windows"))
        .check(QStringLiteral("refOnRight"), tr("References sidebar on the right in new windows"))
        .check(QStringLiteral("expandTOCAlways"), tr("Expand every heading in the table of contents"));
    return pane.finish();
}

QWidget *SmartEditorPreferences::makeAppearance() {
    PaneBuilder pane(defaults(), QStringLiteral("Appearance"));
    auto *themes = new QComboBox;
    themes->setObjectName(QStringLiteral("defaultTheme"));
    themes->setMinimumWidth(200);
    m_extras->setThemeButton(themes);

    auto *font = new QWidget;
    auto *fontRow = new QHBoxLayout(font);
    fontRow->setContentsMargins(0, 0, 0, 0);
    m_defaultFontField = new QLineEdit;
    m_defaultFontField->setObjectName(QStringLiteral("defaultFontField"));
    m_defaultFontField->setReadOnly(true);
    m_defaultFontField->setMinimumWidth(200);
    auto *change = new QPushButton(tr("Change…"));
    change->setObjectName(QStringLiteral("myChangeFont:"));
    fontRow->addWidget(m_defaultFontField);
    fontRow->addWidget(change);
    connect(change, &QPushButton::clicked, this, &SmartEditorPreferences::changeFontRequested);
    // The button asks for what Orvane ▸ Default Font… does, as the menu item
    // asks: whoever answers the action (the application) opens the chooser.
    connect(this, &SmartEditorPreferences::changeFontRequested, change,
            [change] { platform::ActionRouter::sendAction(QStringLiteral("myChangeFont:"), change, change); });
    auto showFont = [this] {
        if (m_defaultFontField)
            m_defaultFontField->setText(
                tr("%1 %2 pt")
                    .arg(defaults().stringForKey(QStringLiteral("defaultFontName")))
                    .arg(double(defaults().floatForKey(QStringLiteral("defaultFontSize")))));
    };
    showFont();
    defaults().observe(QStringList{QStringLiteral("defaultFontName"), QStringLiteral("defaultFontSize")},
                       m_defaultFontField, [showFont](const QString &, const QVariant &) { showFont(); });

    pane.section(tr("Editor"))
        .row(tr("Theme of new windows:"), themes)
        .note(tr("An open document keeps its theme; View ▸ Theme changes it."))
        .row(tr("Font:"), font)
        .real(QStringLiteral("lineHeight"), tr("Line height:"), 0.5, 4.0, 0.1, 1)
        .choice(QStringLiteral("defaultTextAlignment"), tr("Alignment:"),
                {tr("Natural"), tr("Left"), tr("Right"), tr("Justified"), tr("Centred")})
        .integer(QStringLiteral("lineLength"), tr("Line length:"), 0, 500, tr(" characters"))
        .note(tr("A line length of 0 lets the text fill the window."))
        .integer(QStringLiteral("horizontalPadding"), tr("Side margins:"), 0, 1000, tr(" px"))
        .integer(QStringLiteral("verticalPadding"), tr("Top and bottom margins:"), 0, 1000, tr(" px"))
        .real(QStringLiteral("typewriterHeight"), tr("Typing line at:"), 0.0, 1.0, 0.05);
    // What the View menu switches for each window; these are where new
    // windows start.
    pane.section(tr("New windows"))
        .integer(QStringLiteral("defaultZoom"), tr("Zoom:"), 25, 400, tr(" %"))
        .check(QStringLiteral("defaultAutoZoom"), tr("Zoom so that the line length fills the window"))
        .check(QStringLiteral("defaultTypewriterMode"), tr("Typewriter scrolling"))
        .check(QStringLiteral("showInvisibleCharacters"), tr("Show invisible characters"))
        .check(QStringLiteral("showLineNumbers"), tr("Show line numbers"));
    pane.section(tr("Sidebars"))
        .choice(QStringLiteral("appearanceTheme"), tr("Look:"),
                {tr("Light"), tr("Dark"), tr("Plain"), tr("The editor theme's colours")});
    return pane.finish();
}

QWidget *SmartEditorPreferences::makeEditing() {
    PaneBuilder pane(defaults(), QStringLiteral("Editing"));
    pane.section(tr("Typing"))
        .check(QStringLiteral("enableSmartPairs"), tr("Close brackets, quotes and markers as they are typed"))
        .text(QStringLiteral("smartPairCharacters"), tr("Pairs:"))
        .check(QStringLiteral("typeOverPeriods"), tr("Type over a closing character with a period"))
        .check(QStringLiteral("useElasticTabstops"), tr("Line up tab-separated columns"));
    pane.section(tr("Return and Tab"))
        .check(QStringLiteral("SMART_ENTER_LIST"), tr("Return continues a list"))
        .check(QStringLiteral("SMART_ENTER_BLOCKQUOTE"), tr("Return continues a block quote"))
        .check(QStringLiteral("SMART_ENTER_INDENT"), tr("Return keeps the indentation"))
        .check(QStringLiteral("SMART_TAB"), tr("Tab indents list items"))
        .check(QStringLiteral("TAB_INDENTS_SELECTION"), tr("Tab indents selected lines"));
    pane.section(tr("Undo"))
        .choice(QStringLiteral("COALESCE_LEVEL"), tr("One undo step for:"),
                {tr("Each character"), tr("Each word"), tr("Words and spaces"), tr("A run of typing")})
        .check(QStringLiteral("useUndoHistoryMode"), tr("Keep every step, undos included (new windows)"));
    return pane.finish();
}

QWidget *SmartEditorPreferences::makeTZR() {
    PaneBuilder pane(defaults(), QStringLiteral("TZR"));
    pane.section(tr("Tessaro markup"))
        .check(QStringLiteral("EXT_SMART"), tr("Smart typography"))
        .check(QStringLiteral("EXT_NOTES"), tr("Footnotes, citations, glossary and abbreviations"))
        .check(QStringLiteral("EXT_TRANSCLUDE"), tr("Transclusion of other files ({{file}})"))
        .check(QStringLiteral("EXT_RANDOM_FOOT"), tr("Random footnote numbers"))
        .check(QStringLiteral("EXT_NO_LABELS"), tr("No identifiers on headings"))
        .check(QStringLiteral("EXT_COMPATIBILITY"), tr("Plain Markdown only"));
    pane.section(tr("Export"))
        .check(QStringLiteral("EXT_COMPLETE"), tr("Complete documents"))
        .check(QStringLiteral("EXT_SNIPPET"), tr("Snippets without a document head"));
    pane.section(tr("Markers"))
        .choice(QStringLiteral("tzrEmphasisMarker"), tr("Emphasis:"), {QStringLiteral("*"), QStringLiteral("_")})
        .choice(QStringLiteral("tzrStrongMarker"), tr("Strong:"), {QStringLiteral("**"), QStringLiteral("__")})
        .choice(QStringLiteral("tzrListMarker"), tr("List bullets:"),
                {QStringLiteral("*"), QStringLiteral("+"), QStringLiteral("-")})
        .integer(QStringLiteral("maxToCDepth"), tr("Table of contents depth:"), 1, 10);
    return pane.finish();
}

QWidget *SmartEditorPreferences::makeCriticMarkup() {
    PaneBuilder pane(defaults(), QStringLiteral("CriticMarkup"));
    pane.section(tr("Preview and export"))
        .check(QStringLiteral("EXT_CRITIC"), tr("Show CriticMarkup"))
        .check(QStringLiteral("EXT_CRITIC_ACCEPT"), tr("With every change accepted"))
        .check(QStringLiteral("EXT_CRITIC_REJECT"), tr("With every change rejected"));
    pane.section(tr("Tracked changes and comments"))
        .check(QStringLiteral("markupInsertStamp"), tr("Sign comments"))
        .text(QStringLiteral("markupComment"), tr("Name:"))
        .check(QStringLiteral("markupInsertDateStamp"), tr("Date tracked changes"))
        .text(QStringLiteral("markupDateFormat"), tr("Date format:"), QStringLiteral("%Y-%m-%d %H:%M:%S"));
    return pane.finish();
}

QWidget *SmartEditorPreferences::makePreview() {
    PaneBuilder pane(defaults(), QStringLiteral("Preview"));
    auto *css = new QComboBox;
    css->setObjectName(QStringLiteral("defaultCSS"));
    css->setMinimumWidth(200);
    m_extras->setCSSButton(css);
    pane.section(tr("Preview"))
        .row(tr("Style sheet of new windows:"), css)
        .note(tr("An open document keeps its style sheet; View ▸ Style Sheet changes it."))
        .check(QStringLiteral("liveUpdatePreview"), tr("Update as you type"))
        .check(QStringLiteral("syncPreviewLocationWhileTyping"), tr("Keep the caret's place in view"))
        .check(QStringLiteral("alwaysReloadPreview"), tr("Reload the whole page at each change"))
        .check(QStringLiteral("addMathJax"), tr("Typeset math with MathJax"))
        .check(QStringLiteral("addSyntaxHighlighting"), tr("Colour code with highlight.js"))
        .real(QStringLiteral("previewRatio"), tr("Editor's share of new windows:"), 0.05, 0.95, 0.05);
    return pane.finish();
}

QWidget *SmartEditorPreferences::makePrinting() {
    PaneBuilder pane(defaults(), QStringLiteral("Printing"));
    pane.section(tr("Header and footer"))
        .check(QStringLiteral("NSPrintHeaderAndFooter"), tr("Print a header and a footer"))
        .text(QStringLiteral("printHeaderTemplate"), tr("Header:"))
        .text(QStringLiteral("printFooterTemplate"), tr("Footer:"))
        .note(tr("\\t separates the left, centred and right parts. %%TITLE, %%DATE, %%PAGE and "
                 "%%PAGES are filled in on each page, and %key with the document's metadata."));
    return pane.finish();
}

QWidget *SmartEditorPreferences::makeFiles() {
    PaneBuilder pane(defaults(), QStringLiteral("Files"));
    pane.section(tr("Saving"))
        .text(QStringLiteral("defaultTextFileExtension"), tr("Extension of new files:"))
        .check(QStringLiteral("betterFilenames"), tr("Name new files after their title"))
        .check(QStringLiteral("autoTag"), tr("Tag Markdown files"))
        .choice(QStringLiteral("exportLineEndings"), tr("Line endings:"),
                {tr("Unix (LF)"), tr("Windows (CR LF)"), tr("Classic Mac (CR)")})
        .check(QStringLiteral("enableLionSaveFeatures"), tr("Save automatically"));
    pane.section(tr("Changes made elsewhere"))
        .check(QStringLiteral("MERGE_FILE_CHANGES"), tr("Merge them into an edited document without asking"));
    return pane.finish();
}

QWidget *SmartEditorPreferences::makeAdvanced() {
    PaneBuilder pane(defaults(), QStringLiteral("Advanced"));
    pane.section(tr("Windows"))
        .integer(QStringLiteral("fullScreenWidth"), tr("Text width in full screen:"), 200, 10000, tr(" px"))
        .check(QStringLiteral("showHUDsInBackground"), tr("Keep floating panels in front of other programs"));
    pane.section(tr("Sidebar widths in new windows"))
        .real(QStringLiteral("tocWidth"), tr("Table of contents:"), 50, 1000, 10, 0)
        .real(QStringLiteral("refWidth"), tr("References:"), 50, 1000, 10, 0)
        .real(QStringLiteral("criticWidth"), tr("Changes:"), 50, 1000, 10, 0);
    pane.section(tr("Extras"))
        .note(tr("Themes, style sheets, expansions and key bindings live in your data folder. "
                 "Files added there show up at once."));
    struct FolderButton {
        QString title;
        bool (TZRThemeController::*open)();
    };
    const FolderButton folders[] = {
        {tr("Open the Themes Folder"), &TZRThemeController::openThemesFolder},
        {tr("Open the Style Sheets Folder"), &TZRThemeController::openCSSFolder},
        {tr("Open the Expansions Folder"), &TZRThemeController::openExpansionFolder},
        {tr("Open the Key Bindings Folder"), &TZRThemeController::openKeyBindingsFolder},
    };
    for (const FolderButton &folder : folders) {
        QPushButton *button = pane.button(folder.title);
        connect(button, &QPushButton::clicked, m_extras, [extras = m_extras, open = folder.open] {
            (extras->*open)();
        });
    }
    return pane.finish();
}

QWidget *SmartEditorPreferences::makePro() {
    PaneBuilder pane(defaults(), QStringLiteral("Pro Features"));
    pane.section(tr("Extras on several computers"))
        .check(QStringLiteral("syncConfigFilesBetweenDevices"),
               tr("Keep themes, style sheets, expansions and key bindings in step"));
    pane.section(tr("Projects"))
        .real(QStringLiteral("projectFileWidth"), tr("File list width in new windows:"), 50, 1000, 10, 0);
    return pane.finish();
}
