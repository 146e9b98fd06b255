// The rows the sidebars show, made from the document library's answers about
// a parsed document: headings as a tree, reference labels and citation keys,
// CriticMarkup changes and the local files the document refers to.
//
// Offsets and lengths count UTF-16 units of the text the library parsed, as
// its queries give them. Rows and lists carry the edit generation of the
// editor text they were built from, so that an action on a row (jump to a
// heading, move a section, accept a change) can refuse offsets that no
// longer fit the text: see SidebarList::offsetsValidFor.
#pragma once

#include <QList>
#include <QMetaType>
#include <QSet>
#include <QString>

#include <cstdint>

struct header;
struct stack;

struct HeaderRow {
    QString label;          // the heading's title
    QString shortcut;       // its identifier
    qsizetype start = 0;    // where the heading begins
    qsizetype stop = 0;     // start + length
    qsizetype end = 0;      // one before the next heading of its list, or stop
    qsizetype length = 0;   // the heading and its section
    int level = 1;          // 1 at the top of the list, one more per nesting
    QList<HeaderRow> children;
    quint64 generation = 0;

    // Rows are equal when they show the same at the same place; the
    // generation is bookkeeping and left out.
    bool operator==(const HeaderRow &other) const;
};

struct ChangeRow {
    QString label;          // the change's text, with the parts that belong to it
    qsizetype start = 0;
    qsizetype stop = 0;     // start + length
    qsizetype length = 0;
    quint64 generation = 0;

    bool operator==(const ChangeRow &other) const;  // generation left out
};

// One published list.
template <typename Rows>
struct SidebarList {
    // False until a list was built (a list never published compares
    // different from every built one, even an empty one).
    bool present = false;
    Rows rows{};
    // The edit generation of the editor text the rows were built from.
    quint64 generation = 0;
    // Whether the text the library parsed was the editor text byte for byte.
    // Header and footer text, transcluded files and changes accepted or
    // rejected for the preview move offsets away from the editor's.
    bool editorOffsets = true;

    bool operator==(const SidebarList &other) const {
        return present == other.present && editorOffsets == other.editorOffsets && rows == other.rows;
    }
    // Whether offsets of these rows may be applied to the editor text as it
    // is at `editorGeneration`.
    bool offsetsValidFor(quint64 editorGeneration) const {
        return present && editorOffsets && generation == editorGeneration;
    }
};

using HeaderList = SidebarList<QList<HeaderRow>>;
using ChangeList = SidebarList<QList<ChangeRow>>;
using LabelSet = SidebarList<QSet<QString>>;

Q_DECLARE_METATYPE(HeaderList)
Q_DECLARE_METATYPE(ChangeList)
Q_DECLARE_METATYPE(LabelSet)

// --- Table of contents ----------------------------------------------------------

// A heading token type as a depth: 0 for a first-level heading, 5 for a
// sixth-level one; setext headings count as levels 1 and 2.
int headingDepth(uint16_t type);

// The rows of the entry chain from `node` at list level `level`, with their
// sub-entries: an entry whose depth is below `maxDepth` becomes a row, one
// at or beyond it is left out with everything under it.
QList<HeaderRow> headersWithChildrenForNode(const header *node, int level, int maxDepth,
                                            quint64 generation = 0);

// The rows of a whole table of contents under the "maxToCDepth" rule: the
// depth counts from the first heading's depth, and is at least 1.
QList<HeaderRow> tocRows(const header *first, qint64 maxToCDepth, quint64 generation = 0);

// Removes, at once, every row whose section text (`text` from "start" to
// "end") does not match `pattern` as a whole, with its sub-rows; rows that
// stay are pruned the same way below. Sections span lines: "." also matches
// line ends. An invalid pattern removes nothing.
void pruneToCArray(QList<HeaderRow> &rows, const QString &pattern, const QString &text);

// The rows whose sections hold every word of `query` (split at single
// spaces; each word is a regular expression, matched without case).
QList<HeaderRow> headersFilteredFor(QList<HeaderRow> rows, const QString &query, const QString &text);

// --- Labels and changes -----------------------------------------------------------

// A string list of the library as a set of labels.
QSet<QString> referencesFromStack(const stack *labels);
QSet<QString> sandboxAssetsFromStack(const stack *paths);
// Citation keys, each with a leading "#".
QSet<QString> citeKeysFromStack(const stack *keys);

// The library's change list as rows: the two parts of a substitution make
// one row, a comment that follows a change directly joins it, and a comment
// on its own gives no row.
QList<ChangeRow> changesFromStack(const stack *changes, quint64 generation = 0);
