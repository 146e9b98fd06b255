// TZRMasterView: building the window's content, wiring its parts, the
// preferences it is placed from and saves to, and what the document asks.
#include "window/content/tzr_master_view.h"

#include <QFileInfo>
#include <QShowEvent>
#include <QUrl>

#include <utility>

#include "editor/smart_text_view.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "window/bridge/engine_editor_link.h"
#include "window/bridge/engine_scroll_map_source.h"
#include "window/preview/kvx_text_view_surface.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/sidebars/tzr_critic_view.h"
#include "window/sidebars/tzr_reference_view.h"
#include "window/sidebars/tzr_toc_view.h"
#include "window/sidebars/smart_text_info_view.h"
#include "window/preview/smart_web_view.h"
#include "window/scrollsync/sync_scroller.h"
#include "window/bridge/tzr_engine.h"
#include "window/content/window_extras.h"
#include "window/window_log.h"

using platform::Defaults;
using Panes = MatryoshkaView::Panes;

namespace {

constexpr int kEnableDelayMilliseconds = 200;
constexpr int kThawDelayMilliseconds = 1000;
constexpr double kInfoBarHeight = 30;

Defaults &defaults() { return Defaults::standard(); }

}  // namespace

// --- The bridge's view of this window ------------------------------------------------------

// Read on the main thread only: the bridge takes its snapshot of the editor
// and the views here when a cycle is asked for, and posts back what it found.
class TZRMasterView::EditorLink : public EngineEditorLink {
public:
    explicit EditorLink(TZRMasterView &window) : m_window(window) {}

    // A completion only offered in its list is not shown in the preview.
    QByteArray utf8Text() const override {
        if (m_window.m_textView && m_window.m_textView->hasTentativeCompletion())
            return m_window.m_textView->committedString().toUtf8();
        const SmartTextStorage &storage = *m_window.m_storage;
        return QByteArray(storage.str(), qsizetype(storage.len()));
    }
    qsizetype utf8Length() const override { return qsizetype(m_window.m_storage->len()); }
    QString string() const override {
        return m_window.m_textView ? m_window.m_textView->committedString() : m_window.m_storage->string();
    }
    quint64 editGeneration() const override { return m_window.m_storage->editGeneration(); }
    qsizetype caretLocation() const override {
        return m_window.m_textView ? m_window.m_textView->selectedRange().location : 0;
    }
    std::optional<platform::TextRange> lastEditedRange() const override {
        if (!m_window.m_textView)
            return std::nullopt;
        const CharRange range = m_window.m_textView->lastEditedRange();
        return platform::TextRange{range.location, range.length};
    }
    bool takeTypedSpace() override { return m_window.m_textView && m_window.m_textView->takeTypedSpace(); }
    bool isViewHidden(View view) const override {
        const QWidget *widget = nullptr;
        switch (view) {
        case View::Preview:
            widget = m_window.m_webView;
            break;
        case View::Changes:
            widget = m_window.m_criticView;
            break;
        case View::References:
            widget = m_window.m_refView;
            break;
        case View::TableOfContents:
            widget = m_window.m_tocView;
            break;
        }
        const bool hidden = !widget || isHiddenOrHasHiddenAncestor(widget);
        // A cycle that shows nothing while the window's content is hidden
        // in its window is made up for once it shows.
        if (hidden && m_window.m_hiddenInWindow)
            m_window.m_skippedWhileHidden = true;
        return hidden;
    }
    void addBibtexToAutoComplete(const QSet<QString> &citeKeys) override {
        m_window.m_storage->addBibtexToAutoComplete(citeKeys);
    }
    QString activeCSSPath() const override { return m_window.m_webView ? m_window.m_webView->activeCSSPath() : QString(); }
    QMetaObject::Connection observeCharCount(const QObject *context, std::function<void()> changed) override {
        return QObject::connect(m_window.m_textView, &SmartTextView::charCountChanged, context,
                                [changed = std::move(changed)] { changed(); });
    }

private:
    TZRMasterView &m_window;
};

