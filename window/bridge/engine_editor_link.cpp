#include "window/bridge/engine_editor_link.h"

#include <QWidget>

bool isHiddenOrHasHiddenAncestor(const QWidget *widget) {
    // The window itself does not count: one not shown yet is hidden to Qt,
    // but its views are not.
    for (const QWidget *w = widget; w && !w->isWindow(); w = w->parentWidget())
        if (w->isHidden())
            return true;
    return false;
}
