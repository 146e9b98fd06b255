#include "editor/input/spelling_panels.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/prefs/defaults.h"

// --- Spelling --------------------------------------------------------------------------

SpellingPanel::SpellingPanel(QWidget *parent) : QDialog(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Spelling"));
    setObjectName(QStringLiteral("spellingPanel"));
    m_status = new QLabel(this);
    m_field = new QLineEdit(this);
    m_list = new QListWidget(this);
    m_change = new QPushButton(QStringLiteral("Change"), this);
    m_findNext = new QPushButton(QStringLiteral("Find Next"), this);
    m_ignore = new QPushButton(QStringLiteral("Ignore"), this);
    m_learn = new QPushButton(QStringLiteral("Learn"), this);
    m_change->setAutoDefault(false);
    m_findNext->setAutoDefault(false);
    m_ignore->setAutoDefault(false);
    m_learn->setAutoDefault(false);

    auto *buttons = new QVBoxLayout;
    for (QPushButton *button : {m_change, m_findNext, m_ignore, m_learn})
        buttons->addWidget(button);
    buttons->addStretch();
    auto *columns = new QHBoxLayout;
    columns->addWidget(m_list, 1);
    columns->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_field);
    layout->addLayout(columns);

    connect(m_list, &QListWidget::currentTextChanged, m_field, [this](const QString &guess) {
        if (m_sentence.isEmpty())
            m_field->setText(guess);
    });
    connect(m_change, &QPushButton::clicked, this, [this] {
        if (!m_word.isEmpty() && !replacement().isEmpty())
            emit changeRequested(m_word, replacement());
    });
    connect(m_findNext, &QPushButton::clicked, this, &SpellingPanel::findNextRequested);
    connect(m_ignore, &QPushButton::clicked, this, [this] {
        if (!m_word.isEmpty())
            emit ignoreRequested(m_word);
        else if (!m_sentence.isEmpty())
            emit ignoreSentenceRequested(m_sentence);
    });
    connect(m_learn, &QPushButton::clicked, this, [this] {
        if (!m_word.isEmpty())
            emit learnRequested(m_word);
    });
    showWord(QString(), {});
}

void SpellingPanel::showWord(const QString &word, const QStringList &guesses) {
    m_word = word;
    m_sentence.clear();
    m_list->clear();
    m_list->addItems(guesses);
    m_field->setReadOnly(false);
    if (word.isEmpty()) {
        m_status->setText(QStringLiteral("No misspelt word found."));
        m_field->clear();
    } else {
        m_status->setText(guesses.isEmpty() ? QStringLiteral("“%1”: no guesses found.").arg(word)
                                            : QStringLiteral("“%1” is not in the dictionary.").arg(word));
        m_field->setText(guesses.isEmpty() ? word : guesses.first());
        if (!guesses.isEmpty())
            m_list->setCurrentRow(0);
    }
    enableFor(!word.isEmpty(), false);
}

void SpellingPanel::showSentence(const QString &sentence, const QString &reading) {
    m_word.clear();
    m_sentence = sentence;
    m_list->clear();
    m_status->setText(reading + QLatin1Char('.'));
    // The sentence is shown, not changed here: the user rewrites it in the
    // text.
    m_field->setText(sentence);
    m_field->setCursorPosition(0);
    m_field->setReadOnly(true);
    enableFor(false, !sentence.isEmpty());
}

QString SpellingPanel::status() const { return m_status->text(); }

void SpellingPanel::enableFor(bool word, bool sentence) {
    m_change->setEnabled(word);
    m_ignore->setEnabled(word || sentence);
    m_learn->setEnabled(word);
}

QStringList SpellingPanel::guesses() const {
    QStringList items;
    for (int i = 0; i < m_list->count(); i++)
        items.append(m_list->item(i)->text());
    return items;
}

QString SpellingPanel::replacement() const { return m_field->text().trimmed(); }

// --- Substitutions ----------------------------------------------------------------------

namespace {

struct Switch {
    const char *key;
    const char *title;
};
constexpr Switch kSwitches[] = {
    {"smartQuotes", "Smart Quotes"},
    {"smartDashes", "Smart Dashes"},
    {"smartLinks", "Smart Links"},
};

}  // namespace

SubstitutionsPanel::SubstitutionsPanel(platform::Defaults &defaults, QWidget *parent)
    : QDialog(parent, Qt::Tool), m_defaults(defaults) {
    setWindowTitle(QStringLiteral("Substitutions"));
    setObjectName(QStringLiteral("substitutionsPanel"));
    auto *layout = new QVBoxLayout(this);
    QStringList keys;
    for (const Switch &entry : kSwitches) {
        const QString key = QString::fromLatin1(entry.key);
        auto *box = new QCheckBox(QString::fromLatin1(entry.title), this);
        box->setObjectName(key);
        box->setChecked(m_defaults.boolForKey(key));
        connect(box, &QCheckBox::toggled, this, [this, key](bool on) {
            if (m_defaults.boolForKey(key) != on)
                m_defaults.setBool(on, key);
        });
        layout->addWidget(box);
        m_switches.append(box);
        keys.append(key);
    }
    m_defaults.observe(keys, this, [this](const QString &key, const QVariant &) {
        if (QCheckBox *box = switchFor(key))
            box->setChecked(m_defaults.boolForKey(key));
    });
}

QCheckBox *SubstitutionsPanel::switchFor(const QString &key) const {
    for (QCheckBox *box : m_switches)
        if (box->objectName() == key)
            return box;
    return nullptr;
}
