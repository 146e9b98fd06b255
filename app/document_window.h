// A document window until documents have their classes: the window content
// (TZRMasterView: editor, preview, sidebars and info bar) over a file's
// text, read as UTF-8, never saved. Without a file the window is untitled
// and empty.
#pragma once

#include <QMainWindow>

#include "platform/action_router.h"

class SmartTextView;
class TZRMasterView;

class DocumentWindow : public QMainWindow, public platform::Responder {
    Q_OBJECT

public:
    // Opens `path` (untitled when empty); a file that cannot be read opens
    // empty after an alert.
    explicit DocumentWindow(const QString &path = QString(), QWidget *parent = nullptr);
    ~DocumentWindow() override;

    TZRMasterView *content() const { return content_; }
    SmartTextView *editor() const;
    QString path() const { return path_; }

    // The file's text as the window shows it: UTF-8 (Latin-1 when it is not
    // valid UTF-8), line ends made "\n".
    static QString readText(const QString &path);

    bool respondsToAction(const QString &action) const override;
    void performAction(const QString &action, QObject *sender) override;

private:
    QString path_;
    TZRMasterView *content_;
};
