// The program itself with one very long line, as a person meets it: the
// real binary started on the display (under a window manager) with spelling,
// grammar and links checked, keys typed through the X server's test
// extension, each key timed until the window's pixels show it, and what it
// all costs read from /proc.
//
//   long_line_bench [--size MB] [--keys N] [--kinds LIST] [--settle SECONDS]
//                   [--corpus PATH] [--binary PATH]
//   long_line_bench [--size MB] [--kinds LIST] --save FOLDER
//
// The lines are made of real text, about --size MB each (default 5), with
// the word "zmidpointz" in their middle:
// - markdown: the Markdown documentation that bench/gather-corpus gathers
//   from /usr/share/doc, its line ends made spaces (a file joined into one
//   line);
// - pictures: the pictures (PNG and JPEG) that the TeX Live packages install,
//   inlined one after another as base64 data: addresses;
// - html: the HTML documentation under /usr/share/doc, each line trimmed and
//   all joined (HTML as a minifier leaves it);
// - table: a Markdown table whose one row holds the corpus's words, a cell of
//   up to three each (a generated table);
// - lines: the markdown text with its line ends, for what opening the same
//   text in lines costs;
// and lines without a space:
// - cjk: Chinese and Japanese prose, the translations of the programs'
//   messages that the installed packages ship (their message catalogs under
//   /usr/share/locale), the blanks within them taken out;
// - cjk-repeat: one phrase of those translations repeated;
// - zeros: a file of zero bytes inlined as a base64 data: address;
// - emoji: emoji and accented letters one after another: sequences joined
//   with zero-width joiners, skin tones, flags, keycaps, and letters with
//   combining accents (generated, with a fixed seed).
// --kinds takes a comma-separated list of them (default: the first five;
// "all" for every kind).
//
// It reports, for each kind, one "kind name value unit" line each:
// - shown: launch to the document's window being on screen;
// - first_key: launch to the first key painted in the window, keys typed
//   from the moment it has the focus, one a second until one shows (a key
//   that comes before the editor takes keys is lost, as a person's is);
// - open_settled: launch to the program (all its processes) being quiet:
//   under 2% of a core over a second, its spelling, grammar and link passes
//   and its layout and styling in idle slices over;
// - preview_line: launch to the preview's page holding the line (the marker,
//   in its text or in a picture's address, asked through the web engine's
//   debugging port), or -1
//   when it did not within the time waited for quiet; preview_chars, the
//   characters of the page's text once the program is quiet (-1: the page
//   did not answer, an ended page's process among the causes);
// - rss_open: the main process's resident memory once quiet;
// - for keys at the start, in the middle and at the end of the line (--keys
//   each, default 30, about 100 ms apart): key_*_median, key_*_p95 and
//   key_*_max, from the key sent through the X server to the window's pixels
//   around the caret changing; and *_quiet, from the last key to the program
//   being quiet again.
// A figure of -1 means the thing waited for did not happen in time: quiet is
// waited for --settle seconds (default 600), after opening and after each
// place's keys.
// --save writes the lines to FOLDER (KIND-SIZE.md) and measures nothing
// (for a profiler, or another editor).
//
// The program runs for a user of its own (preferences and data in a
// temporary folder). Run it under xvfb-run; it starts openbox when no window
// manager runs on the display.
#include <QByteArray>
#include <QCoreApplication>
#include <QDirIterator>
#include <QtEndian>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <X11/keysym.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/support/page_probe.h"
#include "bench/support/running_program.h"

