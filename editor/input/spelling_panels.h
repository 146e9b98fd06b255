// The small panels of the Edit menu's text services, each a tool window
// over the editor that shows it.
//
// SpellingPanel (Show Spelling and Grammar): the misspelt word found, the
// dictionary's guesses for it, a field with the spelling to use (the first
// guess, or one the user writes or picks), and Change, Find Next, Ignore and
// Learn. A sentence found faulty shows instead with what grammar says of it,
// and only Find Next and Ignore. It only shows and asks: the editor finds
// words and sentences and changes the text.
//
// SubstitutionsPanel (Show Substitutions): the switches of smart quotes,
// smart dashes and smart links, bound to their preferences both ways.
//
// Main thread; each panel belongs to its editor (a child window of it).
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
namespace platform {
class Defaults;
}

class SpellingPanel : public QDialog {
    Q_OBJECT
public:
    explicit SpellingPanel(QWidget *parent = nullptr);

    // Shows `word` with its guesses; an empty word tells that no misspelt
    // word (nor faulty sentence) was found.
    void showWord(const QString &word, const QStringList &guesses);
    QString word() const { return m_word; }
    // Shows `sentence`, found faulty, with what grammar says of it.
    void showSentence(const QString &sentence, const QString &reading);
    QString sentence() const { return m_sentence; }
    QString status() const;
    QStringList guesses() const;
    // The spelling that Change puts in place of the word.
    QString replacement() const;

    QPushButton *changeButton() const { return m_change; }
    QPushButton *findNextButton() const { return m_findNext; }
    QPushButton *ignoreButton() const { return m_ignore; }
    QPushButton *learnButton() const { return m_learn; }

signals:
    void changeRequested(const QString &word, const QString &replacement);
    void findNextRequested();
    void ignoreRequested(const QString &word);
    void ignoreSentenceRequested(const QString &sentence);
    void learnRequested(const QString &word);

private:
    void enableFor(bool word, bool sentence);

    QString m_word;
    QString m_sentence;
    QLabel *m_status;
    QLineEdit *m_field;
    QListWidget *m_list;
    QPushButton *m_change;
    QPushButton *m_findNext;
    QPushButton *m_ignore;
    QPushButton *m_learn;
};

class SubstitutionsPanel : public QDialog {
    Q_OBJECT
public:
    explicit SubstitutionsPanel(platform::Defaults &defaults, QWidget *parent = nullptr);

    // The switch of a preference ("smartQuotes", "smartDashes", "smartLinks").
    QCheckBox *switchFor(const QString &key) const;

private:
    platform::Defaults &m_defaults;
    QList<QCheckBox *> m_switches;
};
