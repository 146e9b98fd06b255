#include "app/three_way_merge.h"

#include <cstdlib>

#include "match.h"
#include "patch.h"

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

}  // namespace

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
    return result;
}
