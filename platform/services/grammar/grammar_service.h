// Grammar: sentences of one language judged with a Link Grammar dictionary.
//
// A sentence that the parser links fully is grammatical. One that it can
// link only by leaving words out is faulty: the words its best parse leaves
// unlinked are given back (none when no parse leaves few enough out). A
// sentence longer than kLongestSentence words, or one the parser gives up
// on within its time limit, is not judged: nothing is said of it.
//
// The dictionary is the one of the user's language (QLocale::system(); the
// C locale counts as English, the program's own language) in the system's
// folder of grammar dictionaries. There is no fallback: a text judged with
// another language's grammar would be marked throughout. Without a
// dictionary the service is not available and judges nothing.
//
// Loading a dictionary takes a quarter of a second or more, so it is loaded
// on a thread of the service's own, when first needed (load(), request(),
// or check(), which waits for it). Parsing a sentence takes from a
// millisecond to a second, so sentences are judged on that thread too:
// request() queues a sentence and checked() tells the main thread once its
// verdict is known(). Verdicts are remembered per sentence, so that a
// sentence marked again (a restyle, another window) costs a look-up.
//
// One service serves the program (shared(), made on first use and living
// until the program ends); tests make their own. Its functions are for the
// main thread; the parsing happens on its own.
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace platform {

class GrammarService : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The language ("en", "en_US"); empty for the user's language.
        QString language;
        // The folder of the dictionaries, one folder a language
        // ("<folder>/en/4.0.dict"); empty for the system's.
        QString dataFolder;
    };

    // A part of a sentence, in UTF-16 units of it.
    struct Span {
        qsizetype start = 0;
        qsizetype length = 0;
        bool operator==(const Span &) const = default;
    };
    struct Verdict {
        enum Kind { NotJudged, Grammatical, Faulty };
        Kind kind = NotJudged;
        // For a faulty sentence, the words its best parse leaves unlinked, in
        // order; none when no parse leaves few enough words out.
        QList<Span> unlinked;
        bool operator==(const Verdict &) const = default;
    };

    enum class State { Unloaded, Loading, Ready, Failed };

    explicit GrammarService(const Options &options, QObject *parent = nullptr);
    ~GrammarService() override;

    // The program's service: the user's language, the system's dictionaries.
    static GrammarService &shared();
    static QString systemDataFolder();
    // The language code of the dictionary in `folder` that stands for
    // `locale` ("en_GB.UTF-8" and "en" find "en"; "C" and "POSIX" stand for
    // English), else empty.
    static QString dictionaryFor(const QString &locale, const QString &folder);

    // The language checked ("en"); empty when there is no dictionary for the
    // language asked for.
    QString language() const { return m_language; }
    bool hasDictionary() const { return !m_language.isEmpty(); }
    // The name of the language asked for, for messages ("English", "German").
    QString languageName() const { return m_languageName; }

    // Starts loading the dictionary, once; loaded() tells when it is done.
    void load();
    State state() const;
    // The dictionary is loaded and sentences are judged.
    bool isAvailable() const { return state() == State::Ready; }

    // Sentences of more words than this are not judged: their parse may take
    // seconds, and a long sentence is rarely wrong where it could be shown.
    static constexpr int kLongestSentence = 30;
    // A faulty sentence's best parse leaves at most this many words out;
    // past that the whole sentence is faulty.
    static constexpr int kMostUnlinked = 3;
    // Whether `sentence` is short enough, and not empty, to be judged.
    static bool isJudgeable(const QString &sentence);

    // The verdict on `sentence`, on the calling (main) thread: waits for the
    // dictionary, and for the service's own thread to finish the sentence it
    // parses. For tests and for judging a few sentences; typing uses
    // request().
    Verdict check(const QString &sentence);
    // The verdict remembered for `sentence`, if it was judged.
    std::optional<Verdict> known(const QString &sentence) const;
    // Queues `sentence` to be judged on the service's thread, for
    // `requester`; `urgent` ones (the text being typed) go first. A known
    // sentence is not queued again.
    void request(const QString &sentence, const QObject *requester, bool urgent = false);
    // Drops what `requester` queued and nobody else waits for.
    void cancel(const QObject *requester);
    // Sentences are queued or being judged.
    bool isWorking() const;
    // For tests: while held, the service's thread takes no sentence from the
    // queue (the one it parses, it finishes), so that what is queued and
    // cancelled meanwhile is known whatever the thread's speed.
    void holdQueue(bool held);

    // True the first time only: the user is to be told once that their
    // language's grammar is not checked.
    bool takeUnavailableNotice();

signals:
    // The dictionary is loaded, or could not be.
    void loaded(bool available);
    // These sentences were judged; their verdicts are known().
    void checked(const QStringList &sentences);

private:
    struct Shared;
    void startThread();
    // Ends the thread and frees the dictionary: nothing is judged after.
    void stop();
    void deliver();
    void remember(const QString &sentence, const Verdict &verdict);

    QString m_language;
    QString m_languageName;
    QString m_dataFolder;
    std::shared_ptr<Shared> m_shared;
    QHash<QString, Verdict> m_known;
    bool m_noticeGiven = false;
};

}  // namespace platform