// --- Building ----------------------------------------------------------------------------------

TZRMasterView::TZRMasterView(QWidget *parent) : MatryoshkaView(parent) {
    qCInfo(lcWindow).noquote() << "init";
    configure();
}

void TZRMasterView::configure() {
    WindowExtras *extras = WindowExtras::shared();
    m_storage = std::make_unique<SmartTextStorage>(defaults(), extras ? extras->expansions() : nullptr);
    m_link = std::make_unique<EditorLink>(*this);
    configureContentView();
    configureEngine();
    configureSync();
    m_enableTimer.setSingleShot(true);
    m_enableTimer.setInterval(kEnableDelayMilliseconds);
    connect(&m_enableTimer, &QTimer::timeout, this, [this] { m_engine->enableUpdating(); });
    m_enableTimer.start();
}

void TZRMasterView::configureContentView() {
    addBackgroundView(nullptr);
    initInset(createContentView(), QMarginsF());
    applyDefaultTheme();

    Defaults &prefs = defaults();
    if (prefs.boolForKey(QStringLiteral("previewDefaultsLeft")))
        m_previewPane->swapViews();
    if (!prefs.boolForKey(QStringLiteral("showPreviewAtFirst")) || prefs.boolForKey(QStringLiteral("previewWithMarked"))) {
        m_previewPane->setDividerThickness(0);
        m_previewPane->adjustRatio(1.0, false);
    }
    for (const SidebarPlace &place : sidebarPlaces()) {
        MatryoshkaView *pane = this->*place.pane;
        if (!prefs.boolForKey(QLatin1String(place.visibleKey))) {
            pane->setDividerThickness(0);
            pane->adjustFixedDimension(0, false);
        }
        if (prefs.boolForKey(QLatin1String(place.onRightKey)))
            pane->swapViews();
    }
    // A window opens with the info bar as the user last left it.
    if (!prefs.boolForKey(QStringLiteral("showInfoBar")))
        m_editorBlock->adjustFixedDimension(0, false);
}

MatryoshkaView *TZRMasterView::createContentView() {
    Defaults &prefs = defaults();
    QWidget *editor = newEditorView();
    newWebView();
    m_previewPane = new MatryoshkaView(Panes::LeftWithToggleByRatio, editor, m_webView,
                                      prefs.floatForKey(QStringLiteral("previewRatio")), true);
    m_previewPane->setObjectName(QStringLiteral("previewPane"));
    // Each new size of the preview lays its whole page out anew.
    m_previewPane->setToggleViewKeepsOpenSize(true);

    // Each sidebar's pane holds the panes before it: the outermost, last
    // made, is the content.
    MatryoshkaView *inner = m_previewPane;
    for (const SidebarPlace &place : sidebarPlaces()) {
        KVXFilterSidebar *view = place.make(*this);
        view->connectToTextView(m_textView);
        auto *pane = new MatryoshkaView(Panes::RightWithToggleByWidth, inner, view,
                                        prefs.floatForKey(QLatin1String(place.widthKey)), true);
        pane->setObjectName(QLatin1String(place.paneName));
        this->*place.pane = pane;
        inner = pane;
    }
    return inner;
}

QWidget *TZRMasterView::newEditorView() {
    m_infoView = new SmartTextInfoView;
    m_textView = new SmartTextView(m_storage.get(), &defaults());
    m_textView->setObjectName(QStringLiteral("editor"));
    m_textView->addRulerView();
    m_editorBlock = new MatryoshkaView(Panes::TopWithToggleByHeight, m_textView, m_infoView, kInfoBarHeight, false, 0);
    m_editorBlock->setObjectName(QStringLiteral("editorBlock"));
    m_infoView->connectToTextView(m_textView);
    return m_editorBlock;
}

