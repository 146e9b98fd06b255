#include "app/prefs/preference_bindings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <functional>

#include "platform/prefs/defaults.h"

namespace prefs {

namespace {

// Shows the key's value in `control` now and after every change of the key;
// showing never stores (the control's signals are blocked meanwhile).
template <typename Control>
void follow(Control *control, const QString &key, platform::Defaults &defaults,
            std::function<void(Control *, platform::Defaults &)> show) {
    auto showNow = [control, &defaults, show] {
        const QSignalBlocker quiet(control);
        show(control, defaults);
    };
    showNow();
    defaults.observe(key, control, [showNow](const QVariant &) { showNow(); });
}

}  // namespace

void bindCheckBox(QCheckBox *box, const QString &key, platform::Defaults &defaults) {
    follow<QCheckBox>(box, key, defaults, [key](QCheckBox *b, platform::Defaults &d) {
        b->setChecked(d.boolForKey(key));
    });
    QObject::connect(box, &QCheckBox::toggled, box,
                     [key, &defaults](bool on) { defaults.setBool(on, key); });
}

void bindSpinBox(QSpinBox *box, const QString &key, platform::Defaults &defaults) {
    follow<QSpinBox>(box, key, defaults, [key](QSpinBox *b, platform::Defaults &d) {
        b->setValue(int(std::clamp<qint64>(d.integerForKey(key), b->minimum(), b->maximum())));
    });
    QObject::connect(box, &QSpinBox::valueChanged, box,
                     [key, &defaults](int value) { defaults.setInteger(value, key); });
}

void bindDoubleSpinBox(QDoubleSpinBox *box, const QString &key, platform::Defaults &defaults) {
    follow<QDoubleSpinBox>(box, key, defaults, [key](QDoubleSpinBox *b, platform::Defaults &d) {
        b->setValue(d.doubleForKey(key));
    });
    QObject::connect(box, &QDoubleSpinBox::valueChanged, box,
                     [key, &defaults](double value) { defaults.setFloat(float(value), key); });
}

void bindLineEdit(QLineEdit *edit, const QString &key, platform::Defaults &defaults) {
    follow<QLineEdit>(edit, key, defaults, [key](QLineEdit *e, platform::Defaults &d) {
        // A field being typed in keeps what the user typed.
        if (!e->isModified())
            e->setText(d.stringForKey(key));
    });
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, key, &defaults] {
        edit->setModified(false);
        if (defaults.stringForKey(key) != edit->text() || !defaults.objectForKey(key).isValid())
            defaults.setObject(edit->text(), key);
    });
}

void bindComboIndex(QComboBox *combo, const QString &key, platform::Defaults &defaults) {
    follow<QComboBox>(combo, key, defaults, [key](QComboBox *c, platform::Defaults &d) {
        const qint64 index = d.integerForKey(key);
        c->setCurrentIndex(index >= 0 && index < c->count() ? int(index) : -1);
    });
    QObject::connect(combo, &QComboBox::activated, combo,
                     [key, &defaults](int index) { defaults.setInteger(index, key); });
}

}  // namespace prefs
