#include "platform/services/spelling/spell_service.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <hunspell/hunspell.hxx>
#include <iconv.h>

#include <string>

#include "platform/files/folders.h"
#include "platform/runtime/alerts.h"
#include "platform/runtime/log.h"

namespace platform {

namespace {

constexpr const char *kFallbackLanguage = "en_US";

// Text converted between UTF-16 and a dictionary's own encoding, through
// iconv for anything but UTF-8.
class Encoding {
public:
    explicit Encoding(const std::string &name) {
        QString upper = QString::fromStdString(name).trimmed().toUpper();
        m_utf8 = upper.isEmpty() || upper == QLatin1String("UTF-8") || upper == QLatin1String("UTF8");
        if (!m_utf8) {
            m_to = iconv_open(name.c_str(), "UTF-8");
            m_from = iconv_open("UTF-8", name.c_str());
        }
    }
    ~Encoding() {
        if (m_to != iconv_t(-1))
            iconv_close(m_to);
        if (m_from != iconv_t(-1))
            iconv_close(m_from);
    }
    Encoding(const Encoding &) = delete;
    Encoding &operator=(const Encoding &) = delete;

    bool usable() const { return m_utf8 || (m_to != iconv_t(-1) && m_from != iconv_t(-1)); }

    // False when the text has characters the encoding cannot hold.
    bool encode(const QString &text, std::string *out) const {
        const QByteArray utf8 = text.toUtf8();
        if (m_utf8) {
            out->assign(utf8.constData(), size_t(utf8.size()));
            return true;
        }
        return convert(m_to, utf8.toStdString(), out);
    }
    QString decode(const std::string &text) const {
        if (m_utf8)
            return QString::fromStdString(text);
        std::string utf8;
        return convert(m_from, text, &utf8) ? QString::fromStdString(utf8) : QString();
    }

private:
    static bool convert(iconv_t cd, const std::string &in, std::string *out) {
        if (cd == iconv_t(-1))
            return false;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        std::string result(in.size() * 4 + 8, '\0');
        char *source = const_cast<char *>(in.data());
        size_t left = in.size();
        char *target = result.data();
        size_t room = result.size();
        if (iconv(cd, &source, &left, &target, &room) == size_t(-1))
            return false;
        result.resize(result.size() - room);
        *out = std::move(result);
        return true;
    }

    bool m_utf8 = true;
    iconv_t m_to = iconv_t(-1);
    iconv_t m_from = iconv_t(-1);
};

// The letters the dictionary's "TRY" line names, in its order: the
// replacements its own suggestions try first. Lower-case letters and the
// apostrophe only: a correction never changes case, and a hyphen or a full
// stop would join two words that are each correct.
QString correctionLetters(const QString &affixPath, const Encoding &encoding) {
    QFile file(affixPath);
    QString letters;
    if (file.open(QIODevice::ReadOnly)) {
        while (!file.atEnd()) {
            const QByteArray line = file.readLine().trimmed();
            if (line.startsWith("TRY ") || line.startsWith("TRY\t")) {
                const QString tried = encoding.decode(line.mid(4).trimmed().toStdString());
                for (QChar c : tried)
                    if ((c.isLetter() && c.isLower()) || c == QLatin1Char('\''))
                        if (!letters.contains(c))
                            letters += c;
                break;
            }
        }
    }
    if (letters.isEmpty())
        letters = QStringLiteral("esiarntolcdugmphbyfvkwzxqj");
    return letters;
}

}  // namespace

struct SpellService::Dictionary {
    Dictionary(const QString &affix, const QString &words)
        : hunspell(QFile::encodeName(affix).constData(), QFile::encodeName(words).constData()),
          encoding(hunspell.get_dict_encoding()), letters(correctionLetters(affix, encoding)) {}