namespace {

using namespace benchsupport;

const char kMarker[] = "zmidpointz";

// --- The lines ---------------------------------------------------------------------

// `text` with the marker in its middle, between two words (or two pictures,
// or two cells), and a line end after it.
QByteArray withMarker(QByteArray text, const char *separator) {
    qsizetype middle = text.indexOf(separator, text.size() / 2);
    if (middle < 0)
        middle = text.size() / 2;
    text.insert(middle, QByteArray(separator) + kMarker + separator);
    return text + '\n';
}

QByteArray markdownLine(const QByteArray &corpus, qint64 bytes) {
    QByteArray text = corpus.left(bytes);
    text.replace('\r', "");
    text.replace('\n', ' ');
    return withMarker(text, " ");
}

QByteArray markdownLines(const QByteArray &corpus, qint64 bytes) {
    QByteArray text = corpus.left(bytes);
    const qsizetype middle = text.indexOf("\n\n", text.size() / 2);
    text.insert(middle < 0 ? text.size() : middle + 2, QByteArray("A paragraph with ") + kMarker + " in it.\n\n");
    return text;
}

// Files under `folders` whose names end in one of `suffixes`, at least
// `least` bytes, in a stable order.
QStringList filesUnder(const QStringList &folders, const QStringList &suffixes, qint64 least) {
    QStringList found;
    for (const QString &folder : folders) {
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            for (const QString &suffix : suffixes)
                if (path.endsWith(suffix, Qt::CaseInsensitive) && QFileInfo(path).size() >= least)
                    found.append(path);
        }
    }
    found.sort();
    return found;
}

QByteArray picturesLine(qint64 bytes) {
    const QStringList pictures =
        filesUnder({QStringLiteral("/usr/share/doc/texlive-doc"), QStringLiteral("/usr/share/texlive/texmf-dist")},
                   {QStringLiteral(".png"), QStringLiteral(".jpg")}, 64 * 1024);
    QByteArray text;
    for (int round = 0; text.size() < bytes && !pictures.isEmpty(); round++) {
        for (const QString &path : pictures) {
            QFile file(path);
            if (text.size() >= bytes || !file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray type = path.endsWith(QStringLiteral(".png")) ? "image/png" : "image/jpeg";
            text += "![" + QFileInfo(path).completeBaseName().toUtf8() + "](data:" + type + ";base64," +
                    file.readAll().toBase64() + ") ";
        }
    }
    return withMarker(text, ") ");
}

QByteArray htmlLine(qint64 bytes) {
    QString text;
    for (const QString &path : filesUnder({QStringLiteral("/usr/share/doc")}, {QStringLiteral(".html")}, 0)) {
        QFile file(path);
        if (text.size() >= bytes)
            break;
        if (!file.open(QIODevice::ReadOnly))
            continue;
        // Pages in other encodings are left out: the line is UTF-8.
        const QString page = QString::fromUtf8(file.readAll());
        if (page.contains(QChar::ReplacementCharacter))
            continue;
        for (const QString &line : page.split(QLatin1Char('\n'))) {
            const QString trimmed = line.trimmed();
            if (!trimmed.isEmpty())
                text += trimmed + QLatin1Char(' ');
        }
    }
    return withMarker(text.left(bytes).toUtf8(), " ");
}

QByteArray tableLine(const QByteArray &corpus, qint64 bytes) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QByteArray row = "| ";
    int inCell = 0;
    for (const QString &word : QString::fromUtf8(corpus.left(2 * bytes)).split(blanks, Qt::SkipEmptyParts)) {
        if (row.size() >= bytes)
            break;
        QByteArray cell = word.toUtf8();
        cell.replace('|', "\\|");
        row += cell + (++inCell % 3 == 0 ? " | " : " ");
    }
    return "| what | words |\n|---|---|\n" + withMarker(row + "|", " | ");
}

// The translations of the message catalogs (GNU .mo files) of `languages`
// under /usr/share/locale, in a stable order: each catalog's translated
// strings that hold a CJK character.
QStringList catalogTranslations(const QStringList &languages) {
    QStringList catalogs;
    for (const QString &language : languages)
        catalogs += filesUnder({QStringLiteral("/usr/share/locale/%1/LC_MESSAGES").arg(language)},
                               {QStringLiteral(".mo")}, 0);
    QStringList strings;
    for (const QString &path : catalogs) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray data = file.readAll();
        if (data.size() < 28)
            continue;
        const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
        const bool little = qFromLittleEndian<quint32>(bytes) == 0x950412deu;
        auto word = [&](qsizetype at) -> quint32 {
            if (at < 0 || at + 4 > data.size())
                return 0;
            return little ? qFromLittleEndian<quint32>(bytes + at) : qFromBigEndian<quint32>(bytes + at);
        };
        if (!little && qFromBigEndian<quint32>(bytes) != 0x950412deu)
            continue;
        const quint32 count = word(8), table = word(16);
        for (quint32 i = 0; i < count; i++) {
            const quint32 length = word(qsizetype(table) + 8 * qsizetype(i));
            const quint32 offset = word(qsizetype(table) + 8 * qsizetype(i) + 4);
            if (qint64(offset) + length > data.size())
                continue;
            // Plural forms are kept apart by a zero byte.
            for (const QByteArray &form : data.mid(offset, length).split('\0')) {
                const QString text = QString::fromUtf8(form);
                for (QChar c : text)
                    if (c.unicode() >= 0x3040 && c.unicode() < 0xa000) {
                        strings.append(text);
                        break;
                    }
            }
        }
    }
    return strings;
}