void TZRMasterView::newWebView() {
    m_webView = new SmartWebView;
    m_webView->setObjectName(QStringLiteral("preview"));
    // The preview starts frozen: nothing is rendered until the window has
    // settled with its text.
    m_thawTimer.setSingleShot(true);
    m_thawTimer.setInterval(kThawDelayMilliseconds);
    connect(&m_thawTimer, &QTimer::timeout, m_webView, &SmartWebView::thawAndReload);
    m_thawTimer.start();
    m_surface = std::make_unique<KVXTextViewSurface>(m_textView);
    m_webView->setLinkedTextView(m_surface.get());
    applyDefaultCSS();
}

void TZRMasterView::configureEngine() {
    m_engine = std::make_unique<TZREngine>();
    m_engine->setEditor(m_link.get());
    m_connections << m_webView->observeHtmlString(m_engine->htmlString());
    for (const SidebarPlace &place : sidebarPlaces())
        place.observeEngine(*this, m_engine.get());
    observePanes();
    m_connections << defaults().observe(QStringLiteral("appearanceTheme"), this,
                                       [this](const QVariant &) { applyAppearanceTheme(); });
    // The page's scripts are read when the page is made, the contents' depth
    // by each cycle of the bridge: a change makes the page again, or runs a
    // cycle, at once rather than at the next edit.
    m_connections << defaults().observe(QStringList{QStringLiteral("addMathJax"),
                                                    QStringLiteral("addSyntaxHighlighting"),
                                                    QStringLiteral("maxToCDepth")},
                                        this, [this](const QString &key, const QVariant &) {
                                            if (key == QLatin1String("maxToCDepth"))
                                                m_engine->updateData(std::nullopt);
                                            else
                                                m_webView->reloadPreview();
                                        });
    // A new theme brings new sidebar colours.
    m_connections << connect(m_storage.get(), &SmartTextStorage::themeChanged, this,
                            &TZRMasterView::applyAppearanceTheme);
}

void TZRMasterView::showEvent(QShowEvent *event) {
    MatryoshkaView::showEvent(event);
    if (event->spontaneous())
        return;  // its window back from minimized: nothing was skipped
    m_hiddenInWindow = false;
    if (std::exchange(m_skippedWhileHidden, false)) {
        // Made up with the caret's range, as showing the preview does: the
        // HTML then carries the anchor that puts the page where the editor
        // is, rather than at the top of its leading margin.
        const CharRange selection = selectedRange();
        m_engine->updateData(platform::TextRange{selection.location, selection.length});
    }
}

void TZRMasterView::hideEvent(QHideEvent *event) {
    MatryoshkaView::hideEvent(event);
    if (!event->spontaneous())
        m_hiddenInWindow = true;
}

void TZRMasterView::configureSync() {
    m_scrollSource = std::make_unique<EngineScrollMapSource>(m_engine.get());
    m_syncScroller = std::make_unique<SyncScroller>();
    m_syncScroller->linkToTextView(m_surface.get());
    m_syncScroller->linkToWebView(m_webView);
    m_syncScroller->linkToEngine(m_scrollSource.get());
    m_textView->setSyncScroller(m_syncScroller.get());
}

void TZRMasterView::observePanes() {
    for (const SidebarPlace &place : sidebarPlaces()) {
        MatryoshkaView *pane = this->*place.pane;
        m_connections << connect(pane, &MatryoshkaView::fixedTargetChanged, this, [this, pane] { saveSize(pane); });
    }
    m_connections << connect(m_previewPane, &MatryoshkaView::ratioTargetChanged, this,
                            [this] { saveSize(m_previewPane); });
}

void TZRMasterView::saveSize(MatryoshkaView *pane) {
    Defaults &prefs = defaults();
    if (pane == m_previewPane) {
        prefs.setFloat(float(pane->ratioTarget()), QStringLiteral("previewRatio"));
        return;
    }
    for (const SidebarPlace &place : sidebarPlaces())
        if (pane == this->*place.pane)
            prefs.setFloat(float(pane->fixedTarget()), QLatin1String(place.widthKey));
}

