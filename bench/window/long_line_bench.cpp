// The program itself with one very long line, as a person meets it: the
// real binary started on the display (under a window manager) with spelling,
// grammar and links checked, keys typed through the X server's test
// extension, each key timed until the window's pixels show it, and what it
// all costs read from /proc.
//
//   long_line_bench [--size MB] [--keys N] [--kinds LIST] [--corpus PATH]
//                   [--binary PATH]
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
//   text in lines costs.
// --kinds takes a comma-separated list of them (default: all).
//
// It reports, for each kind, one "kind name value unit" line each:
// - shown: launch to the document's window being on screen;
// - first_key: launch to the first key painted in the window, keys typed
//   from the moment it has the focus, one a second until one shows (a key
//   that comes before the editor takes keys is lost, as a person's is);
// - open_settled: launch to the program (all its processes) being quiet:
//   under 2% of a core over a second, its spelling, grammar and link passes
//   and its layout and styling in idle slices over;
// - rss_open: the main process's resident memory once quiet;
// - for keys at the start, in the middle and at the end of the line (--keys
//   each, default 30, about 100 ms apart): key_*_median, key_*_p95 and
//   key_*_max, from the key sent through the X server to the window's pixels
//   around the caret changing; and *_quiet, from the last key to the program
//   being quiet again.
// A figure of -1 means the thing waited for did not happen in time.
// --save writes the lines to FOLDER (KIND-SIZE.md) and measures nothing
// (for a profiler, or another editor).
//
// The program runs for a user of its own (preferences and data in a
// temporary folder). Run it under xvfb-run; it starts openbox when no window
// manager runs on the display.
#include <QByteArray>
#include <QCoreApplication>
#include <QDirIterator>
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
#include <string>
#include <vector>

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

// --- Keys and pixels ----------------------------------------------------------------

double percentile(std::vector<double> values, double share) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(double(values.size()) * share))];
}

struct Band {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Band &) const = default;
};

// How many columns of `band` changed from `before` to `after` (a blinking
// caret changes one or two), and the rows they changed in.
int changedColumns(const std::vector<quint32> &before, const std::vector<quint32> &after, const Band &band, int *top,
                   int *bottom) {
    if (before.size() != after.size() || before.empty())
        return 0;
    std::vector<bool> columns(size_t(band.width));
    *top = band.height;
    *bottom = -1;
    for (int row = 0; row < band.height; row++) {
        for (int column = 0; column < band.width; column++) {
            const size_t i = size_t(row) * size_t(band.width) + size_t(column);
            if (before[i] != after[i]) {
                columns[size_t(column)] = true;
                *top = std::min(*top, row);
                *bottom = std::max(*bottom, row);
            }
        }
    }
    return int(std::count(columns.begin(), columns.end(), true));
}

// --- The run -----------------------------------------------------------------------

struct Options {
    double sizeMB = 5;
    int keys = 30;
    QStringList kinds = {QStringLiteral("markdown"), QStringLiteral("pictures"), QStringLiteral("html"),
                         QStringLiteral("table"), QStringLiteral("lines")};
    QString corpus;
    QString save;
    QString binary = QStringLiteral(ORVANE_BINARY);
};

class Run {
public:
    Run(const Options &options, QString kind) : m_options(options), m_kind(std::move(kind)) {}