// `text` with its blanks taken out.
QString withoutBlanks(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (!c.isSpace())
            out += c;
    return out;
}

// `text` with the marker put at `position`, and a line end after it.
QByteArray withMarkerAt(QByteArray text, qsizetype position) {
    text.insert(position, kMarker);
    return text + '\n';
}

// The middle of `text`, moved back to the start of a UTF-8 character.
qsizetype middleCharacter(const QByteArray &text) {
    qsizetype middle = text.size() / 2;
    while (middle > 0 && (uchar(text[middle]) & 0xc0) == 0x80)
        middle--;
    return middle;
}

QByteArray cjkLine(qint64 bytes) {
    const QStringList strings =
        catalogTranslations({QStringLiteral("zh_CN"), QStringLiteral("zh_TW"), QStringLiteral("ja")});
    QByteArray text;
    while (text.size() < bytes && !strings.isEmpty())
        for (const QString &string : strings) {
            if (text.size() >= bytes)
                break;
            text += withoutBlanks(string).toUtf8();
        }
    return withMarkerAt(text, middleCharacter(text));
}

QByteArray cjkRepeatLine(qint64 bytes) {
    // The first translation of ten to forty characters, all of them CJK.
    QString phrase;
    for (const QString &string : catalogTranslations({QStringLiteral("zh_CN")})) {
        const QString text = withoutBlanks(string);
        const bool cjk = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x3000; });
        if (cjk && text.size() >= 10 && text.size() <= 40) {
            phrase = text;
            break;
        }
    }
    const QByteArray unit = phrase.toUtf8();
    QByteArray text;
    while (text.size() < bytes && !unit.isEmpty())
        text += unit;
    // The marker between two of the phrases.
    const qsizetype middle = unit.isEmpty() ? 0 : text.size() / 2 / unit.size() * unit.size();
    return withMarkerAt(text, middle);
}

QByteArray zerosLine(qint64 bytes) {
    const QByteArray base64 = QByteArray(qsizetype(bytes * 3 / 4), '\0').toBase64();
    QByteArray text = "![zeros](data:application/octet-stream;base64," + base64 + ")";
    return withMarkerAt(text, text.size() / 2);
}

