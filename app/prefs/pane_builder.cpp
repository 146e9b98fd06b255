#include "app/prefs/pane_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/prefs/preference_bindings.h"

namespace prefs {

namespace {

// Controls are named after their key, so that a test (or a style sheet)
// finds the control of a preference.
template <typename Control>
Control *named(Control *control, const QString &key) {
    control->setObjectName(key);
    return control;
}

}  // namespace

PaneBuilder::PaneBuilder(platform::Defaults &defaults, const QString &name)
    : m_defaults(defaults), m_pane(new QWidget), m_column(new QVBoxLayout(m_pane)) {
    m_pane->setObjectName(name);
    m_column->setContentsMargins(24, 16, 24, 20);
    m_column->setSpacing(6);
}

QFormLayout *PaneBuilder::form() {
    if (!m_form) {
        m_form = new QFormLayout;
        m_form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
        m_form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_form->setFormAlignment(Qt::AlignHCenter | Qt::AlignTop);
        m_form->setHorizontalSpacing(12);
        m_column->addLayout(m_form);
    }
    return m_form;
}

PaneBuilder &PaneBuilder::section(const QString &title) {
    auto *label = new QLabel(title);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    if (m_form)
        m_column->addSpacing(10);
    m_column->addWidget(label);
    m_form = nullptr;
    return *this;
}

PaneBuilder &PaneBuilder::check(const QString &key, const QString &text) {
    auto *box = named(new QCheckBox(text), key);
    bindCheckBox(box, key, m_defaults);
    form()->addRow(QString(), box);
    return *this;
}

PaneBuilder &PaneBuilder::integer(const QString &key, const QString &label, int minimum, int maximum,
                                  const QString &suffix) {
    auto *box = named(new QSpinBox, key);
    box->setRange(minimum, maximum);
    box->setSuffix(suffix);
    bindSpinBox(box, key, m_defaults);
    form()->addRow(label, box);
    return *this;
}

PaneBuilder &PaneBuilder::real(const QString &key, const QString &label, double minimum,
                               double maximum, double step, int decimals) {
    auto *box = named(new QDoubleSpinBox, key);
    box->setRange(minimum, maximum);
    box->setSingleStep(step);
    box->setDecimals(decimals);
    bindDoubleSpinBox(box, key, m_defaults);
    form()->addRow(label, box);
    return *this;
}

PaneBuilder &PaneBuilder::text(const QString &key, const QString &label, const QString &placeholder) {
    auto *edit = named(new QLineEdit, key);
    edit->setPlaceholderText(placeholder);
    edit->setMinimumWidth(280);
    bindLineEdit(edit, key, m_defaults);
    form()->addRow(label, edit);
    return *this;
}

PaneBuilder &PaneBuilder::choice(const QString &key, const QString &label, const QStringList &items) {
    auto *combo = named(new QComboBox, key);
    combo->addItems(items);
    bindComboIndex(combo, key, m_defaults);
    form()->addRow(label, combo);
    return *this;
}

PaneBuilder &PaneBuilder::row(const QString &label, QWidget *control) {
    form()->addRow(label, control);
    return *this;
}

PaneBuilder &PaneBuilder::note(const QString &text) {
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    label->setMaximumWidth(420);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    form()->addRow(QString(), label);
    return *this;
}

QPushButton *PaneBuilder::button(const QString &text) {
    auto *push = new QPushButton(text);
    form()->addRow(QString(), push);
    return push;
}

QWidget *PaneBuilder::finish() {
    m_column->addStretch(1);
    m_pane->setFixedWidth(kPaneWidth);
    m_pane->setFixedHeight(m_pane->sizeHint().height());
    m_pane->resize(kPaneWidth, m_pane->height());
    return m_pane;
}

}  // namespace prefs
