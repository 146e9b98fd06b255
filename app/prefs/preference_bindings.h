// Controls of the preferences window bound to the user's preferences: each
// shows its key's value when bound, follows every later change of the key
// (from another control, a menu, a test), and stores what the user enters
// under the key in the key's own kind, so that everything that observes the
// key (open editors, previews, sidebars) follows at once.
//
//   bindCheckBox(box, "EXT_SMART", defaults);
//   bindSpinBox(spin, "horizontalPadding", defaults);   // an int
//   bindDoubleSpinBox(spin, "lineHeight", defaults);    // a float
//   bindLineEdit(edit, "markupComment", defaults);      // a string
//   bindComboIndex(combo, "tzrListMarker", defaults);   // an integer index
//
// A binding lives as long as its control. Main thread only.
#pragma once

#include <QString>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

namespace platform {
class Defaults;
}

namespace prefs {

void bindCheckBox(QCheckBox *box, const QString &key, platform::Defaults &defaults);
// The box's value is stored as an integer; a stored value outside the box's
// range shows clamped, and is left as it is until the user changes it.
void bindSpinBox(QSpinBox *box, const QString &key, platform::Defaults &defaults);
// Stored as a single-precision float, the kind the float keys are read in.
void bindDoubleSpinBox(QDoubleSpinBox *box, const QString &key, platform::Defaults &defaults);
// Stored when editing finishes (Return or leaving the field), not at every
// keystroke, so that a half-typed value is never acted on.
void bindLineEdit(QLineEdit *edit, const QString &key, platform::Defaults &defaults);
// The index of the chosen item, stored as an integer; a value that names no
// item shows no selection.
void bindComboIndex(QComboBox *combo, const QString &key, platform::Defaults &defaults);

}  // namespace prefs
