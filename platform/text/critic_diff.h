// The difference between two texts written as CriticMarkup, over the text
// engine's diff: what stayed is kept as it is, a deletion becomes
// "{--old--}", an insertion "{++new++}", and a deletion followed directly by
// an insertion "{~~old~>new~~}". With `cleanup`, the differences are first
// grouped the way people read them (whole words rather than scattered
// letters).
//
// The text engine keeps its texts NUL-terminated, so a NUL character in
// either text is compared and written as U+FFFD instead of cutting the text
// short there.
#pragma once

#include <QString>

namespace platform {

// `oldText` turned into `newText`, the changes marked.
QString mergeWithNewString(const QString &oldText, const QString &newText, bool cleanup);

// The same with the roles given the other way round: `newText` is the text
// that the changes lead to, `oldText` the one they start from.
QString mergeWithOldString(const QString &newText, const QString &oldText, bool cleanup);

}  // namespace platform