QByteArray emojiLine(qint64 bytes) {
    std::mt19937 random(7);
    auto pick = [&random](auto &list) -> decltype(list[0]) { return list[random() % std::size(list)]; };
    const std::u32string joined[] = {
        U"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466",  // family
        U"\U0001F469\u200D\U0001F4BB",                                      // woman technologist
        U"\U0001F3F3\uFE0F\u200D\U0001F308",                                // rainbow flag
        U"\U0001F9D1\u200D\U0001F91D\u200D\U0001F9D1",                     // people holding hands
        U"\U0001F441\uFE0F\u200D\U0001F5E8\uFE0F",                         // eye in speech bubble
        U"\U0001F469\u200D\u2764\uFE0F\u200D\U0001F48B\u200D\U0001F468",  // kiss
        U"\U0001F415\u200D\U0001F9BA",                                      // service dog
    };
    const char32_t toned[] = {0x1F44B, 0x1F44D, 0x1F64F, 0x270C, 0x1F9D1, 0x1F476, 0x1F46E, 0x1F3C3};
    const char32_t professions[] = {0x1F680, 0x1F52C, 0x1F3A8, 0x1F692, 0x2695};
    const char *const flags[] = {"FR", "JP", "BR", "DE", "IN", "KE", "NZ", "CA"};
    const char32_t letters[] = {U'a', U'e', U'i', U'o', U'u', U'n', U'c', U'z', U'A', U'E', U'O'};
    std::u32string text;
    text.reserve(size_t(bytes / 3));
    qint64 utf8 = 0;
    std::vector<qint64> boundaries;
    while (utf8 < bytes) {
        std::u32string cluster;
        switch (random() % 7) {
        case 0:
            cluster = pick(joined);
            break;
        case 1:  // a skin tone
            cluster = {pick(toned), char32_t(0x1F3FB + random() % 5)};
            break;
        case 2:  // a person of a skin tone at work
            cluster = {0x1F9D1, char32_t(0x1F3FB + random() % 5), 0x200D, pick(professions)};
            break;
        case 3: {  // a flag
            const char *flag = pick(flags);
            cluster = {char32_t(0x1F1E6 + (flag[0] - 'A')), char32_t(0x1F1E6 + (flag[1] - 'A'))};
            break;
        }
        case 4:  // a keycap
            cluster = {char32_t(U'0' + random() % 10), 0xFE0F, 0x20E3};
            break;
        case 5:  // a letter with one to three combining accents
            cluster = {pick(letters)};
            for (unsigned n = 1 + random() % 3; n > 0; n--)
                cluster += char32_t(0x0300 + random() % 0x70);
            break;
        default:  // a face
            cluster = {char32_t(0x1F600 + random() % 0x50)};
            break;
        }
        boundaries.push_back(utf8);
        text += cluster;
        utf8 += QString::fromUcs4(cluster.data(), qsizetype(cluster.size())).toUtf8().size();
    }
    const QByteArray line = QString::fromUcs4(text.data(), qsizetype(text.size())).toUtf8();
    // The marker between two clusters near the middle.
    return withMarkerAt(line, boundaries[boundaries.size() / 2]);
}

// --- The run -----------------------------------------------------------------------

QStringList allKinds() {
    return {QStringLiteral("markdown"), QStringLiteral("pictures"),   QStringLiteral("html"),
            QStringLiteral("table"),    QStringLiteral("lines"),      QStringLiteral("cjk"),
            QStringLiteral("cjk-repeat"), QStringLiteral("zeros"),    QStringLiteral("emoji")};
}

struct Options {
    double sizeMB = 5;
    int keys = 30;
    int settleSeconds = 600;
    QStringList kinds = {QStringLiteral("markdown"), QStringLiteral("pictures"), QStringLiteral("html"),
                         QStringLiteral("table"), QStringLiteral("lines")};
    QString corpus;
    QString save;
    QString binary = QStringLiteral(ORVANE_BINARY);
};

class Run {
public:
    Run(const Options &options, QString kind)
        : m_options(options),
          m_kind(std::move(kind)),
          m_name(QStringLiteral("%1-%2.md").arg(m_kind).arg(m_options.sizeMB)),
          m_text(m_desk, m_name.toStdString()) {}