// --- Closing ---------------------------------------------------------------------------------

TZRMasterView::~TZRMasterView() {
    // Nothing may reach a view from here on: observers go first, then the
    // timers, then the bridge (a cycle in flight abandons its work and
    // publishes nothing more), and only then the views and the text.
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_enableTimer.stop();
    m_thawTimer.stop();
    if (m_textView)
        m_textView->setSyncScroller(nullptr);
    m_syncScroller.reset();
    m_scrollSource.reset();
    if (m_engine)
        m_engine->setEditor(nullptr);
    m_engine.reset();
    // The content (every view) goes before the text storage they show.
    QWidget *content = permanentView();
    m_textView = nullptr;
    m_webView = nullptr;
    m_infoView = nullptr;
    m_tocView = nullptr;
    m_refView = nullptr;
    m_criticView = nullptr;
    delete content;
    m_surface.reset();
    m_link.reset();
    m_storage.reset();
}

// --- For the document ------------------------------------------------------------------------

void TZRMasterView::setText(const QString &text, bool clearingUndo) {
    platform::Dispatch::mainSync([&] {
        if (!m_textView)
            return;
        if (!text.isNull())
            m_textView->replaceCharactersInRange(CharRange{0, m_storage->length()}, text);
        if (clearingUndo) {
            m_textView->setLastUndoTags(SmartTextStorage::kLoadTag);
            if (OwningDocument *document = m_textView->owningDocument())
                document->updateChangeCount(OwningDocument::ChangeKind::Cleared);
        }
    });
}

void TZRMasterView::setTransclusionPath(const QString &path) {
    m_engine->setTransclusionFile(path);
    if (path.isEmpty())
        return;
    m_engine->setTransclusionFolder(QFileInfo(path).path());
    m_webView->setBaseURL(QUrl::fromLocalFile(path));
}

QByteArray TZRMasterView::exportToFormat(short format, LeftOutFiles *leftOut) const {
    return m_engine->exportToFormat(format, leftOut);
}
std::optional<QStringList> TZRMasterView::tzrTags() { return m_engine->tzrTags(); }
std::optional<QStringList> TZRMasterView::tzrTagsFromString(const QString &text) {
    return TZREngine::tzrTagsFromString(text);
}
void TZRMasterView::setOkToUpdatePreview(bool ok) { m_engine->setOkToUpdatePreview(ok); }
std::optional<QString> TZRMasterView::metadataForKey(const QString &key) const { return m_storage->metadataForKey(key); }

QString TZRMasterView::textString() const { return m_storage->string(); }
QByteArray TZRMasterView::textCString() const { return QByteArray(m_storage->str(), qsizetype(m_storage->len())); }
QTextDocument *TZRMasterView::textAttributedString() const { return m_storage->document(); }
void TZRMasterView::setLastUndoTags(quint64 tags) { m_textView->setLastUndoTags(tags); }

// --- Themes, style sheets and appearance ---------------------------------------------------------

void TZRMasterView::applyThemeNamed(const QString &name) {
    if (WindowExtras *extras = WindowExtras::shared())
        m_textView->applyThemeFromPath(extras->filePathForThemeNamed(name));
    applyAppearanceTheme();
}

void TZRMasterView::applyDefaultTheme() { applyThemeNamed(defaults().stringForKey(QStringLiteral("defaultTheme"))); }

void TZRMasterView::applyCSSNamed(const QString &name) {
    if (WindowExtras *extras = WindowExtras::shared())
        m_webView->applyCSSFromPath(extras->filePathForCSSNamed(name));
}

void TZRMasterView::applyDefaultCSS() { applyCSSNamed(defaults().stringForKey(QStringLiteral("defaultCSS"))); }

