// The program itself with a large real document, as a person meets it: the
// real binary started on the display (under a window manager) with Markdown
// documentation as people write it, keys typed through the X server's test
// extension, and what it costs read from /proc.
//
//   large_document_bench [--size MB] [--corpus PATH] [--idle SECONDS]
//                        [--settle SECONDS] [--no-typing] [--timeline]
//                        [--binary PATH]
//   large_document_bench --shape SHAPE [--size MB] [--keys N] [--places LIST]
//                        [--settle SECONDS] [--timeline] [--binary PATH]
//   large_document_bench [--shape SHAPE] --size MB --save PATH
//   large_document_bench --tabs N [--shape SHAPE] [--size MB] [--settle SECONDS]
//
// The document is cut from the corpus that bench/gather-corpus makes of the
// Markdown documentation installed under /usr/share/doc (gathered into the
// working folder on first use, or named by --corpus or ORVANE_CORPUS): pieces
// of it ending at blank lines outside code fences, spread evenly over all its
// projects, the whole corpus repeated first for sizes beyond it. One line in
// the middle holds the word "zmidpointz", where the typing in the middle goes.
// --save writes that document to PATH and measures nothing (for a profiler,
// or another editor).
//
// With --shape, the document is instead one big top-level block of real text
// (bench/support/block_shapes.h): "list" (the corpus's paragraphs as the
// items of one list), "fence" (the machine's logs in one fenced code block),
// "table" (the corpus's words in the rows of one table), "quote" (the
// paragraphs in one block quote), "bibliography" (the paragraphs as the
// numbered items of one list, each over two lines) or "paragraphs" (the same
// paragraphs as paragraphs, to compare with), with a short paragraph before
// and after it.
//
// With --tabs N, N such documents (each under a heading of its own) are
// opened together as tabs of one window, the last in front; once the window
// shows, Ctrl+Tab brings each to the front in turn, the others first (each
// for the first time, while every editor still works through its text in
// the background): tabK_preview_after_switch is the time from the key to
// that tab's page holding its heading, all_previews_shown the time from
// launch until every page had; then key_tabs_median and _max, keys typed one
// by one into the tab in front, and tabs_settled, launch to all quiet.
//
// It reports, one "name value unit" line each:
// - shown: launch to the document's window being on screen (shown_after_alert:
//   from the answer to the question a very large document asks first);
// - painted: launch to the editor's text column showing text (after_alert
//   as above): a window whose main thread is busy shows nothing;
// - preview_first: launch to the preview's page holding something (the
//   document's first screen, or a note in its place);
// - open_settled: launch to the program (all its processes) being quiet;
// - rss_open, rss_open_all, pss_open_all, rss_open_page: resident memory once
//   quiet, of the main process, of all the program's processes added up (and
//   their proportional share, which counts shared pages once), and of the web
//   engine's page process;
// - idle_focused: CPU of the main process and of all its processes over the
//   idle period with the window focused, in percent of one core, and how
//   much the main process's resident memory grew over it (settled: under 2%
//   of a core with the memory flat);
// - with --timeline, the main process's memory and CPU every five seconds
//   from launch until it is quiet;
// - keys typed one by one in the middle (the document's size decides how
//   long each takes): for each, the time from the key to the main thread
//   having handled and painted it (it runs, then sleeps for 30 ms), as
//   key_mid_median and key_mid_max, and how many took over a second;
// - keys typed the same way for 14 seconds without a pause, past the ten
//   after which typing is saved in place without one, so that a save falls
//   among them: key_save_median, key_save_max and key_save_over_1s, and
//   saves_while_typing, the saves seen (by the file's modification time).
//   A key comes every 100 ms or so, so key_save_max is about the longest
//   the save kept the main thread from the keys;
// - for typing in the middle and at the end (100 keys, 30 ms apart):
//   preview_shows (last key to the preview holding the typed text, asked
//   through the web engine's remote debugging port at the block under the
//   caret; not waited for when the preview says the document is too large
//   for it), quiet (last key to all processes together using under 2% of a
//   core over a second), the memory after, and the CPU used after the last key.
// With --shape the typing is instead --keys letters (default 10) typed one at
// a time at the block's first element, at the one across its middle and at
// its last (the find bar puts the caret after the marker each begins with;
// --places picks some of first,mid,last), each sent 100 ms after the one
// before was handled: key_PLACE_shown_min, _median and _max, from the key to the
// window's pixels showing it; key_PLACE_cpu_median and _max, the main
// thread's CPU from the key until it slept for 200 ms; key_PLACE_handled_median,
// the key to the end of that work; PLACE_quiet, the last key to all
// processes quiet. A key handled after more than 30 s ends the typing at its
// place. PLACE_page_cpu is the CPU the page's process used from the first
// key to quiet, and PLACE_page_LayoutDuration, _RecalcStyleDuration,
// _ScriptDuration and _TaskDuration (seconds) and _LayoutCount and
// _RecalcStyleCount what the page itself counted of its work meanwhile.
// A figure of -1 means the thing waited for did not happen in time.
//
// The program runs for a user of its own (preferences and data in a
// temporary folder), so an Orvane already running on the display is left
// alone. Run it under xvfb-run; it starts openbox when no window manager
// runs on the display, as a person's desktop has one.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <X11/keysym.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/block_shapes.h"
#include "bench/support/page_probe.h"
#include "bench/support/running_program.h"

