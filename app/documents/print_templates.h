// The header and footer templates of printed pages, filled in two stages.
//
// Before printing, "%" followed by a metadata key ("%author") is replaced by
// the document's value for it (Markdown documents only): the placeholder is
// "%" and one or more characters that are neither white space nor "%", not
// after another "%", so "%%TITLE" and "100% done" hold none. The whole match
// is the key, which the metadata lookup reads as a label, so "%author,"
// still finds "author".
//
// On each page, "%%TITLE", "%%DATE", "%%PAGE" and "%%PAGES" are filled in
// ("%%PAGES" before "%%PAGE", so that the longer name is not cut short).
//
// In both stages the two characters backslash and "t" become a tab, which
// separates the left, centred and right parts.
#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace printtemplates {

using MetadataLookup = std::function<std::optional<QString>(const QString &key)>;

QString fillTemplateWithMetadata(const QString &pattern, const MetadataLookup &metadataForKey);

QString stringFromTemplate(const QString &pattern, const QString &title, const QString &date, int page,
                           int pages);

}  // namespace printtemplates
