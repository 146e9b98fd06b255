#include "platform/text/critic_diff.h"

#include <cstdlib>

#include "textengine/diff/diff.h"

namespace platform {

namespace {

QByteArray diffableUtf8(QString text) {
    text.replace(QChar(u'\0'), QChar(0xFFFD));
    return text.toUtf8();
}

}  // namespace

QString mergeWithNewString(const QString &oldText, const QString &newText, bool cleanup) {
    const QByteArray before = diffableUtf8(oldText);
    const QByteArray after = diffableUtf8(newText);
    diff *diffs = dmp_diff_main(before.constData(), after.constData(), size_t(before.size()), size_t(after.size()));
    if (cleanup)
        diffs = dmp_diff_cleanup_semantic(diffs);
    char *marked = dmp_diff_to_critic_markup(diffs);
    dmp_diff_free(diffs);
    const QString result = QString::fromUtf8(marked ? marked : "");
    free(marked);
    return result;
}

QString mergeWithOldString(const QString &newText, const QString &oldText, bool cleanup) {
    return mergeWithNewString(oldText, newText, cleanup);
}

}  // namespace platform