void TZRMasterView::applyAppearanceTheme() {
    for (const SidebarPlace &place : sidebarPlaces()) {
        KVXFilterSidebar *view = place.view(*this);
        if (!view)
            continue;
        view->applyAppearanceTheme();
        applyAppearanceToAssistant(view);
        applyAppearanceToAssistantTable(view);
        if (QWidget *pane = view->parentWidget())
            pane->update();
    }
}

void TZRMasterView::applyAppearanceToAssistant(QWidget *view) {
    auto *pane = view ? qobject_cast<MatryoshkaView *>(view->parentWidget()) : nullptr;
    if (!pane)
        return;
    const qint64 appearance = defaults().integerForKey(QStringLiteral("appearanceTheme"));
    if (appearance < 2) {
        pane->setBackgroundColor(Qt::transparent);
    } else if (appearance == 2) {
        static const QColor plainGrey = QColor::fromRgbF(237 / 255.0f, 237 / 255.0f, 237 / 255.0f, 1.0f);
        pane->setBackgroundColor(plainGrey);
    } else {
        pane->setBackgroundColor(m_textView->themeColors().sidebarBackground.value_or(QColor(Qt::transparent)));
    }
}

void TZRMasterView::applyAppearanceToAssistantTable(KVXFilterSidebar *sidebar) {
    if (defaults().integerForKey(QStringLiteral("appearanceTheme")) != 3)
        return;
    const ThemeColors &colors = m_textView->themeColors();
    KVXColouredList &list = sidebar->listColours();
    if (colors.sidebarText)
        list.setTextColor(*colors.sidebarText);
    if (colors.sidebarTextHighlighted)
        list.setHighlightedTextColor(*colors.sidebarTextHighlighted);
    if (colors.sidebarTextHighlightedInactive)
        list.setInactiveHighlightedTextColor(*colors.sidebarTextHighlightedInactive);
    if (colors.sidebarHighlight)
        list.setHighlightColor(*colors.sidebarHighlight);
    if (colors.sidebarHighlightInactive)
        list.setInactiveHighlightColor(*colors.sidebarHighlightInactive);
}

// --- Parts -------------------------------------------------------------------------------------

template <class View, View *TZRMasterView::*field>
struct TZRMasterView::SidebarSlot {
    static KVXFilterSidebar *view(const TZRMasterView &window) { return window.*field; }
    static KVXFilterSidebar *make(TZRMasterView &window) { return window.*field = new View; }
    static void observeEngine(const TZRMasterView &window, TZREngine *engine) {
        (window.*field)->observeEngine(engine);
    }
};

const std::array<TZRMasterView::SidebarPlace, 3> &TZRMasterView::sidebarPlaces() {
    using TOC = SidebarSlot<TZRTOCView, &TZRMasterView::m_tocView>;
    using References = SidebarSlot<TZRReferenceView, &TZRMasterView::m_refView>;
    using Changes = SidebarSlot<TZRCriticView, &TZRMasterView::m_criticView>;
    static const std::array<SidebarPlace, 3> places = {{
        {Sidebar::TableOfContents, "tocPane", "tocWidth", "tocIsVisible", "tocOnRight", &TZRMasterView::m_tocPane,
         &TOC::view, &TOC::make, &TOC::observeEngine},
        {Sidebar::References, "refPane", "refWidth", "refIsVisible", "refOnRight", &TZRMasterView::m_refPane,
         &References::view, &References::make, &References::observeEngine},
        {Sidebar::Changes, "criticPane", "criticWidth", "criticIsVisible", "criticOnRight",
         &TZRMasterView::m_criticPane, &Changes::view, &Changes::make, &Changes::observeEngine},
    }};
    return places;
}

const TZRMasterView::SidebarPlace &TZRMasterView::placeOf(Sidebar which) {
    // The places stand in the order of the enumeration.
    return sidebarPlaces()[size_t(which)];
}

KVXFilterSidebar *TZRMasterView::sidebar(Sidebar which) const { return placeOf(which).view(*this); }

MatryoshkaView *TZRMasterView::paneOf(Sidebar which) const { return this->*placeOf(which).pane; }