namespace {

using namespace benchsupport;

const char *const Words[] = {"alpha",  "border",  "cactus", "delta",   "ember",  "fjord",  "garnet",  "harbour",
                             "island", "juniper", "kettle", "lantern", "meadow", "nectar", "orchard", "pepper",
                             "quartz", "ribbon",  "saddle", "timber",  "umber",  "velvet", "willow",  "yonder"};

// --- The document ------------------------------------------------------------------

// Whether `line` opens or closes a code fence; `fence` holds the open one.
void followFence(QByteArrayView line, char *fence, qsizetype *fenceLength) {
    qsizetype i = 0;
    while (i < 3 && i < line.size() && line[i] == ' ')
        i++;
    if (i >= line.size() || (line[i] != '`' && line[i] != '~'))
        return;
    const char c = line[i];
    qsizetype n = 0;
    while (i + n < line.size() && line[i + n] == c)
        n++;
    if (n < 3)
        return;
    if (!*fence) {
        *fence = c;
        *fenceLength = n;
    } else if (c == *fence && n >= *fenceLength && line.sliced(i + n).trimmed().isEmpty()) {
        *fence = 0;
    }
}

// The corpus in pieces of at least `least` bytes, each ending at a blank line
// outside a code fence, so that pieces put together in any order stay
// Markdown as its authors wrote it.
std::vector<QByteArrayView> cutPieces(const QByteArray &corpus, qsizetype least) {
    std::vector<QByteArrayView> pieces;
    char fence = 0;
    qsizetype fenceLength = 0;
    qsizetype start = 0, at = 0;
    while (at < corpus.size()) {
        qsizetype end = corpus.indexOf('\n', at);
        end = end < 0 ? corpus.size() : end + 1;
        const QByteArrayView line(corpus.constData() + at, end - at);
        followFence(line, &fence, &fenceLength);
        at = end;
        if (!fence && line.trimmed().isEmpty() && at - start >= least) {
            pieces.emplace_back(corpus.constData() + start, at - start);
            start = at;
        }
    }
    if (start < corpus.size())
        pieces.emplace_back(corpus.constData() + start, corpus.size() - start);
    return pieces;
}

// About `bytes` of the corpus: whole copies of it while they fit, then pieces
// taken evenly from all of it, so that every size mixes all its projects.
QByteArray makeDocument(const QByteArray &corpus, qint64 bytes) {
    const std::vector<QByteArrayView> pieces = cutPieces(corpus, 64 * 1024);
    QByteArray text;
    text.reserve(bytes + 256 * 1024);
    std::vector<qsizetype> joints;
    auto add = [&](QByteArrayView piece) {
        text += piece;
        if (!text.endsWith("\n\n"))
            text += text.endsWith('\n') ? "\n" : "\n\n";
        joints.push_back(text.size());
    };
    while (bytes - text.size() >= corpus.size())
        for (QByteArrayView piece : pieces)
            add(piece);
    const double share = double(bytes - text.size()) / double(corpus.size());
    std::vector<bool> taken(pieces.size());
    for (size_t i = 0; i < pieces.size() && text.size() < bytes; i++)
        if (qint64(double(i + 1) * share) > qint64(double(i) * share)) {
            add(pieces[i]);
            taken[i] = true;
        }
    for (size_t i = 0; i < pieces.size() && text.size() < bytes; i++)
        if (!taken[i])
            add(pieces[i]);
    // The marker where two pieces meet nearest the middle.
    qsizetype middle = 0;
    for (qsizetype joint : joints)
        if (std::abs(joint - text.size() / 2) < std::abs(middle - text.size() / 2))
            middle = joint;
    text.insert(middle, "A paragraph in the middle, zmidpointz here, and more words after it.\n\n");
    return text;
}

// --- The run --------------------------------------------------------------------------------

struct Options {
    double sizeMB = 5;
    int idleSeconds = 10;
    int settleSeconds = 120;
    bool typing = true;
    bool timeline = false;
    QString corpus;
    QString save;
    QString binary = QStringLiteral(ORVANE_BINARY);
    // One big block of this shape, and where and how much to type in it.
    QString shape;
    int keys = 10;
    QStringList places = {QStringLiteral("first"), QStringLiteral("mid"), QStringLiteral("last")};
    // Documents opened together as tabs of one window, when more than one.
    int tabs = 0;
};

class Run {
public:
    explicit Run(const Options &options)
        : m_options(options),
          m_name(QStringLiteral("%1-%2.md")
                     .arg(options.shape.isEmpty() ? QStringLiteral("large") : options.shape)
                     .arg(options.sizeMB)),
          m_text(m_desk, m_name.toStdString()) {}

