// A plain window holding an editor over a file's text, until documents have
// their own windows: it opens the file (or nothing, untitled), shows it in a
// KVXTextView over a SmartTextStorage, and never saves.
#pragma once

#include <QMainWindow>

#include "platform/action_router.h"

class KVXTextView;
class SmartTextStorage;

class PlainDocumentWindow : public QMainWindow, public platform::Responder {
    Q_OBJECT

public:
    // Opens `path` (untitled when empty); a file that cannot be read opens
    // empty after an alert.
    explicit PlainDocumentWindow(const QString &path = QString(), QWidget *parent = nullptr);
    ~PlainDocumentWindow() override;

    KVXTextView *editor() const { return editor_; }
    SmartTextStorage *storage() const { return storage_; }
    QString path() const { return path_; }

    bool respondsToAction(const QString &action) const override;
    void performAction(const QString &action, QObject *sender) override;
    bool validateAction(const QString &action, QAction *item) override;

private:
    QString path_;
    SmartTextStorage *storage_;
    KVXTextView *editor_;
};