    int exec(const QByteArray &text) {
        const QString name = QStringLiteral("%1-%2.md").arg(m_kind).arg(m_options.sizeMB);
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return 2;
        file.close();
        std::printf("%s: %.2f MB, %lld lines, longest %lld bytes\n", qPrintable(m_kind),
                    double(text.size()) / (1024.0 * 1024.0), qlonglong(text.count('\n')), qlonglong(longestLine(text)));
        std::printf("load average %s", readProc(QStringLiteral("/proc/loadavg")).constData());
        runAsNewUser(m_process, m_dir.path(),
                     "{\"checkForAnnouncements\": false, \"checkSpelling\": true, \"checkGrammar\": true, "
                     "\"smartLinks\": true}");

        QElapsedTimer launch;
        launch.start();
        m_process.start(m_options.binary, {file.fileName()});
        if (!m_process.waitForStarted(5000))
            return finish(2);
        m_pid = pid_t(m_process.processId());
        m_title = name.toStdString();
        const std::string &title = m_title;
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
        for (QElapsedTimer asked; !m_desk.hasFocus(window = current(window));) {
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
            waitStill(window, 300, 5000);
            first = keyShown(window, 'z', 1000);
        }
        report("first_key", first < 0 ? -1 : secondsOf(launch.elapsed()), "s");
        const qint64 settled = waitQuiet(m_pid, 600000, &launch);
        report("open_settled", settled < 0 ? -1 : secondsOf(settled), "s");
        report("rss_open", residentMB(m_pid), "MB");

        // At the start of the line (of the text), in its middle (the find
        // bar puts the caret after the marker) and at its end.
        const int line = m_kind == QLatin1String("table") ? 2 : 0;
        typeAt(current(window), "start", [&] {
            m_desk.key(XK_Home, XK_Control_L);
            for (int i = 0; i < line; i++)
                m_desk.key(XK_Down);
            m_desk.key(XK_Home);
        });
        typeAt(current(window), "mid", [&] {
            m_desk.key(XK_f, XK_Control_L);
            pause(300);
            for (char c : std::string(kMarker))
                m_desk.type(c);
            pause(300);
            m_desk.key(XK_Escape);
            pause(200);
            m_desk.key(XK_Right);
        });
        typeAt(current(window), "end", [&] {
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

    // Types `c` and waits for the window's pixels around the caret to show
    // it: the milliseconds from the key to the change, or -1.
    // The program's window, found again when it went: the program may make
    // its window anew as the preview comes.
    Window current(Window window) {
        if (m_desk.size(window).first > 0)
            return window;
        const Window found = m_desk.find(m_title);
        return found == None ? window : found;
    }

    // Waits until the text column's pixels stayed the same for `stillMs`, or
    // for `timeoutMs` at most.
    void waitStill(Window window, int stillMs, int timeoutMs) {
        window = current(window);
        const auto [width, height] = m_desk.size(window);
        const Band column{0, 40, width * 45 / 100, std::max(1, height - 76)};
        QElapsedTimer clock, still;
        clock.start();
        still.start();
        std::vector<quint32> last = m_desk.pixels(window, column.x, column.y, column.width, column.height);
        while (still.elapsed() < stillMs && clock.elapsed() < timeoutMs) {
            pause(20);
            std::vector<quint32> now = m_desk.pixels(window, column.x, column.y, column.width, column.height);
            if (now != last) {
                last = std::move(now);
                still.restart();
            }
        }
    }

    double keyShown(Window window, char c, int timeoutMs) {
        window = current(window);
        // The text column: the window's left part below the menu bar and
        // above the editor's information bar, as the window stands now (the
        // window manager may size it after it first shows).
        const auto [width, height] = m_desk.size(window);
        const Band column{0, 40, width * 45 / 100, std::max(1, height - 76)};
        if (column != m_column)
            m_column = m_band = column;
        const std::vector<quint32> before = m_desk.pixels(window, m_band.x, m_band.y, m_band.width, m_band.height);
        QElapsedTimer clock;
        clock.start();
        m_desk.type(c);
        while (clock.elapsed() < timeoutMs) {
            const std::vector<quint32> now = m_desk.pixels(window, m_band.x, m_band.y, m_band.width, m_band.height);
            if (now.size() != before.size()) {
                window = current(window);
                QThread::usleep(300);
                continue;
            }
            int top = 0, bottom = 0;
            if (changedColumns(before, now, m_band, &top, &bottom) >= 3) {
                const double ms = double(clock.nsecsElapsed()) / 1e6;
                // The next key is looked for around this one's change.
                const int y = std::max(m_column.y, m_band.y + top - 40);
                const int end = std::min(m_column.y + m_column.height, m_band.y + bottom + 60);
                m_band = Band{m_column.x, y, m_column.width, std::max(1, end - y)};
                return ms;
            }
            QThread::usleep(300);
        }
        m_band = m_column;
        return -1;
    }

    template <typename Place>
    void typeAt(Window window, const std::string &where, Place place) {
        place();
        waitQuiet(m_pid, 60000);
        m_band = m_column;
        std::vector<double> ms;
        const std::string keys = "type some words here ";
        for (int i = 0; i < m_options.keys; i++) {
            const char c = keys[size_t(i) % keys.size()];
            // A space changes few pixels (the caret moves on): letters only
            // are timed, spaces typed between them.
            if (c == ' ') {
                m_desk.type(c);
                pause(100);
                m_band = m_column;
                continue;
            }
            const double shown = keyShown(window, c, 20000);
            ms.push_back(shown < 0 ? 20000 : shown);
            pause(100);
        }
        QElapsedTimer clock;
        clock.start();
        const qint64 quiet = waitQuiet(m_pid, 600000, &clock);
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
    QTemporaryDir m_dir;
    QProcess m_process;
    pid_t m_pid = 0;
    std::string m_title;
    Desk m_desk;
    Band m_column, m_band;
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
            options.kinds = arguments[++i].split(QLatin1Char(','));
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
