// Helpers shared by the editor's tests: a theme written for the tests, the
// displayed text of a storage, and a handler that collects Qt log lines.
#pragma once

#include <QString>
#include <QStringList>
#include <QList>
#include <QTemporaryDir>
#include <QTextDocument>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "editor/storage/heading_row.h"
#include "editor/storage/smart_text_storage.h"
#include "support/log_capture.h"

namespace editortest {

// A theme file with a style for most token types, written once per process.
QString themePath();
// Writes `json` as a theme file in a temporary folder and gives its path.
QString writeTheme(const QString &name, const QByteArray &json);

// A storage in the test theme holding `text`, laid in and styled whole.
std::unique_ptr<SmartTextStorage> styled(const QString &text);

// The document's text, with block separators as "\n" (as the character
// they stand for between the parts of a long line).
QString shownText(const SmartTextStorage &storage);
// The buffer's text as the document must show it.
QString expectedShown(const SmartTextStorage &storage);

// Style runs as text, for a failure message.
std::string describe(const QList<AttributeRun> &runs);
// The styles of two storages with the same text, block by block, and where
// each records that a parse may begin: those of an edited storage and of a
// fresh one that styled the same text.
::testing::AssertionResult sameStyles(const SmartTextStorage &edited, const SmartTextStorage &fresh);

// The table of contents of the storage's text as the sidebar reads it from
// the document library (offsets in units, levels by depth), stamped with the
// storage's edit generation.
std::vector<HeadingRow> headingRows(const SmartTextStorage &storage);
// The row, at any depth, whose heading line begins at `start`; a failed test
// when there is none.
const HeadingRow &rowAt(const std::vector<HeadingRow> &rows, qsizetype start);

using testing_qt::LogCapture;

}  // namespace editortest
