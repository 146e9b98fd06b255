#include "window/scrollsync/sync_scroller.h"

#include "window/preview/editor_surface.h"
#include "platform/prefs/defaults.h"
#include "platform/text/key_modifiers.h"
#include "window/preview/preview_preferences.h"
#include "window/scrollsync/scroll_fraction.h"
#include "window/preview/smart_web_view.h"

#include "library/d_string.h"
#include "textengine/settings/keybindings.h"
#include "library/engine.h"
#include "library/tzr.h"

#include <QApplication>
#include <QCursor>
#include <QInputEvent>
#include <QScrollBar>
#include <QWidget>

#include <cmath>
#include <cstdio>

SyncScroller::SyncScroller(QObject *parent) : QObject(parent) {
    // Wheel events are seen before any widget handles them, wherever they go.
    if (qApp)
        qApp->installEventFilter(this);
}

SyncScroller::~SyncScroller() {
    if (qApp)
        qApp->removeEventFilter(this);
}

void SyncScroller::linkToTextView(EditorSurface *editor) {
    for (const QMetaObject::Connection &connection : std::as_const(m_editorConnections))
        disconnect(connection);
    m_editorConnections.clear();
    if (m_editorWidget)
        m_editorWidget->removeEventFilter(this);
    m_textView = editor;
    m_editorWidget = editor ? editor->editorWidget() : nullptr;
    if (editor && editor->verticalScrollBar())
        m_editorConnections << connect(editor->verticalScrollBar(), &QScrollBar::valueChanged, this,
                                       &SyncScroller::editorChangedBounds);
    if (m_editorWidget)
        m_editorWidget->installEventFilter(this);
    invalidateScrollMap();
}

void SyncScroller::linkToWebView(SmartWebView *view) {
    for (const QMetaObject::Connection &connection : std::as_const(m_webConnections))
        disconnect(connection);
    m_webConnections.clear();
    if (m_webView)
        m_webView->removeEventFilter(this);
    m_webView = view;
    if (view) {
        m_webConnections << connect(view, &SmartWebView::pageScrolled, this, &SyncScroller::webChangedBounds);
        m_webConnections << connect(&view->controller(), &PreviewController::pageLoaded, this,
                                    &SyncScroller::invalidateScrollMap);
        m_webConnections << connect(&view->controller(), &PreviewController::geometryChanged, this,
                                    &SyncScroller::invalidateScrollMap);
        view->installEventFilter(this);
    }
    invalidateScrollMap();
}

bool SyncScroller::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::Wheel:
        m_lastWheel.start();
        m_wheelModifiers = static_cast<QInputEvent *>(event)->modifiers();
        break;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
        // Another kind of event has become the current one.
        m_lastWheel.invalidate();
        break;
    case QEvent::Resize:
        if (watched == m_editorWidget || watched == m_webView)
            invalidateScrollMap();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

QPoint SyncScroller::cursorPosition() const {
    return m_cursor ? m_cursor() : QCursor::pos();
}

bool SyncScroller::isGlobalPoint(QPoint point, const QWidget *widget) {
    return widget && widget->rect().contains(widget->mapFromGlobal(point));
}

bool SyncScroller::isValidScrollAction() const {
    if (!m_lastWheel.isValid() || m_lastWheel.elapsed() > WheelEventWindowMilliseconds)
        return false;
    const platform::Defaults &defaults = platform::Defaults::standard();
    uint64_t key;
    switch (defaults.integerForKey(preview::SyncScrollModifierKey)) {
    case 1: key = kKeyModifierOpt; break;
    case 2: key = kKeyModifierCtrl; break;
    case 3: key = kKeyModifierShift; break;
    default: key = kKeyModifierCmd; break;
    }
    const Qt::KeyboardModifiers modifier = platform::qtModifiers(key);
    const bool held = (m_wheelModifiers & modifier) == modifier;
    return defaults.boolForKey(preview::AlwaysSyncScroll) ? !held : held;
}

void SyncScroller::editorChangedBounds() {
    if (!m_webView || !m_editorWidget || !isValidScrollAction() || m_webView->isHiddenInWindow())
        return;
    if (isGlobalPoint(cursorPosition(), m_editorWidget))
        scrollWebToMatchEdit();
}

void SyncScroller::webChangedBounds() {
    if (!m_webView || !isValidScrollAction())
        return;
    if (isGlobalPoint(cursorPosition(), m_webView))
        scrollEditToMatchWeb();
}

void SyncScroller::scrollWebToMatchEdit() {
    if (!m_textView || !m_webView || !m_textView->verticalScrollBar())
        return;
    if (!m_scrollMapIsUpToDate && !updateScrollMap())
        return;
    const double web = webOffsetFromEditorOffset(scrollsync::totalPercentageAtCenter(*m_textView->verticalScrollBar()));
    if (!std::isnan(web))
        m_webView->centerVisibleAtTotalPercentage(web);
}

void SyncScroller::scrollEditToMatchWeb() {
    if (!m_textView || !m_webView || !m_textView->verticalScrollBar())
        return;
    if (!m_scrollMapIsUpToDate)
        updateScrollMap();
    const double edit = editorOffsetFromWebOffset(m_webView->totalPercentageAtCenter());
    if (!std::isnan(edit))
        scrollsync::centerVisibleAtTotalPercentage(*m_textView->verticalScrollBar(), edit);
}

bool SyncScroller::updateScrollMap() {
    if (m_scrollMapIsUpdating || !m_textView || !m_webView)
        return false;
    const std::optional<preview::PageGeometry> &geometry = m_webView->controller().geometry();
    if (!geometry || !geometry->usable())
        return false;
    m_scrollMapIsUpdating = true;

    const QByteArray text = m_textView->utf8Text();
    DString *source = d_string_new(nullptr);
    d_string_append_c_array(source, text.constData(), size_t(text.size()));
    const uint64_t extensions = m_engine ? m_engine->extensions() : 0;
    // The engine takes the source over (and frees it when it cannot be made).
    tzr_engine *engine = tzr_engine_create_with_d_string(source, extensions);
    if (!engine) {
        m_scrollMapIsUpdating = false;
        return false;
    }
    if (m_engine) {
        tzr_engine_set_language(engine, m_engine->language());
        m_engine->prepareSource(source, 0, extensions);
    }
    const int base = scrollsync::baseHeaderLevel(tzr_engine_metavalue_for_key(engine, "baseheaderlevel"),
                                                 tzr_engine_metavalue_for_key(engine, "htmlheaderlevel"));
    tzr_engine_parse_string(engine);

    std::optional<scrollsync::ScrollMap> map;
    if (const token *root = tzr_engine_root(engine)) {
        scrollsync::Utf16Offsets units(source->str, source->length);
        EditorSurface *editor = m_textView;
        map = scrollsync::buildScrollMap(root, source->length, base, *geometry,
                                         [&units, editor](size_t start, size_t length) {
                                             const size_t first = units.unitsAt(start);
                                             const size_t last = units.unitsAt(start + length);
                                             return editor->percentOffsetRectForRange(qsizetype(first),
                                                                                       qsizetype(last - first));
                                         });
    }
    tzr_engine_free(engine, true);

    if (map) {
        m_scrollMap = std::move(*map);
        m_scrollMapIsUpToDate = true;
    }
    m_scrollMapIsUpdating = false;
    return m_scrollMapIsUpToDate;
}

void SyncScroller::logMap() const {
    for (const scrollsync::MapEntry &entry : m_scrollMap.entries)
        std::fprintf(stderr, "%f\t%f\n", double(entry.edit), double(entry.web));
}