    QByteArray document(const QByteArray &corpus) const {
        const qint64 bytes = qint64(m_options.sizeMB * 1024 * 1024);
        if (m_options.shape.isEmpty())
            return makeDocument(corpus, bytes);
        return QByteArray::fromStdString(
            blockDocument(m_options.shape.toStdString(), std::string_view(corpus.constData(), size_t(corpus.size())),
                          size_t(bytes)));
    }

    int save() {
        const QByteArray corpus = readCorpus(m_options.corpus);
        QFile file(m_options.save);
        if (corpus.isEmpty() || !file.open(QIODevice::WriteOnly))
            return 2;
        const QByteArray text = document(corpus);
        return !text.isEmpty() && file.write(text) == text.size() ? 0 : 2;
    }

    // A document of the tabs run: the size and shape asked for, under a
    // heading that names it by a word of its own.
    QByteArray tabDocument(const QByteArray &corpus, int tab) const {
        return "# Tab " + QByteArray::number(tab) + " ztab" + QByteArray::number(tab) + "z\n\n" + document(corpus);
    }

    // Several documents opened together as tabs of one window: the last one
    // named is in front. Once the window shows, Ctrl+Tab brings the others
    // to the front in turn, each for the first time, while the editors of
    // all of them still work through their texts in the background, each
    // timed until its page holds its heading; then the first one again, and
    // keys are typed into it.
    int execTabs() {
        if (!m_desk.ok()) {
            std::fprintf(stderr, "needs an X display with the test extension (run it under xvfb-run)\n");
            return 2;
        }
        if (!benchsupport::startWindowManager(m_desk, m_windowManager))
            return 2;
        const QByteArray corpus = readCorpus(m_options.corpus);
        if (corpus.isEmpty()) {
            std::fprintf(stderr, "no corpus at %s\n", qPrintable(m_options.corpus));
            return finish(2);
        }
        QStringList paths, names;
        for (int tab = 1; tab <= m_options.tabs; tab++) {
            const QString name = QStringLiteral("tab%1-%2").arg(tab).arg(m_name);
            const QByteArray text = tabDocument(corpus, tab);
            QFile file(m_dir.filePath(name));
            if (text.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
                return finish(2);
            paths << file.fileName();
            names << name;
            if (tab == 1)
                std::printf("documents %d of %.2f MB, %lld lines\n", m_options.tabs,
                            double(text.size()) / (1024.0 * 1024.0), qlonglong(text.count('\n')));
        }
        std::printf("load average %s", readProc(QStringLiteral("/proc/loadavg")).constData());
        runAsNewUser(m_process, m_dir.path(), "{\"checkForAnnouncements\": false}");
        const int port = 9300 + int(::getpid() % 500);
        QProcessEnvironment environment = m_process.processEnvironment();
        environment.insert("QTWEBENGINE_REMOTE_DEBUGGING", QStringLiteral("127.0.0.1:%1").arg(port));
        m_process.setProcessEnvironment(environment);
        QElapsedTimer launch;
        launch.start();
        m_process.start(m_options.binary, paths);
        if (!m_process.waitForStarted(5000))
            return finish(2);
        m_pid = pid_t(m_process.processId());
        const std::string front = names.last().toStdString();
        while (m_desk.find(front) == None) {
            if (launch.elapsed() > 120000 || m_process.state() != QProcess::Running) {
                std::fprintf(stderr, "the window never showed\n");
                return finish(1);
            }
            pause(5);
        }
        report("shown", secondsOf(launch.elapsed()), "s");
        // Whether the page of tab `tab` holds its document's heading.
        auto previewOf = [&](int tab, qint64 timeoutMs) -> qint64 {
            QElapsedTimer clock;
            clock.start();
            const QString expression =
                QStringLiteral("!!(document.body&&document.body.textContent.indexOf('ztab%1z')>=0)").arg(tab);
            PageProbe probe;
            while (clock.elapsed() < timeoutMs) {
                if ((probe.connected() || probe.connectTo(port, names[tab - 1])) &&
                    probe.evaluate(expression, 1000).toBool())
                    return clock.elapsed();
                pause(50);
            }
            return -1;
        };
        m_desk.focus(front);
        pause(500);
        // Ctrl+Tab goes on to the next tab, round from the last to the first,
        // and back to the one in front at launch.
        for (int tab = 1; tab <= m_options.tabs; tab++) {
            m_desk.key(XK_Tab, XK_Control_L);
            const qint64 shows = previewOf(tab, 1000L * m_options.settleSeconds);
            report("tab" + std::to_string(tab) + "_preview_after_switch", shows < 0 ? -1 : secondsOf(shows), "s");
        }
        report("all_previews_shown", secondsOf(launch.elapsed()), "s");
        // Keys in the tab in front while the others' background work goes on.
        typeOneByOne("tabs", 20);
        std::printf("at %.1f s after launch\n", secondsOf(launch.elapsed()));
        const qint64 settled = benchsupport::waitQuiet(m_pid, 1000L * m_options.settleSeconds, &launch);
        report("tabs_settled", settled < 0 ? -1 : secondsOf(settled), "s");
        std::printf("load average %s", readProc(QStringLiteral("/proc/loadavg")).constData());
        return finish(0);
    }

    int exec() {
        if (m_options.tabs > 1)
            return execTabs();
        if (!m_desk.ok()) {
            std::fprintf(stderr, "needs an X display with the test extension (run it under xvfb-run)\n");
            return 2;
        }
        if (!benchsupport::startWindowManager(m_desk, m_windowManager))
            return 2;
        const QByteArray corpus = readCorpus(m_options.corpus);
        if (corpus.isEmpty()) {
            std::fprintf(stderr, "no corpus at %s\n", qPrintable(m_options.corpus));
            return finish(2);
        }
        const QString &name = m_name;
        const QString path = m_dir.filePath(name);
        QFile file(path);
        const QByteArray text = document(corpus);
        if (text.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return finish(2);
        file.close();
        std::printf("document %.2f MB, %lld lines, of a corpus of %.2f MB\n", double(text.size()) / (1024.0 * 1024.0),
                    qlonglong(text.count('\n')), double(corpus.size()) / (1024.0 * 1024.0));
        std::printf("load average %s", readProc(QStringLiteral("/proc/loadavg")).constData());
        runAsNewUser(m_process, m_dir.path(), "{\"checkForAnnouncements\": false}");
        const int port = 9300 + int(::getpid() % 500);
        QProcessEnvironment environment = m_process.processEnvironment();
        environment.insert("QTWEBENGINE_REMOTE_DEBUGGING", QStringLiteral("127.0.0.1:%1").arg(port));
        m_process.setProcessEnvironment(environment);

        QElapsedTimer launch;
        launch.start();
        m_process.start(m_options.binary, {path});
        if (!m_process.waitForStarted(5000))
            return finish(2);
        m_pid = pid_t(m_process.processId());
        const std::string title = name.toStdString();
        // A very large document is opened only once the question whether to
        // is answered: a dialog before the document's window is that question.
        qint64 answered = -1;
        while (m_desk.find(title) == None) {
            const std::vector<Window> dialogs = m_desk.dialogs();
            if (answered < 0 && !dialogs.empty()) {
                pause(300);
                m_desk.activate(dialogs.back());
                pause(100);
                m_desk.key(XK_Return);
                answered = launch.elapsed();
            }
            if (launch.elapsed() > 120000 || m_process.state() != QProcess::Running) {
                std::fprintf(stderr, "the window never showed\n");
                return finish(1);
            }
            pause(5);
        }
        const qint64 shown = launch.elapsed();
        report("shown", secondsOf(shown), "s");
        if (answered >= 0)
            report("shown_after_alert", secondsOf(shown - answered), "s");

        // The text painted and the page's first content, then quiet. The
        // pixels are looked at every 10 ms on a thread of their own (with a
        // connection to the display of its own), while the page is asked.
        std::atomic<qint64> paintedAt{-1};
        std::thread painter([&] {
            Desk desk;
            TextColumn column(desk, title);
            while (launch.elapsed() < shown + 1000L * m_options.settleSeconds) {
                if (column.showsText(desk.find(title))) {
                    paintedAt = launch.elapsed();
                    return;
                }
                QThread::msleep(10);
            }
        });
        qint64 first = -1;
        while (first < 0 && launch.elapsed() < shown + 1000L * m_options.settleSeconds) {
            if ((m_probe.connected() || m_probe.connectTo(port)) &&
                m_probe.evaluate(QStringLiteral("!!(document.body&&document.body.firstElementChild)"), 1000).toBool())
                first = launch.elapsed();
            else
                pause(100);
        }
        painter.join();
        const qint64 painted = paintedAt;
        report("painted", painted < 0 ? -1 : secondsOf(painted), "s");
        if (answered >= 0)
            report("painted_after_alert", painted < 0 ? -1 : secondsOf(painted - answered), "s");
        report("preview_first", first < 0 ? -1 : secondsOf(first), "s");
        if (answered >= 0)
            report("preview_first_after_alert", first < 0 ? -1 : secondsOf(first - answered), "s");
        const qint64 settled =
            benchsupport::waitQuiet(m_pid, 1000L * m_options.settleSeconds, &launch, m_options.timeline);
        report("open_settled", settled < 0 ? -1 : secondsOf(settled), "s");
        reportMemory("open");
        m_tooLarge = m_probe.evaluate(QStringLiteral("!!document.querySelector('.orvane-too-large')")).toBool();

        m_desk.focus(title);
        pause(1500);
        measureIdle("idle_focused");

        if (m_options.typing && !m_options.shape.isEmpty()) {
            const std::pair<const char *, const char *> places[] = {
                {"first", kFirstMarker}, {"mid", kMiddleMarker}, {"last", kLastMarker}};
            for (const auto &[place, marker] : places)
                if (m_options.places.contains(QLatin1String(place)))
                    typeInBlock(m_desk.find(title), place, marker);
        } else if (m_options.typing) {
            // In the middle: the find bar puts the caret at the marker word.
            m_desk.key(XK_f, XK_Control_L);
            pause(300);
            for (char c : std::string("zmidpointz"))
                m_desk.type(c);
            pause(300);
            m_desk.key(XK_Escape);
            pause(200);
            m_desk.key(XK_Right);
            benchsupport::waitQuiet(m_pid, 30000);
            typeOneByOne("mid", 40);
            benchsupport::waitQuiet(m_pid, 30000);
            typeAroundSave(path);
            benchsupport::waitQuiet(m_pid, 30000);
            typeBurst("mid");
            m_desk.key(XK_End, XK_Control_L);
            benchsupport::waitQuiet(m_pid, 30000);
            typeBurst("end");
            measureIdle("idle_after");
        }
        std::printf("load average %s", readProc(QStringLiteral("/proc/loadavg")).constData());
        return finish(0);
    }

private:
    void report(const std::string &what, double value, const char *unit) {
        std::printf("%-28s %10.3f %s\n", what.c_str(), value, unit);
        std::fflush(stdout);
    }

    void reportMemory(const std::string &when) {
        const std::vector<pid_t> tree = processTree(m_pid);
        double all = 0, proportional = 0;
        for (pid_t pid : tree) {
            all += residentMB(pid);
            proportional += proportionalMB(pid);
        }
        const pid_t page = pageProcess(tree);
        report("rss_" + when, residentMB(m_pid), "MB");
        report("rss_" + when + "_all", all, "MB");
        report("pss_" + when + "_all", proportional, "MB");
        report("rss_" + when + "_page", page ? residentMB(page) : 0, "MB");
    }

    void measureIdle(const std::string &name) {
        const std::vector<pid_t> tree = processTree(m_pid);
        const CpuSample main0 = cpuOf({m_pid}), all0 = cpuOf(tree);
        const double rss0 = residentMB(m_pid);
        QElapsedTimer timer;
        timer.start();
        pause(m_options.idleSeconds * 1000);
        const double seconds = double(timer.elapsed()) / 1000.0;
        report(name + "_main", 100.0 * usedBetween(main0, cpuOf({m_pid})) / seconds, "%core");
        report(name + "_all", 100.0 * usedBetween(all0, cpuOf(processTree(m_pid))) / seconds, "%core");
        report(name + "_rss_growth", residentMB(m_pid) - rss0, "MB");
    }

    // The main thread's run time so far (ns), and whether it is running.
    std::pair<quint64, bool> mainThread() {
        const QString task = QStringLiteral("/proc/%1/task/%1/").arg(m_pid);
        const quint64 ns = readProc(task + QStringLiteral("schedstat")).split(' ').value(0).toULongLong();
        const QByteArray stat = readProc(task + QStringLiteral("stat"));
        const qsizetype close = stat.lastIndexOf(')');
        return {ns, close >= 0 && stat.mid(close + 2, 1) == "R"};
    }

    // Types `c` and waits for the main thread to have handled it: it runs
    // (the key, its restyle and the repaint), then sleeps for 30 ms. The
    // time from the key to the end of that run, or -1 after ten seconds.
    double keyHandledMs(char c) {
        const quint64 before = mainThread().first;
        QElapsedTimer clock;
        clock.start();
        m_desk.type(c);
        quint64 last = before;
        qint64 lastRun = -1;
        while (clock.elapsed() < 10000) {
            QThread::usleep(1000);
            const auto [ns, running] = mainThread();
            const qint64 now = clock.nsecsElapsed();
            if (ns != last || running) {
                last = ns;
                lastRun = now;
            } else if (lastRun >= 0 && now - lastRun > 30000000) {
                return double(lastRun) / 1e6;
            }
        }
        return -1;
    }

    void typeOneByOne(const std::string &prefix, int keys) {
        std::vector<double> times;
        int slow = 0;
        for (int i = 0; i < keys; i++) {
            const double ms = keyHandledMs(i % 6 == 5 ? ' ' : char('a' + i % 26));
            times.push_back(ms < 0 ? 10000 : ms);
            if (ms < 0 || ms > 1000)
                slow++;
        }
        std::sort(times.begin(), times.end());
        report("key_" + prefix + "_median", times[times.size() / 2], "ms");
        report("key_" + prefix + "_max", times.back(), "ms");
        report("key_" + prefix + "_over_1s", slow, "keys");
    }

    // Keys one by one, each 100 ms after the one before was handled, for 14 s
    // (and until a save was seen, for 30 s at most).
    void typeAroundSave(const QString &path) {
        auto modified = [&path] {
            struct stat info;
            return ::stat(QFile::encodeName(path).constData(), &info) == 0
                       ? qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec
                       : qint64(-1);
        };
        qint64 last = modified();
        int saves = 0, slow = 0;
        std::vector<double> times;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; clock.elapsed() < 14000 || (saves == 0 && clock.elapsed() < 30000); i++) {
            const double ms = keyHandledMs(i % 6 == 5 ? ' ' : char('a' + i % 26));
            times.push_back(ms < 0 ? 10000 : ms);
            if (ms < 0 || ms > 1000)
                slow++;
            if (const qint64 now = modified(); now != last) {
                saves++;
                last = now;
            }
            pause(100);
        }
        std::sort(times.begin(), times.end());
        report("key_save_median", times[times.size() / 2], "ms");
        report("key_save_max", times.back(), "ms");
        report("key_save_over_1s", slow, "keys");
        report("key_save_keys", double(times.size()), "keys");
        report("saves_while_typing", saves, "saves");
    }

    // Whether the top-level block that holds the caret's anchor, or one of
    // the three before it, holds `text`.
    bool previewHolds(const QString &text) {
        const QString expression = QStringLiteral("(function(){var n=document.getElementById('TZRHTMLSCROLLPOINT');"
                                                  "while(n&&n.parentNode!==document.body)n=n.parentNode;"
                                                  "for(var k=0;n&&k<3;k++,n=n.previousElementSibling)"
                                                  "if(n.textContent.indexOf('%1')>=0)return true;return false;})()")
                                       .arg(text);
        return m_probe.evaluate(expression).toBool();
    }

    // Keys one at a time after `marker`, each timed to the window's pixels
    // and by the main thread's CPU until it slept for 200 ms.
    void typeInBlock(Window window, const std::string &place, const char *marker) {
        m_desk.key(XK_f, XK_Control_L);
        pause(300);
        for (const char *c = marker; *c; c++)
            m_desk.type(*c);
        pause(300);
        m_desk.key(XK_Escape);
        pause(200);
        m_desk.key(XK_Right);
        benchsupport::waitQuiet(m_pid, 60000);
        window = m_text.current(window);
        m_text.waitStill(window, 300, 5000);
        m_text.forget();
        const std::map<QString, double> before = m_probe.connected() ? m_probe.metrics() : std::map<QString, double>{};
        const std::vector<pid_t> tree = processTree(m_pid);
        const pid_t page = pageProcess(tree);
        const CpuSample page0 = cpuOf({page});
        std::vector<double> shown, cpu, handled;
        const std::string letters = "typingintoablock";
        for (int i = 0; i < m_options.keys; i++) {
            const quint64 before = mainThread().first;
            QElapsedTimer clock;
            clock.start();
            const double ms = m_text.keyShown(m_text.current(window), letters[size_t(i) % letters.size()], 120000);
            shown.push_back(ms < 0 ? 120000 : ms);
            quint64 last = mainThread().first;
            qint64 lastRun = clock.nsecsElapsed();
            while (clock.elapsed() < 240000) {
                QThread::usleep(2000);
                const auto [ns, running] = mainThread();
                const qint64 now = clock.nsecsElapsed();
                if (ns != last || running) {
                    last = ns;
                    lastRun = now;
                } else if (now - lastRun > 200000000) {
                    break;
                }
            }
            handled.push_back(double(lastRun) / 1e6);
            cpu.push_back(double(last - before) / 1e6);
            if (handled.back() > 30000)
                break;
            pause(100);
        }
        QElapsedTimer clock;
        clock.start();
        const qint64 quiet = benchsupport::waitQuiet(m_pid, 120000, &clock);
        // What the page's process did for the keys: its CPU, and the page's
        // own counts of styling, layout and script.
        report(place + "_page_cpu", page ? usedBetween(page0, cpuOf({page})) : -1, "s");
        if (!before.empty()) {
            const std::map<QString, double> after = m_probe.metrics();
            for (const char *name : {"RecalcStyleDuration", "LayoutDuration", "ScriptDuration", "TaskDuration"})
                if (after.count(name) && before.count(name))
                    report(place + "_page_" + name, after.at(name) - before.at(name), "s");
            for (const char *name : {"RecalcStyleCount", "LayoutCount"})
                if (after.count(name) && before.count(name))
                    report(place + "_page_" + name, after.at(name) - before.at(name), "");
        }
        report("key_" + place + "_shown_min", percentile(shown, 0.0), "ms");
        report("key_" + place + "_shown_median", percentile(shown, 0.5), "ms");
        report("key_" + place + "_shown_max", percentile(shown, 1.0), "ms");
        report("key_" + place + "_cpu_median", percentile(cpu, 0.5), "ms");
        report("key_" + place + "_cpu_max", percentile(cpu, 1.0), "ms");
        report("key_" + place + "_handled_median", percentile(handled, 0.5), "ms");
        report("key_" + place + "_typed", double(shown.size()), "keys");
        report(place + "_quiet", quiet < 0 ? -1 : secondsOf(quiet), "s");
    }

    void typeBurst(const std::string &prefix) {
        // 100 keys; the last is a letter, since a space holds the preview back.
        std::string keys;
        int n = 0;
        while (keys.size() < 99)
            keys += std::string(Words[n++ % std::size(Words)]) + ' ';
        keys.resize(99);
        if (keys.back() == ' ')
            keys.back() = 'q';
        keys += 'z';
        const QString tail = QString::fromStdString(keys.substr(keys.size() - 12));
        QElapsedTimer clock;
        clock.start();
        for (char c : keys) {
            m_desk.type(c);
            pause(30);
        }
        const qint64 last = clock.elapsed();
        const CpuSample main0 = cpuOf({m_pid}), all0 = cpuOf(processTree(m_pid));
        // The preview is asked every 250 ms; the processes' CPU then says
        // when the program is quiet.
        qint64 shown = -1;
        while (!m_tooLarge && shown < 0 && clock.elapsed() - last < 60000) {
            if (previewHolds(tail))
                shown = clock.elapsed();
            else
                pause(250);
        }
        const qint64 quiet = benchsupport::waitQuiet(m_pid, 60000, &clock);
        if (!m_tooLarge)
            report(prefix + "_preview_shows", shown < 0 ? -1 : secondsOf(shown - last), "s");
        report(prefix + "_quiet", quiet < 0 ? -1 : secondsOf(std::max(quiet, last) - last), "s");
        reportMemory(prefix);
        // Where the work after the last key was done, up to the end of the
        // quiet second waited for (or of the wait).
        const double mainUsed = usedBetween(main0, cpuOf({m_pid}));
        report(prefix + "_cpu_after_main", mainUsed, "s");
        report(prefix + "_cpu_after_others", usedBetween(all0, cpuOf(processTree(m_pid))) - mainUsed, "s");
    }

    int finish(int code) {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            if (!m_process.waitForFinished(15000))
                ::kill(m_pid, SIGKILL);
            m_process.waitForFinished(5000);
        }
        if (m_windowManager.state() != QProcess::NotRunning) {
            m_windowManager.terminate();
            if (!m_windowManager.waitForFinished(5000))
                m_windowManager.kill();
        }
        return code;
    }

