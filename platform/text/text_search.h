// Searching text as people type it: ignoring case and diacritics, so that
// "e" finds "É" and "cafe" finds "Café". Search fields of lists and the file
// search use it.
#pragma once

#include <QString>

namespace platform {

// `text` case folded, with accents and other combining marks taken off
// (compatibility forms are decomposed first, so "ﬁ" reads as "fi").
QString foldedForSearch(const QString &text);

// Whether `text` holds `query`, ignoring case and diacritics. An empty query
// is in every text.
bool containsIgnoringCaseAndDiacritics(const QString &text, const QString &query);

}  // namespace platform
