// TZRMasterView: building the window's content, wiring its parts, the
// preferences it is placed from and saves to, and what the document asks.
#include "window/content/tzr_master_view.h"

#include <QFileInfo>
#include <QUrl>

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

class TZRMasterView::EditorLink : public EngineEditorLink {
public:
    explicit EditorLink(TZRMasterView &window) : window_(window) {}

    QByteArray utf8Text() const override {
        const SmartTextStorage &storage = *window_.storage_;
        return QByteArray(storage.str(), qsizetype(storage.len()));
    }
    QString string() const override { return window_.storage_->string(); }
    quint64 editGeneration() const override { return window_.storage_->editGeneration(); }
    qsizetype caretLocation() const override {
        return window_.textView_ ? window_.textView_->selectedRange().location : 0;
    }
    std::optional<platform::TextRange> lastEditedRange() const override {
        if (!window_.textView_)
            return std::nullopt;
        const CharRange range = window_.textView_->lastEditedRange().get();
        return platform::TextRange{range.location, range.length};
    }
    bool takeTypedSpace() override { return window_.textView_ && window_.textView_->takeTypedSpace(); }
    bool isViewHidden(View view) const override {
        const QWidget *widget = nullptr;
        switch (view) {
        case View::Preview:
            widget = window_.webView_;
            break;
        case View::Changes:
            widget = window_.criticView_;
            break;
        case View::References:
            widget = window_.refView_;
            break;
        case View::TableOfContents:
            widget = window_.tocView_;
            break;
        }
        return !widget || isHiddenOrHasHiddenAncestor(widget);
    }
    void addBibtexToAutoComplete(const QSet<QString> &citeKeys) override {
        window_.storage_->addBibtexToAutoComplete(citeKeys);
    }
    QString activeCSSPath() const override { return window_.webView_ ? window_.webView_->activeCSSPath() : QString(); }
    QMetaObject::Connection observeCharCount(const QObject *context, std::function<void()> changed) override {
        return window_.textView_->charCount().observe(context,
                                                      [changed = std::move(changed)](quint64) { changed(); });
    }

private:
    TZRMasterView &window_;
};

// --- Building ----------------------------------------------------------------------------------

TZRMasterView::TZRMasterView(QWidget *parent) : MatryoshkaView(parent) {
    qCInfo(lcWindow).noquote() << "init";
    configure();
}

void TZRMasterView::configure() {
    WindowExtras *extras = WindowExtras::shared();
    storage_ = std::make_unique<SmartTextStorage>(defaults(), extras ? extras->expansions() : nullptr);
    link_ = std::make_unique<EditorLink>(*this);
    configureContentView();
    configureEngine();
    configureSync();
    enableTimer_.setSingleShot(true);
    enableTimer_.setInterval(kEnableDelayMilliseconds);
    connect(&enableTimer_, &QTimer::timeout, this, [this] { engine_->enableUpdating(); });
    enableTimer_.start();
}

void TZRMasterView::configureContentView() {
    addBackgroundView(nullptr);
    initInset(createContentView(), QMarginsF());
    applyDefaultTheme();

    Defaults &prefs = defaults();
    if (prefs.boolForKey(QStringLiteral("previewDefaultsLeft")))
        previewPane_->swapViews();
    if (!prefs.boolForKey(QStringLiteral("showPreviewAtFirst")) || prefs.boolForKey(QStringLiteral("previewWithMarked"))) {
        previewPane_->setDividerThickness(0);
        previewPane_->adjustRatio(1.0, false);
    }
    static const struct {
        Sidebar sidebar;
        const char *visible;
        const char *onRight;
    } kPlaces[] = {
        {Sidebar::TableOfContents, "tocIsVisible", "tocOnRight"},
        {Sidebar::References, "refIsVisible", "refOnRight"},
        {Sidebar::Changes, "criticIsVisible", "criticOnRight"},
    };
    for (const auto &place : kPlaces) {
        MatryoshkaView *pane = paneOf(place.sidebar);
        if (!prefs.boolForKey(QLatin1String(place.visible))) {
            pane->setDividerThickness(0);
            pane->adjustFixedDimension(0, false);
        }
        if (prefs.boolForKey(QLatin1String(place.onRight)))
            pane->swapViews();
    }
    // A window opens with the info bar as the user last left it.
    if (!prefs.boolForKey(QStringLiteral("showInfoBar")))
        editorBlock_->adjustFixedDimension(0, false);
}

