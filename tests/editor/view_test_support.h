// An editor view over a storage, shown offscreen at a fixed size, with the
// preferences of a new user (changed by the test before the view is made).
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

#include "editor/view/kvx_text_view.h"
#include "editor/storage/smart_text_storage.h"
#include "platform/prefs/registered_defaults.h"

namespace editortest {

class ShownView {
public:
    // `configure` sets preferences before the storage and the view read
    // them. The text column's font is DejaVu Sans at 12 points unless
    // `configure` says otherwise; the storage uses the test theme.
    explicit ShownView(const std::function<void(platform::Defaults &)> &configure = {},
                       bool themed = true);
    ~ShownView();

    platform::Defaults &defaults() { return m_scoped.defaults(); }
    SmartTextStorage &storage() { return *m_storage; }
    KVXTextView &view() { return *m_view; }

    // Sets the text and shows the view at `size`, laid out and painted.
    void show(const QString &text, QSize size = QSize(600, 400));
    // Lets pending layout and paint events run.
    void settle();
    // The view as painted now (the whole widget, gutter included).
    QImage grab();

private:
    platform::ScopedStandardDefaults m_scoped;
    std::unique_ptr<SmartTextStorage> m_storage;
    std::unique_ptr<KVXTextView> m_view;
};

// Where tests keep pictures worth looking at (in the build folder).
QString artifactPath(const QString &name);

}  // namespace editortest
