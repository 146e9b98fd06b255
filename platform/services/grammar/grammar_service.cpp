#include "platform/services/grammar/grammar_service.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <link-grammar/link-includes.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/runtime/log.h"

namespace platform {

namespace {

constexpr const char *kDictionaryFile = "4.0.dict";
// The parser's own limit on one parse, in seconds (its smallest).
constexpr int kParseSeconds = 1;
// Parses kept per sentence: enough that a sentence with a valid parse
// among many is found grammatical.
constexpr int kLinkages = 100;
// Longer than any sentence of kLongestSentence words: pasted data, not prose.
constexpr qsizetype kLongestText = 600;

// The parser reports through a handler of each thread's own: its warnings
// and errors go to the log, its notes and debugging lines nowhere.
void reportParserMessage(lg_errinfo *info, void *) {
    if (!info || info->severity > lg_Warn)
        return;
    const QString text = QString::fromUtf8(info->text ? info->text : "").simplified();
    qCWarning(lcPlatform, "Grammar: %s", qUtf8Printable(text));
}

void takeParserMessages() {
    thread_local bool taken = false;
    if (!taken) {
        lg_error_set_handler(reportParserMessage, nullptr);
        taken = true;
    }
}

int wordCount(const QString &sentence) {
    int words = 0;
    bool inWord = false;
    for (QChar c : sentence) {
        const bool space = c.isSpace();
        if (!space && !inWord)
            words++;
        inWord = !space;
    }
    return words;
}

}  // namespace

// What the service's thread shares with the main thread: the dictionary,
// the queue and the verdicts not yet handed over.
struct GrammarService::Shared {

    ~Shared() { free(); }

    void free() {
        if (options)
            parse_options_delete(options);
        if (dictionary)
            dictionary_delete(dictionary);
        options = nullptr;
        dictionary = nullptr;
    }

    // Loads the dictionary when nobody has tried yet. Holding `parseLock`.
    bool ensureLoaded(const QString &language, const QString &folder) {
        if (tried)
            return dictionary != nullptr;
        tried = true;
        takeParserMessages();
        // The folder of dictionaries is the parser's global setting: one
        // load at a time in the process.
        static std::mutex loading;
        std::lock_guard<std::mutex> guard(loading);
        dictionary_set_data_dir(QFile::encodeName(folder).constData());
        dictionary = dictionary_create_lang(language.toUtf8().constData());
        // The parser keeps its own copy of the folder until it is set again.
        dictionary_set_data_dir(nullptr);
        if (!dictionary) {
            qCWarning(lcPlatform, "The grammar dictionary for \"%s\" in %s could not be loaded: grammar is not checked",
                      qUtf8Printable(language), qUtf8Printable(folder));
            return false;
        }
        options = parse_options_create();
        parse_options_set_verbosity(options, 0);
        parse_options_set_max_parse_time(options, kParseSeconds);
        parse_options_set_linkage_limit(options, kLinkages);
        // Unknown words are guessed from their form (a capitalised one is a
        // name), never corrected: spelling is another service's business.
        parse_options_set_spell_guess(options, 0);
        return true;
    }

    // Holding `parseLock`, with the dictionary loaded.
    Verdict judge(const QString &sentence) {
        takeParserMessages();
        Verdict verdict;
        if (!isJudgeable(sentence))
            return verdict;
        const QByteArray utf8 = sentence.toUtf8();
        Sentence parsed = sentence_create(utf8.constData(), dictionary);
        if (!parsed)
            return verdict;
        if (sentence_split(parsed, options) != 0) {
            sentence_delete(parsed);
            return verdict;
        }
        parse_options_set_min_null_count(options, 0);
        parse_options_set_max_null_count(options, 0);
        const int found = sentence_parse(parsed, options);
        if (found > 0 && sentence_num_valid_linkages(parsed) > 0) {
            verdict.kind = Verdict::Grammatical;
        } else if (parse_options_resources_exhausted(options)) {
            // Given up, not refused.
        } else {
            verdict.kind = Verdict::Faulty;
            parse_options_set_min_null_count(options, 1);
            parse_options_set_max_null_count(options, kMostUnlinked);
            if (sentence_parse(parsed, options) > 0 && !parse_options_resources_exhausted(options))
                verdict.unlinked = unlinkedWords(parsed, utf8);
        }
        sentence_delete(parsed);
        return verdict;
    }