MatryoshkaView *TZRMasterView::createContentView() {
    Defaults &prefs = defaults();
    QWidget *editor = newEditorView();
    newWebView();
    previewPane_ = new MatryoshkaView(Panes::LeftWithToggleByRatio, editor, webView_,
                                      prefs.floatForKey(QStringLiteral("previewRatio")), true);
    previewPane_->setObjectName(QStringLiteral("previewPane"));

    tocView_ = new TZRTOCView;
    tocView_->connectToTextView(textView_);
    tocPane_ = new MatryoshkaView(Panes::RightWithToggleByWidth, previewPane_, tocView_,
                                  prefs.floatForKey(QStringLiteral("tocWidth")), true);
    tocPane_->setObjectName(QStringLiteral("tocPane"));

    refView_ = new TZRReferenceView;
    refView_->connectToTextView(textView_);
    refPane_ = new MatryoshkaView(Panes::RightWithToggleByWidth, tocPane_, refView_,
                                  prefs.floatForKey(QStringLiteral("refWidth")), true);
    refPane_->setObjectName(QStringLiteral("refPane"));

    criticView_ = new TZRCriticView;
    criticView_->connectToTextView(textView_);
    criticPane_ = new MatryoshkaView(Panes::RightWithToggleByWidth, refPane_, criticView_,
                                     prefs.floatForKey(QStringLiteral("criticWidth")), true);
    criticPane_->setObjectName(QStringLiteral("criticPane"));
    return criticPane_;
}

QWidget *TZRMasterView::newEditorView() {
    infoView_ = new SmartTextInfoView;
    textView_ = new SmartTextView(storage_.get(), &defaults());
    textView_->setObjectName(QStringLiteral("editor"));
    textView_->addRulerView();
    editorBlock_ = new MatryoshkaView(Panes::TopWithToggleByHeight, textView_, infoView_, kInfoBarHeight, false, 0);
    editorBlock_->setObjectName(QStringLiteral("editorBlock"));
    infoView_->connectToTextView(textView_);
    return editorBlock_;
}

void TZRMasterView::newWebView() {
    webView_ = new SmartWebView;
    webView_->setObjectName(QStringLiteral("preview"));
    // The preview starts frozen: nothing is rendered until the window has
    // settled with its text.
    thawTimer_.setSingleShot(true);
    thawTimer_.setInterval(kThawDelayMilliseconds);
    connect(&thawTimer_, &QTimer::timeout, webView_, &SmartWebView::thawAndReload);
    thawTimer_.start();
    surface_ = std::make_unique<KVXTextViewSurface>(textView_);
    webView_->setLinkedTextView(surface_.get());
    applyDefaultCSS();
}

void TZRMasterView::configureEngine() {
    engine_ = std::make_unique<TZREngine>();
    engine_->setEditor(link_.get());
    connections_ << webView_->observeHtmlString(engine_->htmlString());
    tocView_->observeEngine(engine_.get());
    refView_->observeEngine(engine_.get());
    criticView_->observeEngine(engine_.get());
    observePanes();
    connections_ << defaults().observe(QStringLiteral("appearanceTheme"), this,
                                       [this](const QVariant &) { applyAppearanceTheme(); });
    // A new theme brings new sidebar colours.
    connections_ << connect(storage_.get(), &SmartTextStorage::themeChanged, this,
                            &TZRMasterView::applyAppearanceTheme);
}

void TZRMasterView::configureSync() {
    scrollSource_ = std::make_unique<EngineScrollMapSource>(engine_.get());
    syncScroller_ = std::make_unique<SyncScroller>();
    syncScroller_->linkToTextView(surface_.get());
    syncScroller_->linkToWebView(webView_);
    syncScroller_->linkToEngine(scrollSource_.get());
    textView_->setSyncScroller(syncScroller_.get());
}

void TZRMasterView::observePanes() {
    for (MatryoshkaView *pane : {criticPane_, tocPane_, refPane_})
        connections_ << connect(pane, &MatryoshkaView::fixedTargetChanged, this, [this, pane] { saveSize(pane); });
    connections_ << connect(previewPane_, &MatryoshkaView::ratioTargetChanged, this,
                            [this] { saveSize(previewPane_); });
}

void TZRMasterView::saveSize(MatryoshkaView *pane) {
    Defaults &prefs = defaults();
    if (pane == previewPane_)
        prefs.setFloat(float(pane->ratioTarget()), QStringLiteral("previewRatio"));
    else if (pane == tocPane_)
        prefs.setFloat(float(pane->fixedTarget()), QStringLiteral("tocWidth"));
    else if (pane == refPane_)
        prefs.setFloat(float(pane->fixedTarget()), QStringLiteral("refWidth"));
    else if (pane == criticPane_)
        prefs.setFloat(float(pane->fixedTarget()), QStringLiteral("criticWidth"));
}

// --- Closing ---------------------------------------------------------------------------------

