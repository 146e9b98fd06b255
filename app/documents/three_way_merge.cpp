#include "app/documents/three_way_merge.h"

#include <cstdlib>

#include <utility>
#include <vector>

#include "textengine/diff/diff.h"
#include "textengine/diff/merge.h"

namespace {

// The text engine keeps its texts NUL-terminated.
QByteArray mergeable(QString text) {
    text.replace(QChar(u'\0'), QChar(0xFFFD));
    return text.toUtf8();
}

// Byte ranges [start, end) of `to` that are not in `from`.
using Ranges = std::vector<std::pair<size_t, size_t>>;

Ranges insertedRanges(const QByteArray &from, const QByteArray &to) {
    Ranges ranges;
    diff *diffs = dmp_diff_main(from.constData(), to.constData(), size_t(from.size()), size_t(to.size()));
    size_t at = 0;
    for (const diff *d = diffs; d; d = d->next) {
        const size_t length = dmp_diff_length(d);
        if (d->op == DMP_INSERT)
            ranges.emplace_back(at, at + length);
        if (d->op != DMP_DELETE)
            at += length;
    }
    dmp_diff_free(diffs);
    return ranges;
}

Ranges deletedRanges(const QByteArray &from, const QByteArray &to) {
    Ranges ranges;
    diff *diffs = dmp_diff_main(from.constData(), to.constData(), size_t(from.size()), size_t(to.size()));
    size_t at = 0;
    for (const diff *d = diffs; d; d = d->next) {
        const size_t length = dmp_diff_length(d);
        if (d->op == DMP_DELETE)
            ranges.emplace_back(at, at + length);
        if (d->op != DMP_INSERT)
            at += length;
    }
    dmp_diff_free(diffs);
    return ranges;
}

}  // namespace

bool keepsAddedText(const QString &base, const QString &edited, const QString &merged) {
    const QByteArray mine = mergeable(edited);
    const Ranges added = insertedRanges(mergeable(base), mine);
    if (added.empty())
        return true;
    const Ranges lost = deletedRanges(mine, mergeable(merged));
    // Both lists run in order through the editor's text.
    auto a = added.begin();
    for (const auto &[start, end] : lost) {
        while (a != added.end() && a->second <= start)
            ++a;
        if (a == added.end())
            break;
        if (a->first < end)
            return false;
    }
    return true;
}

MergeResult mergeOriginal(const QString &base, const QString &newText, const QString &alternative) {
    const QByteArray original = mergeable(base);
    const QByteArray edited = mergeable(newText);
    const QByteArray disk = mergeable(alternative);
    size_t length = 0;
    char *merged = dmp_merge(original.constData(), size_t(original.size()), edited.constData(),
                             size_t(edited.size()), disk.constData(), size_t(disk.size()), &length);
    MergeResult result;
    result.ok = merged != nullptr;
    result.text = merged ? QString::fromUtf8(merged, qsizetype(length)) : newText;
    free(merged);
    result.keepsTyped = keepsAddedText(base, newText, result.text);
    return result;
}
