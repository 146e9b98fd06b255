// Helpers shared by the editor's tests: a theme written for the tests, the
// displayed text of a storage, and a handler that collects Qt log lines.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextDocument>

#include "editor/smart_text_storage.h"

namespace editortest {

// A theme file with a style for most token types, written once per process.
QString themePath();
// Writes `json` as a theme file in a temporary folder and gives its path.
QString writeTheme(const QString &name, const QByteArray &json);

// The document's text, with block separators as "\n".
QString shownText(const SmartTextStorage &storage);
// The buffer's text as the document must show it.
QString expectedShown(const SmartTextStorage &storage);

// Collects the messages logged while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    bool contains(const QString &text) const;
};

}  // namespace editortest
