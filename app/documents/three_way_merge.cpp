#include "app/documents/three_way_merge.h"

#include <cstdlib>

#include "textengine/diff/merge.h"

namespace {

// The text engine keeps its texts NUL-terminated.
QByteArray mergeable(QString text) {
    text.replace(QChar(u'\0'), QChar(0xFFFD));
    return text.toUtf8();
}

}  // namespace

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
    return result;
}
