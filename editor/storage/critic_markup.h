// CriticMarkup on whole strings, and the comment that says who made a change
// and when.
#pragma once

#include <QString>

#include <ctime>

#include "editor/storage/storage_preferences.h"

// The text with every CriticMarkup mark accepted (additions kept, deletions
// dropped, substitutions by their new text, comments and highlight markers
// gone), or rejected (the other way round).
QString stringAcceptingChanges(const QString &text);
QString stringRejectingChanges(const QString &text);

// `format` filled with the local time `when` by strftime. Empty when it
// formats to nothing, or to more than fits a stamp (1024 bytes).
QString formatLocalTime(const QString &format, std::time_t when);

// The comment that the window's CriticMarkup commands put after a highlight
// or around a note: "{>>" author, " - " and the date stamp "<<}"; the stamp
// is left out when the date format is empty or formats to nothing, and the
// whole text is "{>><<}" when no stamp is wanted.
QString criticMarkupComment(const CriticCommentPreferences &preferences, std::time_t when);
