// Builds one pane of the preferences window: a column of sections with
// labelled controls, each control bound to its preference key (see
// preference_bindings.h). The finished pane has a fixed size, the one the
// preferences window shows it at.
//
//   PaneBuilder pane(defaults, "General");
//   pane.section("Start-up").check("checkForAnnouncements", "Check for announcements");
//   QWidget *view = pane.finish();
#pragma once

#include <QString>
#include <QStringList>

class QFormLayout;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace platform {
class Defaults;
}

namespace prefs {

class PaneBuilder {
public:
    static constexpr int kPaneWidth = 800;

    PaneBuilder(platform::Defaults &defaults, const QString &name);

    PaneBuilder &section(const QString &title);
    PaneBuilder &check(const QString &key, const QString &text);
    PaneBuilder &integer(const QString &key, const QString &label, int minimum, int maximum,
                         const QString &suffix = QString());
    PaneBuilder &real(const QString &key, const QString &label, double minimum, double maximum,
                      double step, int decimals = 2);
    PaneBuilder &text(const QString &key, const QString &label, const QString &placeholder = QString());
    // Item i stands for the stored integer i.
    PaneBuilder &choice(const QString &key, const QString &label, const QStringList &items);
    // A control of the caller's (a popup filled elsewhere, a font field).
    PaneBuilder &row(const QString &label, QWidget *control);
    PaneBuilder &note(const QString &text);
    // A button that runs `action`.
    QPushButton *button(const QString &text);

    QWidget *widget() const { return m_pane; }
    // Fixes the pane's size to what its contents need.
    QWidget *finish();

private:
    QFormLayout *form();

    platform::Defaults &m_defaults;
    QWidget *m_pane;
    QVBoxLayout *m_column;
    QFormLayout *m_form = nullptr;
};

}  // namespace prefs
