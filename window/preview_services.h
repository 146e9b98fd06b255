// The two services the preview and the scroll synchroniser take from the
// platform: the user's preferences (read when needed) and a place to prepare
// pages off the main thread. Tests replace both.
#pragma once

#include <QString>
#include <QVariant>

#include <functional>

namespace preview {

// The preference keys read here.
inline const QString AddMathJax = QStringLiteral("addMathJax");
inline const QString AddSyntaxHighlighting = QStringLiteral("addSyntaxHighlighting");
inline const QString AlwaysReloadPreview = QStringLiteral("alwaysReloadPreview");
inline const QString SyncPreviewLocationWhileTyping = QStringLiteral("syncPreviewLocationWhileTyping");
inline const QString AlwaysSyncScroll = QStringLiteral("alwaysSyncScroll");
inline const QString SyncScrollModifierKey = QStringLiteral("syncScrollModifierKey");

// A preference as a Boolean or an integer; a key that is not set reads false
// or 0 unless it has a registered default.
bool boolPreference(const QString &key);
qint64 integerPreference(const QString &key);

// Runs `work` on a background thread.
void runInBackground(std::function<void()> work);

// Test hooks: a reader of preference values (an invalid value means "not
// set") and a runner; empty functions restore the application's own.
void setPreferenceReaderForTesting(std::function<QVariant(const QString &key)> reader);
void setBackgroundRunnerForTesting(std::function<void(std::function<void()>)> runner);

}  // namespace preview
