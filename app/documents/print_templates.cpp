#include "app/documents/print_templates.h"

#include <QList>
#include <QRegularExpression>

namespace printtemplates {

namespace {

QString withTabs(QString text) { return text.replace(QLatin1String("\\t"), QLatin1String("\t")); }

}  // namespace

QString fillTemplateWithMetadata(const QString &pattern, const MetadataLookup &metadataForKey) {
    QString text = withTabs(pattern);
    static const QRegularExpression placeholder(
        QStringLiteral("(?<!%)%[^\\s%]+"),
        QRegularExpression::MultilineOption | QRegularExpression::DotMatchesEverythingOption);
    QList<QRegularExpressionMatch> matches;
    for (auto it = placeholder.globalMatch(text); it.hasNext();)
        matches.append(it.next());
    // From the last to the first, so that the earlier ranges stay valid.
    for (auto match = matches.crbegin(); match != matches.crend(); ++match) {
        const std::optional<QString> value = metadataForKey ? metadataForKey(match->captured()) : std::nullopt;
        text.replace(match->capturedStart(), match->capturedLength(), value.value_or(QString()));
    }
    return text;
}

QString stringFromTemplate(const QString &pattern, const QString &title, const QString &date, int page,
                           int pages) {
    QString text = withTabs(pattern);
    text.replace(QLatin1String("%%PAGES"), QString::number(pages));
    text.replace(QLatin1String("%%PAGE"), QString::number(page));
    text.replace(QLatin1String("%%DATE"), date);
    text.replace(QLatin1String("%%TITLE"), title);
    return text;
}

}  // namespace printtemplates
