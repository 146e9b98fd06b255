// Small helpers for the window layer's widget tests on the offscreen platform.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPalette>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace window_test {

// Runs the event loop until `done` holds, for at most `milliseconds`.
inline bool waitUntil(const std::function<bool()> &done, int milliseconds = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// A plain pane filled with one colour, so that screenshots show where it is.
inline QWidget *pane(const char *name, QColor color = Qt::white) {
    auto *widget = new QWidget;
    widget->setObjectName(name);
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    return widget;
}

// Shows a top-level widget at a size and lets it settle.
inline void showAt(QWidget &widget, QSize size) {
    widget.resize(size);
    widget.show();
    waitUntil([&] { return widget.size() == size; });
}

// Sends a left-button mouse event to a widget at a point in its coordinates.
inline bool sendMouse(QWidget *widget, QEvent::Type type, QPointF at) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

// Collects what the application logs while it lives.
class LogCapture {
public:
    LogCapture() {
        lines().clear();
        previous_ = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
            lines() << text;
        });
    }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    const QStringList &logged() const { return lines(); }

private:
    static QStringList &lines() {
        static QStringList collected;
        return collected;
    }
    QtMessageHandler previous_;
};

}  // namespace window_test