    int exec(const QByteArray &text) {
        QFile file(m_dir.filePath(m_name));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return 2;
        file.close();
        std::printf("%s: %.2f MB, %lld lines, longest %lld bytes, %lld spaces\n", qPrintable(m_kind),
                    double(text.size()) / (1024.0 * 1024.0), qlonglong(text.count('\n')), qlonglong(longestLine(text)),
                    qlonglong(text.count(' ')));
        std::printf("load average %s", readProc(QStringLiteral("/proc/loadavg")).constData());
        runAsNewUser(m_process, m_dir.path(),
                     "{\"checkForAnnouncements\": false, \"checkSpelling\": true, \"checkGrammar\": true, "
                     "\"smartLinks\": true}");
        const int port = 9300 + int(::getpid() % 500);
        QProcessEnvironment environment = m_process.processEnvironment();
        environment.insert("QTWEBENGINE_REMOTE_DEBUGGING", QStringLiteral("127.0.0.1:%1").arg(port));
        m_process.setProcessEnvironment(environment);

        QElapsedTimer launch;
        launch.start();
        m_process.start(m_options.binary, {file.fileName()});
        if (!m_process.waitForStarted(5000))
            return finish(2);
        m_pid = pid_t(m_process.processId());
        const std::string title = m_name.toStdString();
        Window window = None;
        while ((window = m_desk.find(title)) == None) {
            if (launch.elapsed() > 300000 || m_process.state() != QProcess::Running) {
                std::fprintf(stderr, "the window never showed\n");
                return finish(1);
            }
            pause(5);
        }
        report("shown", secondsOf(launch.elapsed()), "s");
        // Keys go to the window once the window manager gave it the focus.
        for (QElapsedTimer asked; !m_desk.hasFocus(window = m_text.current(window));) {
            if (!asked.isValid() || asked.elapsed() > 500) {
                m_desk.activate(window);
                asked.start();
            }
            if (launch.elapsed() > 300000) {
                std::fprintf(stderr, "the window never got the focus\n");
                return finish(1);
            }
            pause(5);
        }
        double first = -1;
        while (first < 0 && launch.elapsed() < 300000) {
            // The window's first paints end before a key is typed: a change
            // of theirs would pass for the key's.
            m_text.waitStill(window, 300, 5000);
            first = m_text.keyShown(window, 'z', 1000);
        }
        report("first_key", first < 0 ? -1 : secondsOf(launch.elapsed()), "s");

        // Quiet, and the line in the preview meanwhile.
        QuietWatch watch(m_pid, &launch);
        qint64 settled = -1, inPreview = -1;
        const QString around = QString::fromUtf8(kMarker);
        while (settled < 0 && launch.elapsed() < 1000L * m_options.settleSeconds) {
            if (inPreview < 0 && (m_probe.connected() || m_probe.connectTo(port)) &&
                m_probe.evaluate(QStringLiteral("(function(m){var b=document.body;return !!b&&(b.textContent.indexOf(m)>=0"
                                                "||Array.from(document.images).some(function(i){"
                                                "return (i.getAttribute('src')||'').indexOf(m)>=0;}));})('%1')")
                                     .arg(around),
                                 2000)
                    .toBool())
                inPreview = launch.elapsed();
            settled = watch.sample();
            pause(inPreview < 0 ? 250 : 50);
        }
        report("open_settled", settled < 0 ? -1 : secondsOf(settled), "s");
        report("preview_line", inPreview < 0 ? -1 : secondsOf(inPreview), "s");
        const QJsonValue chars =
            m_probe.evaluate(QStringLiteral("document.body?document.body.textContent.length:0"), 10000);
        report("preview_chars", chars.isDouble() ? chars.toDouble() : -1, "chars");
        report("rss_open", residentMB(m_pid), "MB");

        // At the start of the line (of the text), in its middle (the find
        // bar puts the caret after the marker) and at its end.
        const int line = m_kind == QLatin1String("table") ? 2 : 0;
        typeAt(m_text.current(window), "start", [&] {
            m_desk.key(XK_Home, XK_Control_L);
            for (int i = 0; i < line; i++)
                m_desk.key(XK_Down);
            m_desk.key(XK_Home);
        });
        typeAt(m_text.current(window), "mid", [&] {
            m_desk.key(XK_f, XK_Control_L);
            pause(300);
            for (char c : std::string(kMarker))
                m_desk.type(c);
            pause(300);
            m_desk.key(XK_Escape);
            pause(200);
            m_desk.key(XK_Right);
        });
        typeAt(m_text.current(window), "end", [&] {
            m_desk.key(XK_End, XK_Control_L);
            m_desk.key(XK_Left);
        });
        report("rss_typed", residentMB(m_pid), "MB");
        std::printf("load average %s", readProc(QStringLiteral("/proc/loadavg")).constData());
        return finish(0);
    }

private:
    static qsizetype longestLine(const QByteArray &text) {
        qsizetype longest = 0;
        for (qsizetype at = 0; at < text.size();) {
            qsizetype end = text.indexOf('\n', at);
            end = end < 0 ? text.size() : end;
            longest = std::max(longest, end - at);
            at = end + 1;
        }
        return longest;
    }

    void report(const std::string &what, double value, const char *unit) {
        std::printf("%-10s %-18s %10.3f %s\n", qPrintable(m_kind), what.c_str(), value, unit);
        std::fflush(stdout);
    }

