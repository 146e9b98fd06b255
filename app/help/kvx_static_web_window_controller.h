// The guide windows: the pages the application carries, in a web view.
//
//   title "Tessaro Syntax Guide"  the syntax guide, ":/guides/index.html"
//   title "Tessaro Orvane"        the program guide, ":/guides/orvane-guide/main.html",
//                                 on a light grey ("ddd") background
//
// Links within the guide (its own pages, anchors) are followed in place; a
// link to a site (a URL with a host) opens in the user's browser, when the
// workspace allows it, and the guide stays where it is (any other way to a
// site, a form or a refresh, goes nowhere). Closing the window
// hides it, so that it shows again with the same page and scroll position.
// The syntax guide's window keeps its size and place between runs, in the
// preferences under its frame autosave name, as document windows keep
// theirs.
// Under the main menu, the view takes "zoomIn:" and "zoomOut:" and the window
// "performClose:".
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <QWebEngineView>

#include <functional>

#include "platform/runtime/action_router.h"

class KVXStaticWebView : public QWebEngineView, public platform::Responder {
    Q_OBJECT

public:
    static constexpr double kZoomStep = 1.1;

    explicit KVXStaticWebView(QWidget *parent = nullptr);

    // Loads the page the window's title names; false when it names none or
    // the page cannot be read.
    bool awakeFromNib(const QString &windowTitle);
    // The page a title names ("" for none), and where its links resolve.
    static QString pagePathForTitle(const QString &windowTitle);

    // Whether a navigation the page asked for goes ahead in the view: a URL
    // with a host goes to the browser instead.
    bool decidePolicyForNavigation(const QUrl &url);
    // Hands a URL to the browser (replaceable in tests).
    static void setBrowserOpener(std::function<bool(const QUrl &)> opener);

    void zoomIn() { scaleBy(kZoomStep); }
    void zoomOut() { scaleBy(1.0 / kZoomStep); }
    void scaleBy(double factor);

    bool respondsToAction(const QString &action) const override;
    void performAction(const QString &action, QObject *sender) override;

    // The base URL of the loaded page (its folder).
    QUrl baseUrl() const { return m_baseUrl; }

signals:
    void pageLoaded(bool ok);

private:
    class Page;
    QUrl m_baseUrl;
};

class KVXStaticWebWindowController : public QObject {
    Q_OBJECT

public:
    static QString windowNibName() { return QStringLiteral("KVXStaticWebWindowController"); }
    static QString syntaxGuideTitle() { return QStringLiteral("Tessaro Syntax Guide"); }
    static QString programGuideTitle() { return QStringLiteral("Tessaro Orvane"); }

    // A guide window titled `title` (made, and its page loaded, on first use).
    explicit KVXStaticWebWindowController(const QString &title, QObject *parent = nullptr);
    ~KVXStaticWebWindowController() override;

    // The name the window's frame is kept under; empty for a window that
    // keeps none.
    static QString frameAutosaveNameForTitle(const QString &title);
    QString frameAutosaveName() const { return frameAutosaveNameForTitle(m_title); }

    QMainWindow *window();
    KVXStaticWebView *webView();
    // Shows the window in front.
    void showWindow();
    // Hides a visible window, shows a hidden one.
    void toggleVisibility();

private:
    void restoreFrame();
    void saveFrame();

    QString m_title;
    QPointer<QMainWindow> m_window;
    KVXStaticWebView *m_view = nullptr;
    bool m_restoring = false;
};
