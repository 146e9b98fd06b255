#include "window/sidebars/sidebar_rows.h"

#include <QStringList>

#include "platform/text/icu_regex.h"
#include "library/queries.h"
#include "library/token_types.h"

namespace {

QString fromUtf8(const char *text) { return text ? QString::fromUtf8(text) : QString(); }

template <typename Visit>
void forEachString(const stack *strings, Visit visit) {
    for (size_t i = 0; strings && i < strings->size; i++)
        if (auto *text = static_cast<const char *>(strings->element[i]))
            visit(QString::fromUtf8(text));
}

// The section text of a row: the text from "start" to "end", cut to the text.
QString sectionText(const HeaderRow &row, const QString &text) {
    const qsizetype start = std::clamp<qsizetype>(row.start, 0, text.size());
    const qsizetype end = std::clamp<qsizetype>(row.end, start, text.size());
    return text.mid(start, end - start);
}

void prune(QList<HeaderRow> &rows, const platform::IcuRegex &pattern, const QString &text) {
    rows.removeIf([&](const HeaderRow &row) { return !pattern.matchesWhole(sectionText(row, text)); });
    for (HeaderRow &row : rows)
        if (!row.children.isEmpty())
            prune(row.children, pattern, text);
}

}  // namespace

bool HeaderRow::operator==(const HeaderRow &other) const {
    return label == other.label && shortcut == other.shortcut && start == other.start &&
           stop == other.stop && end == other.end && length == other.length && level == other.level &&
           children == other.children;
}

bool ChangeRow::operator==(const ChangeRow &other) const {
    return label == other.label && start == other.start && stop == other.stop && length == other.length;
}

// --- Table of contents ----------------------------------------------------------

int headingDepth(uint16_t type) {
    switch (type) {
    case BLOCK_SETEXT_1:
        return 0;
    case BLOCK_SETEXT_2:
        return 1;
    default:
        return int(type) - BLOCK_H1;
    }
}

QList<HeaderRow> headersWithChildrenForNode(const header *node, int level, int maxDepth,
                                            quint64 generation) {
    QList<HeaderRow> rows;
    for (; node; node = node->next) {
        if (headingDepth(node->type) >= maxDepth)
            continue;
        HeaderRow row;
        row.label = fromUtf8(node->title);
        row.shortcut = fromUtf8(node->label);
        row.start = qsizetype(node->start);
        row.length = qsizetype(node->len);
        row.stop = row.start + row.length;
        row.end = node->next ? qsizetype(node->next->start) - 1 : row.stop;
        row.level = level;
        row.generation = generation;
        if (node->child)
            row.children = headersWithChildrenForNode(node->child, level + 1, maxDepth, generation);
        rows.append(std::move(row));
    }
    return rows;
}

QList<HeaderRow> tocRows(const header *first, qint64 maxToCDepth, quint64 generation) {
    const qint64 offset = first ? headingDepth(first->type) : 10;
    const qint64 depth = std::clamp<qint64>(offset + maxToCDepth, 1, INT_MAX);
    return headersWithChildrenForNode(first, 1, int(depth), generation);
}

void pruneToCArray(QList<HeaderRow> &rows, const QString &pattern, const QString &text) {
    const platform::IcuRegex regex(pattern, platform::IcuRegex::DotMatchesLineSeparators);
    // A pattern still being typed ("app(") filters nothing rather than
    // emptying the list.
    if (regex.isValid())
        prune(rows, regex, text);
}

QList<HeaderRow> headersFilteredFor(QList<HeaderRow> rows, const QString &query, const QString &text) {
    for (const QString &word : query.split(u' '))
        pruneToCArray(rows, QStringLiteral("(?i).*%1.*").arg(word), text);
    return rows;
}

// --- Labels and changes -----------------------------------------------------------

QSet<QString> referencesFromStack(const stack *labels) {
    QSet<QString> rows;
    forEachString(labels, [&](const QString &label) { rows.insert(label); });
    return rows;
}

QSet<QString> sandboxAssetsFromStack(const stack *paths) { return referencesFromStack(paths); }

QSet<QString> citeKeysFromStack(const stack *keys) {
    QSet<QString> rows;
    forEachString(keys, [&](const QString &key) { rows.insert(QLatin1Char('#') + key); });
    return rows;
}

QList<ChangeRow> changesFromStack(const stack *changes, quint64 generation) {
    QList<ChangeRow> rows;
    const size_t count = changes ? changes->size : 0;
    auto at = [&](size_t i) { return static_cast<const header *>(changes->element[i]); };
    for (size_t i = 0; i < count; i++) {
        const header *change = at(i);
        if (!change || change->type == PAIR_CRITIC_COM)
            continue;  // a comment on its own
        ChangeRow row;
        row.label = fromUtf8(change->title);
        row.start = qsizetype(change->start);
        row.length = qsizetype(change->len);
        if (change->type == PAIR_CRITIC_SUB_DEL && i + 1 < count && at(i + 1)) {
            const header *second = at(++i);
            row.label += fromUtf8(second->title);
            row.length = qsizetype(second->start + second->len) - row.start;
        }
        if (i + 1 < count && at(i + 1) && at(i + 1)->type == PAIR_CRITIC_COM &&
            qsizetype(at(i + 1)->start) == row.start + row.length) {
            const header *comment = at(++i);
            row.label += fromUtf8(comment->title);
            row.length = qsizetype(comment->start + comment->len) - row.start;
        }
        row.stop = row.start + row.length;
        row.generation = generation;
        rows.append(std::move(row));
    }
    return rows;
}