    // The words of the best parse that no link reaches, in units of the
    // sentence (the parser counts bytes of its UTF-8).
    QList<Span> unlinkedWords(Sentence parsed, const QByteArray &utf8) {
        QList<Span> spans;
        Linkage linkage = linkage_create(0, parsed, options);
        if (!linkage)
            return spans;
        const size_t words = linkage_get_num_words(linkage);
        std::vector<bool> linked(words, false);
        for (size_t link = 0, links = linkage_get_num_links(linkage); link < links; link++) {
            const size_t left = linkage_get_link_lword(linkage, link);
            const size_t right = linkage_get_link_rword(linkage, link);
            if (left < words)
                linked[left] = true;
            if (right < words)
                linked[right] = true;
        }
        // UTF-16 units before each byte of the text.
        std::vector<qsizetype> units(size_t(utf8.size()) + 1, 0);
        qsizetype unit = 0;
        for (qsizetype i = 0; i < utf8.size(); i++) {
            units[size_t(i)] = unit;
            const unsigned char byte = static_cast<unsigned char>(utf8[i]);
            if ((byte & 0xC0) != 0x80)
                unit += byte >= 0xF0 ? 2 : 1;
        }
        units[size_t(utf8.size())] = unit;
        for (size_t word = 0; word < words; word++) {
            if (linked[word])
                continue;
            const size_t start = linkage_get_word_byte_start(linkage, word);
            const size_t end = linkage_get_word_byte_end(linkage, word);
            // The walls at either end are no words of the text.
            if (end <= start || end > size_t(utf8.size()))
                continue;
            spans.append({units[start], units[end] - units[start]});
        }
        linkage_delete(linkage);
        return spans;
    }

    // Holding `lock`, with something queued.
    QString takeNext() {
        for (std::deque<QString> *order : {&urgent, &later}) {
            while (!order->empty()) {
                QString sentence = std::move(order->front());
                order->pop_front();
                if (queued.remove(sentence))
                    return sentence;
            }
        }
        return {};
    }

    void clearQueue() {
        queued.clear();
        urgent.clear();
        later.clear();
    }

    std::thread thread;

    std::mutex parseLock;
    bool tried = false;
    Dictionary dictionary = nullptr;
    Parse_Options options = nullptr;

    // Guarded by `lock`. The sentences queued, each with who waits for it,
    // in two orders: the urgent ones first. A sentence may stand in both,
    // or in one after it was taken or cancelled: what is not queued any
    // more is passed over.
    std::mutex lock;
    std::condition_variable wake;
    QHash<QString, std::vector<const QObject *>> queued;
    std::deque<QString> urgent;
    std::deque<QString> later;
    std::vector<std::pair<QString, Verdict>> done;
    bool parsing = false;
    bool held = false;
    bool stopping = false;
    GrammarService::State state = GrammarService::State::Unloaded;
};

GrammarService::GrammarService(const Options &options, QObject *parent)
    : QObject(parent), m_dataFolder(options.dataFolder.isEmpty() ? systemDataFolder() : options.dataFolder),
      m_shared(std::make_shared<Shared>()) {
    const QString locale = options.language.isEmpty() ? QLocale::system().name() : options.language;
    m_language = dictionaryFor(locale, m_dataFolder);
    const QLocale named(locale.section(QLatin1Char('.'), 0, 0));
    m_languageName = named.language() == QLocale::C ? QStringLiteral("English")
                                                     : QLocale::languageToString(named.language());
    if (m_language.isEmpty()) {
        qCInfo(lcPlatform, "No grammar dictionary for %s: grammar is not checked", qUtf8Printable(locale));
        m_shared->state = State::Failed;
    }
}

GrammarService::~GrammarService() { stop(); }

// The thread ends after the sentence it parses (the parser's time limit
// bounds that), or the dictionary it loads, before anything it posts here
// could arrive; the dictionary goes with it.
void GrammarService::stop() {
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        m_shared->stopping = true;
        m_shared->clearQueue();
    }
    m_shared->wake.notify_all();
    if (m_shared->thread.joinable())
        m_shared->thread.join();
    {
        std::lock_guard<std::mutex> parsing(m_shared->parseLock);
        m_shared->tried = true;
        m_shared->free();
    }
    std::lock_guard<std::mutex> guard(m_shared->lock);
    m_shared->state = State::Failed;
}

GrammarService &GrammarService::shared() {
    static GrammarService service(Options{});
    // Stopped while the application object goes, not among the exit
    // handlers: by then the libraries the parser uses (Hunspell among them)
    // may be gone, and a dictionary still loading would load into them.
    static std::once_flag stopping;
    std::call_once(stopping, [] {
        if (QCoreApplication::instance())
            qAddPostRoutine([] { shared().stop(); });
    });
    return service;
}

QString GrammarService::systemDataFolder() { return QStringLiteral("/usr/share/link-grammar"); }

QString GrammarService::dictionaryFor(const QString &locale, const QString &folder) {
    QString language = locale.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    language = language.section(QLatin1Char('_'), 0, 0).section(QLatin1Char('-'), 0, 0).toLower();
    if (language.isEmpty() || language == QLatin1String("c") || language == QLatin1String("posix"))
        language = QStringLiteral("en");
    const QString path = folder + QLatin1Char('/') + language + QLatin1Char('/') + QLatin1String(kDictionaryFile);
    return QFileInfo(path).isFile() ? language : QString();
}

bool GrammarService::isJudgeable(const QString &sentence) {
    const QString trimmed = sentence.trimmed();
    return !trimmed.isEmpty() && trimmed.size() <= kLongestText && wordCount(trimmed) <= kLongestSentence;
}

GrammarService::State GrammarService::state() const {
    std::lock_guard<std::mutex> guard(m_shared->lock);
    return m_shared->state;
}

