// The look of sidebars, file lists, floating panels and window backgrounds,
// from the integer preference "appearanceTheme":
//
//   0  vibrant light        lists in the vibrant light appearance
//   1  vibrant dark         lists in the vibrant dark appearance
//   2  plain                fixed light colours (black text, white selected
//                           text on a blue highlight, grey when inactive)
//   3  editor theme         the plain colours, then the theme's sidebar
//                           colours where the theme defines them
//   any other value         read as 1, with the log line
//                           "unrecognized value for appearanceTheme"
//
// Vibrant materials exist only when the framework version is above 1265
// (platform/runtime/framework_version.h); where they do not, the vibrant settings
// leave lists and panels as the platform draws them.
#pragma once

#include <QColor>

class KVXColouredList;
class QLineEdit;
class QWidget;

class KVXAppearanceController {
public:
    // sRGB (56, 117, 215) and a grey of 202, both opaque.
    static QColor highlightColor();
    static QColor inactiveHighlightColor();

    // A floating panel takes the vibrant dark appearance where there is one.
    static void configureHUDAppearance(QWidget *panel);
    // Search fields keep the platform's look.
    static void configureSearchAppearance(QLineEdit *field, bool forHUD);
    // The plain look: no highlight style of the platform's, black text,
    // white selected text, the blue highlight and the grey one.
    static void setAquaCustomColorsForTable(KVXColouredList &list);
    // The look the setting gives a list (a floating panel's list is always
    // vibrant dark, where vibrancy exists).
    static void configureTableAppearance(KVXColouredList &list, bool forHUD);
    // The colour a new column's cells start with; invalid for none.
    static QColor textColorForTableColumnforHUD(bool forHUD);
    // A new view to put behind a window's content, framed to the bounds of
    // the window's content (`window` itself for a plain widget): plain where
    // there is no vibrancy or for the plain settings, else a vibrant
    // background of the setting's appearance. The caller owns it.
    static QWidget *backgroundLayerForWindow(QWidget *window);
    // The setting in force: the stored one where vibrancy exists; else 3
    // when the setting is above 2, otherwise 2.
    static int actualAppearanceTheme();

    // The stored setting.
    static int appearanceTheme();
    // The system text colour of an appearance: black in the light one,
    // white in the dark one.
    static QColor systemTextColor(bool dark);

private:
    // The setting read as a vibrant appearance: dark for 1 and for unknown
    // values (logged), light for 0.
    static bool vibrantSettingIsDark(int setting);
};
