// The application's preferences window: ten panes, each control bound to its
// preference. Open editors, previews and sidebars follow a change at once
// (they observe the keys), except where a control says "new windows": what
// each window keeps for itself (a document's theme and style sheet, the View
// menu's switches, the panes' sizes and sides) starts from those, and an
// open window keeps its own.
//
//   General · Appearance · Editing · TZR · CriticMarkup · Preview · Printing ·
//   Files · Advanced · Pro Features
//
// The Appearance and Preview panes hold the default theme's and style
// sheet's popups, which the extras keeper fills; the Appearance pane's font
// button opens the default-font chooser: it sends "myChangeFont:", as
// Orvane ▸ Default Font… does (and tells of it, changeFontRequested).
#pragma once

#include <QLineEdit>
#include <QPointer>

#include "app/prefs/zeb_prefs_window_controller.h"

class TZRThemeController;

class SmartEditorPreferences : public ZebPrefsWindowController {
    Q_OBJECT

public:
    // The pane labels, in toolbar order.
    static const QStringList &paneLabels();

    // The application's one preferences controller (over the standard
    // preferences and the shared extras keeper).
    static SmartEditorPreferences *sharedPrefsWindowController();

    // `extras` fills the theme and style-sheet popups (the shared keeper
    // when null); both must outlive the controller.
    explicit SmartEditorPreferences(platform::Defaults *defaults = nullptr,
                                    TZRThemeController *extras = nullptr, QObject *parent = nullptr);
    ~SmartEditorPreferences() override;

    // Shows the shared controller's window.
    static void showPreferences();

    QWidget *paneView(const QString &label) const;
    // The Appearance pane and its field showing the default font.
    QWidget *prefsView() const { return paneView(QStringLiteral("Appearance")); }
    QLineEdit *defaultFontField() const { return m_defaultFontField; }

signals:
    // The Appearance pane's font button was pressed.
    void changeFontRequested();

protected:
    void windowDidLoad() override;
    void setupToolbar() override;

private:
    QWidget *makeGeneral();
    QWidget *makeAppearance();
    QWidget *makeEditing();
    QWidget *makeTZR();
    QWidget *makeCriticMarkup();
    QWidget *makePreview();
    QWidget *makePrinting();
    QWidget *makeFiles();
    QWidget *makeAdvanced();
    QWidget *makePro();

    TZRThemeController *m_extras;
    QList<QPointer<QWidget>> m_panes;  // in the order of paneLabels()
    QPointer<QLineEdit> m_defaultFontField;
};
