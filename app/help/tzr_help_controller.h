// The Help menu's pages: each action opens one page of the maker's online
// help in the user's browser.
//
//   action                     page
//   "onlineHelp:"              the knowledge base
//   "onlineHelpOrvane:"        Orvane's part of it
//   "submitBetaIssue:"         the forum for test releases
//   "submitProblem:"           the forum for problem reports
//   "orvanePrefsGeneral:" ...  the help page of each preferences pane
#pragma once

#include <QList>
#include <QString>
#include <QUrl>

class TZRHelpController {
public:
    struct Page {
        QString action;  // the menu action, e.g. "onlineHelp:"
        QString title;   // the menu item's title
        QString path;    // below the support site
    };

    // The one controller, made on first use.
    static TZRHelpController &sharedController();

    // Every page, in the order of the Help menu.
    static const QList<Page> &pages();
    // The address of an action's page; empty for an action that is not one.
    static QUrl pageForAction(const QString &action);

    // Opens the action's page in the browser; false when the action is not
    // one of the pages or the page could not be handed to the browser. A
    // page that could not be opened, at once or once the browser's opener
    // gave up, is told in an alert with its address.
    bool perform(const QString &action);

private:
    TZRHelpController() = default;
};