TZRMasterView::~TZRMasterView() {
    // Nothing may reach a view from here on: observers go first, then the
    // timers, then the bridge (a cycle in flight abandons its work and
    // publishes nothing more), and only then the views and the text.
    for (const QMetaObject::Connection &connection : std::as_const(connections_))
        disconnect(connection);
    enableTimer_.stop();
    thawTimer_.stop();
    if (textView_)
        textView_->setSyncScroller(nullptr);
    syncScroller_.reset();
    scrollSource_.reset();
    if (engine_)
        engine_->setEditor(nullptr);
    engine_.reset();
    // The content (every view) goes before the text storage they show.
    QWidget *content = permanentView();
    textView_ = nullptr;
    webView_ = nullptr;
    infoView_ = nullptr;
    tocView_ = nullptr;
    refView_ = nullptr;
    criticView_ = nullptr;
    delete content;
    surface_.reset();
    link_.reset();
    storage_.reset();
}

// --- For the document ------------------------------------------------------------------------

void TZRMasterView::setText(const QString &text, bool clearingUndo) {
    platform::Dispatch::mainSync([&] {
        if (!textView_)
            return;
        if (!text.isNull())
            textView_->replaceCharactersInRange(CharRange{0, storage_->length()}, text);
        if (clearingUndo) {
            textView_->setLastUndoTags(SmartTextStorage::kLoadTag);
            if (OwningDocument *document = textView_->owningDocument())
                document->updateChangeCount(OwningDocument::ChangeKind::Cleared);
        }
    });
}

void TZRMasterView::setTransclusionPath(const QString &path) {
    engine_->setTransclusionFile(path);
    if (path.isEmpty())
        return;
    engine_->setTransclusionFolder(QFileInfo(path).path());
    webView_->setBaseURL(QUrl::fromLocalFile(path));
}

QByteArray TZRMasterView::exportToFormat(short format) const { return engine_->exportToFormat(format); }
std::optional<QStringList> TZRMasterView::tzrTags() { return engine_->tzrTags(); }
std::optional<QStringList> TZRMasterView::tzrTagsFromString(const QString &text) {
    return TZREngine::tzrTagsFromString(text);
}
void TZRMasterView::setOkToUpdatePreview(bool ok) { engine_->setOkToUpdatePreview(ok); }
std::optional<QString> TZRMasterView::metadataForKey(const QString &key) const { return storage_->metadataForKey(key); }

QString TZRMasterView::textString() const { return storage_->string(); }
QByteArray TZRMasterView::textCString() const { return QByteArray(storage_->str(), qsizetype(storage_->len())); }
QTextDocument *TZRMasterView::textAttributedString() const { return storage_->document(); }
void TZRMasterView::setLastUndoTags(quint64 tags) { textView_->setLastUndoTags(tags); }

// --- Themes, style sheets and appearance ---------------------------------------------------------

void TZRMasterView::applyThemeNamed(const QString &name) {
    if (WindowExtras *extras = WindowExtras::shared())
        textView_->applyThemeFromPath(extras->filePathForThemeNamed(name));
    applyAppearanceTheme();
}

void TZRMasterView::applyDefaultTheme() { applyThemeNamed(defaults().stringForKey(QStringLiteral("defaultTheme"))); }

void TZRMasterView::applyCSSNamed(const QString &name) {
    if (WindowExtras *extras = WindowExtras::shared())
        webView_->applyCSSFromPath(extras->filePathForCSSNamed(name));
}

void TZRMasterView::applyDefaultCSS() { applyCSSNamed(defaults().stringForKey(QStringLiteral("defaultCSS"))); }

void TZRMasterView::applyAppearanceTheme() {
    for (KVXFilterSidebar *view : {static_cast<KVXFilterSidebar *>(tocView_), static_cast<KVXFilterSidebar *>(refView_),
                                   static_cast<KVXFilterSidebar *>(criticView_)}) {
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
        pane->setBackgroundColor(textView_->themeColors().sidebarBackground.value_or(QColor(Qt::transparent)));
    }
}

void TZRMasterView::applyAppearanceToAssistantTable(KVXFilterSidebar *sidebar) {
    if (defaults().integerForKey(QStringLiteral("appearanceTheme")) != 3)
        return;
    const ThemeColors &colors = textView_->themeColors();
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

KVXFilterSidebar *TZRMasterView::sidebar(Sidebar which) const {
    switch (which) {
    case Sidebar::TableOfContents:
        return tocView_;
    case Sidebar::References:
        return refView_;
    case Sidebar::Changes:
        return criticView_;
    }
    return nullptr;
}

MatryoshkaView *TZRMasterView::paneOf(Sidebar which) const {
    switch (which) {
    case Sidebar::TableOfContents:
        return tocPane_;
    case Sidebar::References:
        return refPane_;
    case Sidebar::Changes:
        return criticPane_;
    }
    return nullptr;
}
