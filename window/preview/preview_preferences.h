// The preferences the preview and the scroll synchroniser read, each when it
// needs it, from platform::Defaults::standard().
#pragma once

#include <QString>

namespace preview {

inline const QString AddMathJax = QStringLiteral("addMathJax");
inline const QString AddSyntaxHighlighting = QStringLiteral("addSyntaxHighlighting");
inline const QString AlwaysReloadPreview = QStringLiteral("alwaysReloadPreview");
inline const QString SyncPreviewLocationWhileTyping = QStringLiteral("syncPreviewLocationWhileTyping");
inline const QString AlwaysSyncScroll = QStringLiteral("alwaysSyncScroll");
inline const QString SyncScrollModifierKey = QStringLiteral("syncScrollModifierKey");
// The document library's transclusion: other files' text in the document's.
inline const QString Transclusion = QStringLiteral("EXT_TRANSCLUDE");

}  // namespace preview
