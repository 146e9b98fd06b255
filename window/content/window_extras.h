// What a document window needs of the per-user extras folders, which the
// application keeps: where a theme or a style sheet of a given name lives,
// and the expansion files the editor loads. The application sets one
// provider for all windows; without one, windows show no theme or style
// sheet and load no expansions.
#pragma once

#include <QString>

class ExtrasProvider;

class WindowExtras {
public:
    virtual ~WindowExtras() = default;
    // The file of a theme or style sheet by name; empty when none.
    virtual QString filePathForThemeNamed(const QString &name) const = 0;
    virtual QString filePathForCSSNamed(const QString &name) const = 0;
    // The expansion files for new editors; null for none.
    virtual ExtrasProvider *expansions() const { return nullptr; }

    // The provider of the application (main thread); null for none. The
    // provider must outlive every window made while it is set.
    static WindowExtras *shared();
    static void setShared(WindowExtras *extras);
};
