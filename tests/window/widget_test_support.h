// Small helpers for the window layer's widget tests on the offscreen platform.
#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QWidget>

#include <functional>

#include "support/log_capture.h"
#include "support/qt_wait.h"

namespace window_test {

// Runs the event loop until `done` holds, for at most `milliseconds` (a
// deadline that only catches what never comes).
inline bool waitUntil(const std::function<bool()> &done, int milliseconds = 30000) {
    return testing_qt::spinUntil(done, std::chrono::milliseconds(milliseconds));
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

using testing_qt::LogCapture;

}  // namespace window_test
