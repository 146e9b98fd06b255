#include "app/documents/three_way_merge.h"

#include <cstdlib>

#include <utility>
#include <vector>

#include "textengine/diff/diff.h"
#include "textengine/diff/match.h"
#include "textengine/diff/patch.h"

namespace {

// The changes from `from` to `to`, applied to `target`.
MergeResult applyChanges(const QByteArray &from, const QByteArray &to, const QByteArray &target,
                         const dmp_options *options) {
    MergeResult result;
    patch *patches = dmp_patch_make(from.constData(), to.constData(), options);
    bool applied = false;
    char *text = dmp_patch_apply(patches, target.constData(), &applied, options);
    dmp_patch_free(patches);
    result.ok = applied && text;
    result.text = text ? QString::fromUtf8(text) : QString();
    free(text);
    return result;
}

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
    dmp_options *options = dmp_options_new();
    options->match_threshold = 0.1f;
    const QByteArray original = mergeable(base);
    const QByteArray edited = mergeable(newText);
    const QByteArray disk = mergeable(alternative);
    MergeResult result = applyChanges(original, disk, edited, options);
    if (!result.ok)
        result = applyChanges(original, edited, disk, options);
    dmp_options_free(options);
    result.keepsTyped = keepsAddedText(base, newText, result.text);
    return result;
}