void GrammarService::load() {
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        if (m_shared->state != State::Unloaded)
            return;
        m_shared->state = State::Loading;
    }
    startThread();
}

// The service's thread: loads the dictionary, then judges queued sentences
// until the service goes. Verdicts go to the main thread in batches: one
// call queued there takes all that are done by then.
void GrammarService::startThread() {
    Shared *shared = m_shared.get();
    shared->thread = std::thread([this, shared, language = m_language, folder = m_dataFolder] {
        bool available = false;
        {
            std::lock_guard<std::mutex> parsing(shared->parseLock);
            available = shared->ensureLoaded(language, folder);
        }
        {
            std::lock_guard<std::mutex> guard(shared->lock);
            shared->state = available ? State::Ready : State::Failed;
            if (!available)
                shared->clearQueue();
        }
        QMetaObject::invokeMethod(this, [this, available] { emit loaded(available); }, Qt::QueuedConnection);
        if (!available)
            return;
        for (;;) {
            QString sentence;
            {
                std::unique_lock<std::mutex> guard(shared->lock);
                shared->wake.wait(guard,
                                  [&] { return shared->stopping || (!shared->held && !shared->queued.isEmpty()); });
                if (shared->stopping)
                    return;
                sentence = shared->takeNext();
                shared->parsing = true;
            }
            Verdict verdict;
            {
                std::lock_guard<std::mutex> parsing(shared->parseLock);
                verdict = shared->judge(sentence);
            }
            bool first = false;
            {
                std::lock_guard<std::mutex> guard(shared->lock);
                shared->parsing = false;
                first = shared->done.empty();
                shared->done.emplace_back(sentence, verdict);
            }
            if (first)
                QMetaObject::invokeMethod(this, [this] { deliver(); }, Qt::QueuedConnection);
        }
    });
}

void GrammarService::deliver() {
    std::vector<std::pair<QString, Verdict>> done;
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        done.swap(m_shared->done);
    }
    if (done.empty())
        return;
    QStringList sentences;
    for (const auto &[sentence, verdict] : done) {
        remember(sentence, verdict);
        sentences.append(sentence);
    }
    emit checked(sentences);
}

void GrammarService::remember(const QString &sentence, const Verdict &verdict) {
    // A bound on what is remembered: a long session of typing makes many
    // sentences that are gone again.
    constexpr qsizetype kRemembered = 50000;
    if (m_known.size() >= kRemembered)
        m_known.clear();
    m_known.insert(sentence, verdict);
}

GrammarService::Verdict GrammarService::check(const QString &sentence) {
    if (std::optional<Verdict> verdict = known(sentence))
        return *verdict;
    if (m_language.isEmpty())
        return {};
    load();
    Verdict verdict;
    bool available = false;
    {
        // Waits for the thread's load, or for the sentence it parses.
        std::lock_guard<std::mutex> parsing(m_shared->parseLock);
        available = m_shared->ensureLoaded(m_language, m_dataFolder);
        if (available)
            verdict = m_shared->judge(sentence);
    }
    if (available)
        remember(sentence, verdict);
    return verdict;
}

std::optional<GrammarService::Verdict> GrammarService::known(const QString &sentence) const {
    auto found = m_known.constFind(sentence);
    if (found == m_known.constEnd())
        return std::nullopt;
    return found.value();
}

void GrammarService::request(const QString &sentence, const QObject *requester, bool urgent) {
    if (m_language.isEmpty() || m_known.contains(sentence))
        return;
    load();
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        if (m_shared->state == State::Failed)
            return;
        // The newest urgent sentence goes first: it is the one being typed.
        if (urgent)
            m_shared->urgent.push_front(sentence);
        auto found = m_shared->queued.find(sentence);
        if (found != m_shared->queued.end()) {
            std::vector<const QObject *> &requesters = found.value();
            if (std::find(requesters.begin(), requesters.end(), requester) == requesters.end())
                requesters.push_back(requester);
            return;
        }
        m_shared->queued.insert(sentence, {requester});
        if (!urgent)
            m_shared->later.push_back(sentence);
    }
    m_shared->wake.notify_one();
}

void GrammarService::cancel(const QObject *requester) {
    std::lock_guard<std::mutex> guard(m_shared->lock);
    for (auto it = m_shared->queued.begin(); it != m_shared->queued.end();) {
        std::erase(it.value(), requester);
        it = it.value().empty() ? m_shared->queued.erase(it) : std::next(it);
    }
    if (m_shared->queued.isEmpty()) {
        m_shared->urgent.clear();
        m_shared->later.clear();
    }
}

bool GrammarService::isWorking() const {
    std::lock_guard<std::mutex> guard(m_shared->lock);
    return !m_shared->queued.isEmpty() || m_shared->parsing || !m_shared->done.empty() ||
           m_shared->state == State::Loading;
}

void GrammarService::holdQueue(bool held) {
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        m_shared->held = held;
    }
    m_shared->wake.notify_one();
}

bool GrammarService::takeUnavailableNotice() {
    if (m_noticeGiven)
        return false;
    m_noticeGiven = true;
    return true;
}

}  // namespace platform
