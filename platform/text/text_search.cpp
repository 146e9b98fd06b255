#include "platform/text/text_search.h"

namespace platform {

QString foldedForSearch(const QString &text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
            category != QChar::Mark_Enclosing)
            folded.append(c);
    }
    return folded.toCaseFolded();
}

bool containsIgnoringCaseAndDiacritics(const QString &text, const QString &query) {
    return foldedForSearch(text).contains(foldedForSearch(query));
}

}  // namespace platform
