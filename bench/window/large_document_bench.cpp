// The program itself with a large real document, as a person meets it: the
// real binary started on the display (under a window manager) with Markdown
// documentation as people write it, keys typed through the X server's test
// extension, and what it costs read from /proc.
//
//   large_document_bench [--size MB] [--corpus PATH] [--idle SECONDS]
//                        [--settle SECONDS] [--no-typing] [--timeline]
//                        [--binary PATH]
//   large_document_bench --size MB --save PATH
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
// It reports, one "name value unit" line each:
// - shown: launch to the document's window being on screen (shown_after_alert:
//   from the answer to the question a very large document asks first);
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
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <X11/keysym.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

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

// --- The page, through the web engine's debugging port ------------------------------------

// The least of a WebSocket client that the debugging protocol needs: one
// text frame out, answers read until the one with our id.
class PageProbe {
public:
    bool connectTo(int port) {
        m_socket.abort();
        m_buffer.clear();
        QTcpSocket http;
        http.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        if (!http.waitForConnected(1000))
            return false;
        http.write("GET /json/list HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        QByteArray reply;
        while (http.waitForReadyRead(2000))
            reply += http.readAll();
        const QByteArray body = reply.mid(reply.indexOf("\r\n\r\n") + 4);
        QString url;
        for (const QJsonValue &target : QJsonDocument::fromJson(body).array()) {
            const QJsonObject object = target.toObject();
            if (object.value("type").toString() == "page")
                url = object.value("webSocketDebuggerUrl").toString();
        }
        if (url.isEmpty())
            return false;
        const QString path = url.mid(url.indexOf('/', 5));
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        if (!m_socket.waitForConnected(1000))
            return false;
        m_socket.write("GET " + path.toUtf8() +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                       "Sec-WebSocket-Key: b3J2YW5lYmVuY2htYXJrIQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        while (!m_buffer.contains("\r\n\r\n")) {
            if (!m_socket.waitForReadyRead(2000))
                return false;
            m_buffer += m_socket.readAll();
        }
        const bool upgraded = m_buffer.startsWith("HTTP/1.1 101");
        m_buffer.remove(0, m_buffer.indexOf("\r\n\r\n") + 4);
        return upgraded;
    }

    // The value of `expression` in the page, as JSON text; empty on failure.
    QJsonValue evaluate(const QString &expression, int timeoutMs = 5000) {
        const int id = ++m_id;
        QJsonObject params{{"expression", expression}, {"returnByValue", true}};
        send(QJsonDocument(QJsonObject{{"id", id}, {"method", "Runtime.evaluate"}, {"params", params}})
                 .toJson(QJsonDocument::Compact));
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            while (auto message = nextMessage()) {
                const QJsonObject answer = QJsonDocument::fromJson(*message).object();
                if (answer.value("id").toInt() == id)
                    return answer.value("result").toObject().value("result").toObject().value("value");
            }
            m_socket.waitForReadyRead(50);
            m_buffer += m_socket.readAll();
        }
        return {};
    }

private:
    void send(const QByteArray &payload) {
        QByteArray frame;
        frame += char(0x81);
        const quint64 n = quint64(payload.size());
        if (n < 126) {
            frame += char(0x80 | n);
        } else if (n < 65536) {
            frame += char(0x80 | 126);
            frame += char(n >> 8);
            frame += char(n & 0xff);
        } else {
            frame += char(0x80 | 127);
            for (int i = 7; i >= 0; i--)
                frame += char((n >> (8 * i)) & 0xff);
        }
        const char mask[4] = {0x11, 0x22, 0x33, 0x44};
        frame.append(mask, 4);
        for (quint64 i = 0; i < n; i++)
            frame += char(payload[qsizetype(i)] ^ mask[i % 4]);
        m_socket.write(frame);
        m_socket.flush();
    }

    std::optional<QByteArray> nextMessage() {
        if (m_buffer.size() < 2)
            return std::nullopt;
        const auto *b = reinterpret_cast<const unsigned char *>(m_buffer.constData());
        quint64 length = b[1] & 0x7f;
        qsizetype header = 2;
        if (length == 126) {
            if (m_buffer.size() < 4)
                return std::nullopt;
            length = (quint64(b[2]) << 8) | b[3];
            header = 4;
        } else if (length == 127) {
            if (m_buffer.size() < 10)
                return std::nullopt;
            length = 0;
            for (int i = 0; i < 8; i++)
                length = (length << 8) | b[2 + i];
            header = 10;
        }
        if (quint64(m_buffer.size()) < quint64(header) + length)
            return std::nullopt;
        QByteArray message = m_buffer.mid(header, qsizetype(length));
        m_buffer.remove(0, header + qsizetype(length));
        return message;
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    int m_id = 0;
};

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
};

class Run {
public:
    explicit Run(const Options &options) : m_options(options) {}

    int save() {
        const QByteArray corpus = readCorpus(m_options.corpus);
        QFile file(m_options.save);
        if (corpus.isEmpty() || !file.open(QIODevice::WriteOnly))
            return 2;
        const QByteArray text = makeDocument(corpus, qint64(m_options.sizeMB * 1024 * 1024));
        return file.write(text) == text.size() ? 0 : 2;
    }

    int exec() {
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
        const QString name = QStringLiteral("large-%1.md").arg(m_options.sizeMB);
        const QString path = m_dir.filePath(name);
        QFile file(path);
        const QByteArray text = makeDocument(corpus, qint64(m_options.sizeMB * 1024 * 1024));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
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

        // The page's first content, then quiet.
        QElapsedTimer connecting;
        connecting.start();
        while (!m_probe.connectTo(port) && connecting.elapsed() < 30000)
            pause(100);
        qint64 first = -1;
        while (first < 0 && launch.elapsed() < shown + 1000L * m_options.settleSeconds) {
            if (m_probe.evaluate(QStringLiteral("!!(document.body&&document.body.firstElementChild)")).toBool())
                first = launch.elapsed();
            else
                pause(100);
        }
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

        if (m_options.typing) {
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
    QTemporaryDir m_dir;
    QProcess m_process;
    QProcess m_windowManager;
    pid_t m_pid = 0;
    // The preview says the document is too large for it.
    bool m_tooLarge = false;
    Desk m_desk;
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
        else if (a == "--no-typing")
            options.typing = false;
        else if (a == "--timeline")
            options.timeline = true;
    }
    Run run(options);
    return options.save.isEmpty() ? run.exec() : run.save();
}