    Hunspell hunspell;
    Encoding encoding;
    QString letters;
};

SpellService::SpellService(const Options &options, QObject *parent)
    : QObject(parent), m_personalList(options.personalListPath) {
    const QStringList folders =
        options.dictionaryFolders.isEmpty() ? systemDictionaryFolders() : options.dictionaryFolders;
    const QString name = options.language.isEmpty() ? dictionaryFor(QLocale::system().name(), folders)
                                                    : dictionaryFor(options.language, folders);
    for (const QString &folder : folders) {
        const QString affix = folder + QLatin1Char('/') + name + QStringLiteral(".aff");
        const QString words = folder + QLatin1Char('/') + name + QStringLiteral(".dic");
        if (name.isEmpty() || !QFileInfo::exists(affix) || !QFileInfo::exists(words))
            continue;
        auto dictionary = std::make_unique<Dictionary>(affix, words);
        if (!dictionary->encoding.usable()) {
            qCWarning(lcPlatform, "Spelling dictionary %s has an encoding this system cannot convert",
                      qUtf8Printable(affix));
            continue;
        }
        m_dictionary = std::move(dictionary);
        m_language = name;
        break;
    }
    if (!m_dictionary)
        qCWarning(lcPlatform, "No spelling dictionary found: spelling is not checked");
    readPersonalList();
}

SpellService::~SpellService() = default;

SpellService &SpellService::shared() {
    static SpellService service(Options{QString(), QStringList(), personalListFile()});
    return service;
}

QString SpellService::personalListFile() {
    return Folders::userDataFolder() + QStringLiteral("/Tessaro Orvane 4/Spelling/Learned Words.txt");
}

QStringList SpellService::systemDictionaryFolders() {
    return {QStringLiteral("/usr/share/hunspell"), QStringLiteral("/usr/share/myspell"),
            QStringLiteral("/usr/share/myspell/dicts")};
}

QString SpellService::dictionaryFor(const QString &locale, const QStringList &folders) {
    auto exists = [&folders](const QString &name) {
        for (const QString &folder : folders)
            if (QFileInfo::exists(folder + QLatin1Char('/') + name + QStringLiteral(".dic")))
                return true;
        return false;
    };
    // "de_DE.UTF-8" and "de-DE" name the dictionary "de_DE".
    QString name = locale.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    name.replace(QLatin1Char('-'), QLatin1Char('_'));
    if (!name.isEmpty() && name != QLatin1String("C") && name != QLatin1String("POSIX")) {
        if (exists(name))
            return name;
        const QString language = name.section(QLatin1Char('_'), 0, 0);
        for (const QString &folder : folders) {
            QStringList found = QDir(folder).entryList({language + QStringLiteral("_*.dic")}, QDir::Files, QDir::Name);
            if (!found.isEmpty())
                return found.first().chopped(4);
        }
    }
    return exists(QLatin1String(kFallbackLanguage)) ? QLatin1String(kFallbackLanguage) : QString();
}

bool SpellService::isAvailable() const { return m_dictionary != nullptr; }

bool SpellService::spell(const QString &word) {
    std::string encoded;
    if (!m_dictionary->encoding.encode(word, &encoded))
        return true;
    return m_dictionary->hunspell.spell(encoded);
}

bool SpellService::isCorrect(const QString &word) {
    if (!m_dictionary || word.isEmpty() || word.size() > kLongestWord)
        return true;
    auto found = m_known.constFind(word);
    if (found != m_known.constEnd())
        return found.value();
    const bool correct = m_learned.contains(word) || spell(word);
    m_known.insert(word, correct);
    return correct;
}

QStringList SpellService::suggestions(const QString &word, int limit) {
    QStringList result;
    if (!m_dictionary || word.isEmpty() || word.size() > kLongestWord || limit <= 0)
        return result;
    std::string encoded;
    if (!m_dictionary->encoding.encode(word, &encoded))
        return result;
    for (const std::string &suggestion : m_dictionary->hunspell.suggest(encoded)) {
        const QString text = m_dictionary->encoding.decode(suggestion);
        if (!text.isEmpty() && !result.contains(text))
            result.append(text);
        if (result.size() >= limit)
            break;
    }
    return result;
}

QStringList SpellService::singleEditCorrections(const QString &word, int limit) {
    QStringList found;
    if (!m_dictionary || word.isEmpty() || isCorrect(word))
        return found;
    const QString &letters = m_dictionary->letters;
    QSet<QString> tried;
    auto attempt = [&](const QString &candidate) {
        if ((limit >= 0 && found.size() >= limit) || candidate.isEmpty() || candidate == word ||
            tried.contains(candidate))
            return;
        tried.insert(candidate);
        if (m_learned.contains(candidate) || spell(candidate))
            found.append(candidate);
    };
    const qsizetype n = word.size();
    for (qsizetype i = 0; i + 1 < n; i++) {
        QString swapped = word;
        std::swap(swapped[i], swapped[i + 1]);
        attempt(swapped);
    }
    for (qsizetype i = 0; i < n; i++) {
        for (QChar c : letters) {
            QString changed = word;
            changed[i] = c;
            attempt(changed);
        }
    }
    for (qsizetype i = 0; i < n; i++)
        attempt(QString(word).remove(i, 1));
    for (qsizetype i = 0; i <= n; i++)
        for (QChar c : letters)
            attempt(QString(word).insert(i, c));
    return found;
}

bool SpellService::learnWord(const QString &word) {
    const QString trimmed = word.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char('\n')))
        return false;
    bool kept = true;
    if (!m_learned.contains(trimmed)) {
        m_learned.insert(trimmed);
        addToDictionary(trimmed);
        if (!m_personalList.isEmpty()) {
            const QString reason = keepOnDisk(trimmed);
            kept = reason.isEmpty();
            if (!kept) {
                qCWarning(lcPlatform, "The learned word could not be kept in %s: %s", qUtf8Printable(m_personalList),
                          qUtf8Printable(reason));
                // Every word learnt meanwhile meets the same fault: told once.
                if (!m_toldUnwritable)
                    Alerts::simpleAlert(
                        QStringLiteral("“%1” counts as spelt correctly until the program quits, but it is not kept "
                                       "for later, nor is any word learnt while the list of learned words “%2” "
                                       "cannot be written: %3")
                            .arg(trimmed, m_personalList, reason),
                        QStringLiteral("The learned word cannot be kept."));
                m_toldUnwritable = true;
            } else {
                m_toldUnwritable = false;
            }
        }
    }
    m_known.insert(trimmed, true);
    // Forms of the word the dictionary knew wrong may be right now.
    m_known.removeIf([](const QHash<QString, bool>::iterator it) { return !it.value(); });
    emit wordsChanged();
    return kept;
}