    template <typename Place>
    void typeAt(Window window, const std::string &where, Place place) {
        place();
        waitQuiet(m_pid, 60000);
        m_text.forget();
        std::vector<double> ms;
        const std::string keys = "type some words here ";
        for (int i = 0; i < m_options.keys; i++) {
            const char c = keys[size_t(i) % keys.size()];
            // A space changes few pixels (the caret moves on): letters only
            // are timed, spaces typed between them.
            if (c == ' ') {
                m_desk.type(c);
                pause(100);
                m_text.forget();
                continue;
            }
            const double shown = m_text.keyShown(window, c, 20000);
            ms.push_back(shown < 0 ? 20000 : shown);
            pause(100);
        }
        QElapsedTimer clock;
        clock.start();
        const qint64 quiet = waitQuiet(m_pid, 1000L * m_options.settleSeconds, &clock);
        report("key_" + where + "_median", percentile(ms, 0.5), "ms");
        report("key_" + where + "_p95", percentile(ms, 0.95), "ms");
        report("key_" + where + "_max", percentile(ms, 1.0), "ms");
        report(where + "_quiet", quiet < 0 ? -1 : secondsOf(quiet), "s");
    }

    int finish(int code) {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            if (!m_process.waitForFinished(15000))
                ::kill(m_pid, SIGKILL);
            m_process.waitForFinished(5000);
        }
        return code;
    }

    Options m_options;
    QString m_kind;
    QString m_name;
    QTemporaryDir m_dir;
    QProcess m_process;
    pid_t m_pid = 0;
    Desk m_desk;
    TextColumn m_text;
    PageProbe m_probe;
};

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    Options options;
    options.corpus = qEnvironmentVariable("ORVANE_CORPUS", QStringLiteral("corpus.md"));
    const QStringList arguments = application.arguments();
    for (qsizetype i = 1; i < arguments.size(); i++) {
        const QString &a = arguments[i];
        const bool valued = i + 1 < arguments.size();
        if (a == "--size" && valued)
            options.sizeMB = arguments[++i].toDouble();
        else if (a == "--keys" && valued)
            options.keys = arguments[++i].toInt();
        else if (a == "--kinds" && valued)
            options.kinds = arguments[++i] == QLatin1String("all") ? allKinds() : arguments[i].split(QLatin1Char(','));
        else if (a == "--settle" && valued)
            options.settleSeconds = arguments[++i].toInt();
        else if (a == "--corpus" && valued)
            options.corpus = arguments[++i];
        else if (a == "--binary" && valued)
            options.binary = arguments[++i];
        else if (a == "--save" && valued)
            options.save = arguments[++i];
    }
    Desk desk;
    if (options.save.isEmpty() && !desk.ok()) {
        std::fprintf(stderr, "needs an X display with the test extension (run it under xvfb-run)\n");
        return 2;
    }
    QProcess windowManager;
    if (options.save.isEmpty() && !startWindowManager(desk, windowManager))
        return 2;
    const qint64 bytes = qint64(options.sizeMB * 1024 * 1024);
    const QByteArray corpus = readCorpus(options.corpus);
    int status = 0;
    for (const QString &kind : options.kinds) {
        QByteArray text;
        if (kind == QLatin1String("markdown"))
            text = markdownLine(corpus, bytes);
        else if (kind == QLatin1String("lines"))
            text = markdownLines(corpus, bytes);
        else if (kind == QLatin1String("pictures"))
            text = picturesLine(bytes);
        else if (kind == QLatin1String("html"))
            text = htmlLine(bytes);
        else if (kind == QLatin1String("table"))
            text = tableLine(corpus, bytes);
        else if (kind == QLatin1String("cjk"))
            text = cjkLine(bytes);
        else if (kind == QLatin1String("cjk-repeat"))
            text = cjkRepeatLine(bytes);
        else if (kind == QLatin1String("zeros"))
            text = zerosLine(bytes);
        else if (kind == QLatin1String("emoji"))
            text = emojiLine(bytes);
        if (text.size() < bytes / 2) {
            std::fprintf(stderr, "%s: not enough text for the line\n", qPrintable(kind));
            status = 2;
            continue;
        }
        if (!options.save.isEmpty()) {
            QFile file(QDir(options.save).filePath(QStringLiteral("%1-%2.md").arg(kind).arg(options.sizeMB)));
            if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
                status = 2;
            continue;
        }
        Run run(options, kind);
        status = std::max(status, run.exec(text));
    }
    if (windowManager.state() != QProcess::NotRunning) {
        windowManager.terminate();
        if (!windowManager.waitForFinished(5000))
            windowManager.kill();
    }
    return status;
}
