#include "app/help/tzr_help_controller.h"

#include "app/help/maker_addresses.h"
#include "platform/files/workspace.h"

TZRHelpController &TZRHelpController::sharedController() {
    static TZRHelpController controller;
    return controller;
}

const QList<TZRHelpController::Page> &TZRHelpController::pages() {
    static const QList<Page> list = {
        {QStringLiteral("onlineHelp:"), QStringLiteral("Knowledge Base"), QStringLiteral("kb/")},
        {QStringLiteral("onlineHelpOrvane:"), QStringLiteral("Orvane Help"), QStringLiteral("kb/orvane/")},
        {QStringLiteral("submitBetaIssue:"), QStringLiteral("Report a Problem with a Test Release"),
         QStringLiteral("forum/beta/")},
        {QStringLiteral("submitProblem:"), QStringLiteral("Report a Problem"), QStringLiteral("forum/problems/")},
        {QStringLiteral("orvanePrefsGeneral:"), QStringLiteral("General"), QStringLiteral("kb/orvane/preferences/general")},
        {QStringLiteral("orvanePrefsAppearance:"), QStringLiteral("Appearance"),
         QStringLiteral("kb/orvane/preferences/appearance")},
        {QStringLiteral("orvanePrefsEditing:"), QStringLiteral("Editing"), QStringLiteral("kb/orvane/preferences/editing")},
        {QStringLiteral("orvanePrefsTZR:"), QStringLiteral("TZR"), QStringLiteral("kb/orvane/preferences/tzr")},
        {QStringLiteral("orvanePrefsCriticMarkup:"), QStringLiteral("CriticMarkup"),
         QStringLiteral("kb/orvane/preferences/criticmarkup")},
        {QStringLiteral("orvanePrefsPreview:"), QStringLiteral("Preview"), QStringLiteral("kb/orvane/preferences/preview")},
        {QStringLiteral("orvanePrefsPrinting:"), QStringLiteral("Printing"), QStringLiteral("kb/orvane/preferences/printing")},
        {QStringLiteral("orvanePrefsFiles:"), QStringLiteral("Files"), QStringLiteral("kb/orvane/preferences/files")},
        {QStringLiteral("orvanePrefsAdvanced:"), QStringLiteral("Advanced"), QStringLiteral("kb/orvane/preferences/advanced")},
        {QStringLiteral("orvanePrefsPro:"), QStringLiteral("Pro Features"), QStringLiteral("kb/orvane/preferences/pro")},
    };
    return list;
}

QUrl TZRHelpController::pageForAction(const QString &action) {
    for (const Page &page : pages())
        if (page.action == action)
            return QUrl(QString::fromLatin1(maker::kSupportSite)).resolved(QUrl(page.path));
    return QUrl();
}

bool TZRHelpController::perform(const QString &action) {
    const QUrl address = pageForAction(action);
    if (!address.isValid())
        return false;
    // Named in the alert as the menu names it, should no browser open it.
    QString what;
    for (const Page &page : pages())
        if (page.action == action)
            what = action.startsWith(QLatin1String("orvanePrefs"))
                       ? QStringLiteral("The help page of the %1 preferences").arg(page.title)
                       : QStringLiteral("The page “%1”").arg(page.title);
    return platform::Workspace::openExternallyOrTell(address, what);
}