QString SpellService::keepOnDisk(const QString &word) const {
    const QString folder = QFileInfo(m_personalList).absolutePath();
    if (!Folders::ensureFolder(folder))
        return QStringLiteral("its folder “%1” cannot be made or written in.").arg(folder);
    QFile file(m_personalList);
    const QByteArray line = word.toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(line) != line.size() || !file.flush())
        return file.errorString() + u'.';
    file.close();
    if (file.error() != QFileDevice::NoError)
        return file.errorString() + u'.';
    return QString();
}

void SpellService::addToDictionary(const QString &word) {
    if (!m_dictionary)
        return;
    std::string encoded;
    if (m_dictionary->encoding.encode(word, &encoded))
        m_dictionary->hunspell.add(encoded);
}

QStringList SpellService::learnedWords() const {
    QStringList words(m_learned.begin(), m_learned.end());
    words.sort();
    return words;
}

void SpellService::readPersonalList() {
    if (m_personalList.isEmpty())
        return;
    QFile file(m_personalList);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcPlatform, "The learned words in %s could not be read: %s", qUtf8Printable(m_personalList),
                  qUtf8Printable(file.errorString()));
        return;
    }
    // The words learnt last are at the end: a list too long is read from
    // there, from the first whole line on (the byte before the part read
    // tells whether its first line is whole).
    const qint64 size = file.size();
    const bool cut = size > kMostPersonalListBytes;
    if (cut)
        file.seek(size - kMostPersonalListBytes - 1);
    QByteArray bytes = file.read(cut ? kMostPersonalListBytes + 1 : kMostPersonalListBytes);
    if (cut)
        bytes.remove(0, bytes.indexOf('\n') + 1);
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString word = line.trimmed();
        if (word.isEmpty() || m_learned.contains(word))
            continue;
        m_learned.insert(word);
        addToDictionary(word);
    }
    if (cut) {
        const QLocale locale;
        const QString whole = locale.formattedDataSize(size, 1, QLocale::DataSizeTraditionalFormat);
        const QString read = locale.formattedDataSize(kMostPersonalListBytes, 0, QLocale::DataSizeTraditionalFormat);
        qCWarning(lcPlatform, "The list of learned words %s holds %s: only its last %s is read",
                  qUtf8Printable(m_personalList), qUtf8Printable(whole), qUtf8Printable(read));
        Alerts::simpleAlert(QStringLiteral("“%1” holds %2 of words; only its last %3, the %4 words learnt last, are "
                                           "used, and the words learnt before them count as misspelt.")
                                .arg(m_personalList, whole, read)
                                .arg(m_learned.size()),
                            QStringLiteral("The list of learned words is too long to be read in full."));
    }
}

}  // namespace platform