    Options m_options;
    QString m_name;
    QTemporaryDir m_dir;
    QProcess m_process;
    QProcess m_windowManager;
    pid_t m_pid = 0;
    // The preview says the document is too large for it.
    bool m_tooLarge = false;
    Desk m_desk;
    TextColumn m_text;
    PageProbe m_probe;
};

}  // namespace

int main(int argc, char **argv) {
    // The window's pixels are watched from a second thread.
    XInitThreads();
    QCoreApplication application(argc, argv);
    Options options;
    options.corpus = qEnvironmentVariable("ORVANE_CORPUS", QStringLiteral("corpus.md"));
    const QStringList arguments = application.arguments();
    for (qsizetype i = 1; i < arguments.size(); i++) {
        const QString &a = arguments[i];
        const bool valued = i + 1 < arguments.size();
        if (a == "--size" && valued)
            options.sizeMB = arguments[++i].toDouble();
        else if (a == "--corpus" && valued)
            options.corpus = arguments[++i];
        else if (a == "--idle" && valued)
            options.idleSeconds = arguments[++i].toInt();
        else if (a == "--settle" && valued)
            options.settleSeconds = arguments[++i].toInt();
        else if (a == "--save" && valued)
            options.save = arguments[++i];
        else if (a == "--binary" && valued)
            options.binary = arguments[++i];
        else if (a == "--shape" && valued)
            options.shape = arguments[++i];
        else if (a == "--keys" && valued)
            options.keys = arguments[++i].toInt();
        else if (a == "--places" && valued)
            options.places = arguments[++i].split(QLatin1Char(','));
        else if (a == "--tabs" && valued)
            options.tabs = arguments[++i].toInt();
        else if (a == "--no-typing")
            options.typing = false;
        else if (a == "--timeline")
            options.timeline = true;
    }
    Run run(options);
    return options.save.isEmpty() ? run.exec() : run.save();
}
