// Synchronised scrolling: when the user scrolls the editor or the preview
// with the wheel or a touchpad, the other follows so that the same part of the
// document stands in the middle of both.
//
// The scroll map (scroll_map.h) is built lazily, at the first synchronised
// scroll after it went stale: it goes stale when the page is loaded, when new
// page geometry comes in (after each change of the page), and when either
// pane changes size. A scroll is synchronised only when it comes from a wheel
// event, the modifier rule allows it ("alwaysSyncScroll" on: unless the
// modifier of "syncScrollModifierKey" is held; off: only while it is held),
// and the mouse is over the pane that scrolled, which is what keeps the pane
// moved here from moving the first one back.
#pragma once

#include "window/scrollsync/scroll_map.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <optional>

struct DString;
class EditorSurface;
class SmartWebView;

// How the preview's HTML was made from the editor text: the scroll map
// parses the text the same way. The engine bridge implements it.
class ScrollMapSource {
public:
    virtual ~ScrollMapSource() = default;
    virtual uint64_t extensions() const = 0;
    virtual unsigned short language() const { return 0; }
    // Prepares the source for `format` as the bridge does (metadata header
    // and footer, transclusion, CriticMarkup).
    virtual void prepareSource(DString *source, unsigned short format, uint64_t extensions) const = 0;
};

class SyncScroller : public QObject {
    Q_OBJECT

public:
    // A wheel event still counts as the current event for this long: the page
    // reports its scrolling a little after the event that caused it.
    static constexpr qint64 WheelEventWindowMilliseconds = 300;

    explicit SyncScroller(QObject *parent = nullptr);
    ~SyncScroller() override;

    void linkToTextView(EditorSurface *editor);
    void linkToWebView(SmartWebView *view);
    void linkToEngine(ScrollMapSource *engine) { m_engine = engine; }

    void invalidateScrollMap() { m_scrollMapIsUpToDate = false; }
    bool isScrollMapUpToDate() const { return m_scrollMapIsUpToDate; }
    // Builds the map; false when it could not (no page geometry, no parse).
    bool updateScrollMap();
    const scrollsync::ScrollMap &scrollMap() const { return m_scrollMap; }

    double webOffsetFromEditorOffset(double x) const { return m_scrollMap.webOffsetFromEditorOffset(x); }
    double editorOffsetFromWebOffset(double y) const { return m_scrollMap.editorOffsetFromWebOffset(y); }

    void scrollWebToMatchEdit();
    void scrollEditToMatchWeb();

    // Whether the current event may start a synchronised scroll.
    bool isValidScrollAction() const;
    // Whether a point on the screen lies inside the widget.
    static bool isGlobalPoint(QPoint point, const QWidget *widget);

    // Diagnostic: the map's entries, "edit<TAB>web" a line, on standard error.
    void logMap() const;

    // Where the mouse is (tests place it).
    void setCursorPositionSource(std::function<QPoint()> source) { m_cursor = std::move(source); }

public slots:
    void editorChangedBounds();
    void webChangedBounds();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPoint cursorPosition() const;

    EditorSurface *m_textView = nullptr;
    QPointer<QWidget> m_editorWidget;
    QPointer<SmartWebView> m_webView;
    ScrollMapSource *m_engine = nullptr;
    QList<QMetaObject::Connection> m_editorConnections;
    QList<QMetaObject::Connection> m_webConnections;

    scrollsync::ScrollMap m_scrollMap;
    bool m_scrollMapIsUpToDate = false;
    bool m_scrollMapIsUpdating = false;

    // The last wheel event: when, and with which modifiers.
    QElapsedTimer m_lastWheel;
    Qt::KeyboardModifiers m_wheelModifiers;
    std::function<QPoint()> m_cursor;
};
