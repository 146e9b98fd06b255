// Export by type identifier: which of the library's output formats a type
// is written in, and which types the save panels offer.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "platform/documents/document.h"

namespace exporttypes {

// The output format of an export type; nothing for a type written as plain
// text (the program's own and every other).
std::optional<short> formatForType(const QString &type);

// Every type a Markdown document can be written as.
QStringList writableTypes();

// The types a save panel of the operation offers: for Save To, every type
// a document can be written as, always in one order, so that a place in the
// list is always the same type; for the others, only the program's
// Markdown type; never the generic Markdown type, plain text, text or data.
QStringList offeredTypes(platform::SaveOperation operation, const QStringList &writable = writableTypes());

// The type of `offered` that a save panel of the operation starts with:
// for Save To, the last export type when it is offered; else the first.
QString preselectedType(platform::SaveOperation operation, const QString &lastExportType, const QStringList &offered);

}  // namespace exporttypes
