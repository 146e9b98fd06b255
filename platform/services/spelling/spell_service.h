// Spelling: the words of one language, checked against a Hunspell
// dictionary, with suggestions and the user's own word list.
//
// The dictionary is the one of the user's language (QLocale::system(),
// "de_DE" and then any "de_*") found in the system's dictionary folders
// (/usr/share/hunspell, /usr/share/myspell), else American English. Without
// any dictionary the service is not available: every word then counts as
// correct and nothing is suggested, so nothing is ever marked.
//
// The user's own words (Learn Spelling) are kept in a text file, one word a
// line in UTF-8, read when the service starts and added to at once; they
// count as correct for every document. Words ignored in one document are the
// editor's business, not the service's. A word that cannot be kept on disk
// (a folder in the list's place, a read-only disk) still counts as correct
// until the program ends, and the user is told so in an alert, once while
// the list stays unwritable. Of a list longer than kMostPersonalListBytes only
// its end, the words learnt last, is read: the dictionary takes each word in
// more slowly the more it holds (a list of 32 MB took minutes), and the
// first window waits for it. The user is told, in an alert, that the list was
// cut.
//
// Answers are remembered per word, so that checking a document again (a
// restyle, another window) costs a hash look-up per word. Suggestions are
// slow (tens of milliseconds); singleEditCorrections is what may run while
// the user types.
//
// One service serves the program (shared(), made on first use and living
// until the program ends); tests make their own. Main thread only.
#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

namespace platform {

class SpellService : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The dictionary's name ("en_US"); empty for the user's language.
        QString language;
        // Where dictionaries are looked for; empty for the system's folders.
        QStringList dictionaryFolders;
        // The user's word list; empty for none (nothing is kept on disk).
        QString personalListPath;
    };

    explicit SpellService(const Options &options, QObject *parent = nullptr);
    ~SpellService() override;

    // The program's service: the user's language, the system's dictionaries
    // and the word list in the user's data folder (personalListFile()).
    static SpellService &shared();
    // "<user data>/Tessaro Orvane 4/Spelling/Learned Words.txt".
    static QString personalListFile();
    // The dictionary name that stands for `locale` ("en_US", "pt_BR") among
    // the dictionaries of `folders` ("de" finds "de_DE"), else "en_US" when
    // there is one, else empty.
    static QString dictionaryFor(const QString &locale, const QStringList &folders);
    static QStringList systemDictionaryFolders();

    // A dictionary was loaded.
    bool isAvailable() const;
    // The loaded dictionary's name ("en_US"); empty when none.
    QString language() const { return m_language; }

    // Whether `word` (one word, no spaces) is spelt correctly; true when the
    // service is not available, the word cannot be written in the
    // dictionary's characters, or it is longer than any word
    // (kLongestWord: encoded data or a hash, not prose).
    bool isCorrect(const QString &word);
    static constexpr qsizetype kLongestWord = 100;
    // Up to `limit` spellings the dictionary suggests for `word`, best first.
    QStringList suggestions(const QString &word, int limit = 5);
    // The correct words one edit from `word` (a letter left out, added,
    // changed, or two neighbours swapped), in the dictionary's own letters;
    // none for a correct word. Fast enough to run as a word is ended; with a
    // `limit`, the search stops once that many are found.
    QStringList singleEditCorrections(const QString &word, int limit = -1);

    // Adds `word` to the user's list (on disk at once) and to the words
    // counted as correct. False when it could not be kept on disk (the
    // word still counts as correct until the program ends, and an alert
    // says so unless one already did since the list was last written).
    bool learnWord(const QString &word);
    // The most of the user's list that is read: its last 256 KB, some 25
    // thousand words, which the dictionary takes in within a tenth of a
    // second.
    static constexpr qint64 kMostPersonalListBytes = 256 * 1024;
    bool hasLearnedWord(const QString &word) const { return m_learned.contains(word); }
    QStringList learnedWords() const;
    QString personalListPath() const { return m_personalList; }

signals:
    // The words counted as correct changed (a word was learnt): what was
    // checked must be checked again.
    void wordsChanged();

private:
    struct Dictionary;
    bool spell(const QString &word);
    void readPersonalList();
    // Appends the word's line to the list on disk; the reason when it
    // cannot be kept there.
    QString keepOnDisk(const QString &word) const;
    void addToDictionary(const QString &word);

    std::unique_ptr<Dictionary> m_dictionary;
    QString m_language;
    QString m_personalList;
    QSet<QString> m_learned;
    QHash<QString, bool> m_known;
    // An alert told that the list cannot be written, and it was not written since.
    bool m_toldUnwritable = false;
};

}  // namespace platform
