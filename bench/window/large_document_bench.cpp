// The program itself with a large document, as a person meets it: the real
// binary started on a generated document on the X display, keys typed
// through the server's test extension, and what it costs read from /proc.
//
//   large_document_bench [--size MB] [--idle SECONDS] [--no-typing] [--binary PATH]
//
// It reports, one "name value unit" line each:
// - shown: launch to the document's window being on screen;
// - open_settled: launch to the program (all its processes) being quiet;
// - rss_open: the main process's resident memory once quiet;
// - idle_focused: CPU of the main process and of all its processes over the
//   idle period with the window focused, in percent of one core;
// - for typing in the middle and at the end (100 keys, 30 ms apart):
//   preview_shows (last key to the preview holding the typed text, asked
//   through the web engine's remote debugging port at the block under the
//   caret), quiet (last key to the program being quiet), and rss after.
// The program runs for a user of its own (preferences and data in a
// temporary folder), so an Orvane already running on the display is left
// alone. Run it under xvfb-run.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// --- The document ------------------------------------------------------------------

const char *const Words[] = {"alpha",  "border",  "cactus", "delta",   "ember",  "fjord",  "garnet",  "harbour",
                             "island", "juniper", "kettle", "lantern", "meadow", "nectar", "orchard", "pepper",
                             "quartz", "ribbon",  "saddle", "timber",  "umber",  "velvet", "willow",  "yonder"};

// Markdown as people write it: headings, paragraphs with emphasis, code and
// links, lists, quotes, code blocks and tables, in a fixed order so that runs
// compare. The word "zmidpointz" stands once, in the middle.
QByteArray makeDocument(qint64 bytes) {
    QRandomGenerator random(7);
    auto word = [&] { return QByteArray(Words[random.bounded(int(std::size(Words)))]); };
    auto sentence = [&](int count) {
        QByteArray s;
        for (int i = 0; i < count; i++) {
            if (i)
                s += ' ';
            QByteArray w = word();
            switch (random.bounded(14)) {
            case 0:
                w = "**" + w + "**";
                break;
            case 1:
                w = "*" + w + "*";
                break;
            case 2:
                w = "`" + w + "`";
                break;
            case 3:
                w = "[" + w + "](https://example.org/" + w + ")";
                break;
            default:
                break;
            }
            s += w;
        }
        return s + '.';
    };
    QByteArray text;
    text.reserve(bytes + 4096);
    int section = 0;
    bool midpoint = false;
    while (text.size() < bytes) {
        if (!midpoint && text.size() >= bytes / 2) {
            text += "A paragraph in the middle, zmidpointz here, and more words after it.\n\n";
            midpoint = true;
        }
        switch (random.bounded(10)) {
        case 0:
            text += QByteArray(1 + section++ % 3, '#') + ' ' + sentence(4) + "\n\n";
            break;
        case 1:
            for (int i = 0; i < 4; i++)
                text += "- " + sentence(6) + '\n';
            text += '\n';
            break;
        case 2:
            for (int i = 1; i <= 3; i++)
                text += QByteArray::number(i) + ". " + sentence(5) + '\n';
            text += '\n';
            break;
        case 3:
            text += "> " + sentence(12) + "\n\n";
            break;
        case 4:
            text += "```\nint " + word() + " = 1;\nreturn " + word() + ";\n```\n\n";
            break;
        case 5:
            text += "| " + word() + " | " + word() + " |\n|---|---|\n| " + word() + " | " + word() + " |\n\n";
            break;
        default:
            text += sentence(18 + random.bounded(30)) + '\n' + sentence(10) + "\n\n";
            break;
        }
    }
    return text;
}

// --- Processes -------------------------------------------------------------------------

struct ProcStat {
    pid_t parent = 0;
    quint64 ticks = 0;  // user + system
};

std::optional<ProcStat> readStat(pid_t pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = file.readAll();
    // The command name may hold blanks; the fields follow its ")".
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    ProcStat stat;
    stat.parent = pid_t(fields[1].toLong());
    stat.ticks = fields[11].toULongLong() + fields[12].toULongLong();
    return stat;
}

// The process and all its descendants.
std::vector<pid_t> processTree(pid_t root) {
    std::vector<std::pair<pid_t, pid_t>> all;  // (pid, parent)
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const pid_t pid = pid_t(entry.toLong(&number));
        if (!number)
            continue;
        if (auto stat = readStat(pid))
            all.emplace_back(pid, stat->parent);
    }
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); i++)
        for (const auto &[pid, parent] : all)
            if (parent == tree[i])
                tree.push_back(pid);
    return tree;
}

quint64 ticks(const std::vector<pid_t> &pids) {
    quint64 sum = 0;
    for (pid_t pid : pids)
        if (auto stat = readStat(pid))
            sum += stat->ticks;
    return sum;
}

double residentMB(pid_t pid) {
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double secondsOf(qint64 ms) { return double(ms) / 1000.0; }

void pause(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

// --- The X display ----------------------------------------------------------------------

class Keyboard {
public:
    Keyboard() : m_display(XOpenDisplay(nullptr)) {}
    ~Keyboard() {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool ok() const {
        int event = 0, error = 0, major = 0, minor = 0;
        return m_display && XTestQueryExtension(m_display, &event, &error, &major, &minor);
    }

    // The viewable window titled with `title`, or none.
    Window find(const std::string &title) { return findBelow(DefaultRootWindow(m_display), title); }

    bool focus(const std::string &title) {
        const Window window = find(title);
        if (window == None)
            return false;
        XRaiseWindow(m_display, window);
        XSetInputFocus(m_display, window, RevertToParent, CurrentTime);
        XSync(m_display, False);
        return true;
    }

    void key(KeySym symbol, KeySym modifier = NoSymbol) {
        const KeyCode mod = modifier == NoSymbol ? 0 : XKeysymToKeycode(m_display, modifier);
        const KeyCode code = XKeysymToKeycode(m_display, symbol);
        if (mod)
            XTestFakeKeyEvent(m_display, mod, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        if (mod)
            XTestFakeKeyEvent(m_display, mod, False, CurrentTime);
        XSync(m_display, False);
    }

    void type(char c) { key(c == ' ' ? XK_space : KeySym(c)); }

    // Gives the focus to the topmost window shown; false when none is.
    bool focusTop() {
        Window root = None, parent = None, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count))
            return false;
        Window top = None;
        for (unsigned int i = count; i-- > 0 && top == None;) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(m_display, children[i], &attributes) && attributes.map_state == IsViewable)
                top = children[i];
        }
        if (children)
            XFree(children);
        if (top == None)
            return false;
        XSetInputFocus(m_display, top, RevertToParent, CurrentTime);
        XSync(m_display, False);
        return true;
    }

private:
    Window findBelow(Window parent, const std::string &title) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(m_display, parent, &attributes) && attributes.map_state == IsViewable) {
            char *name = nullptr;
            if (XFetchName(m_display, parent, &name) && name) {
                const bool found = std::string(name).find(title) != std::string::npos;
                XFree(name);
                if (found)
                    return parent;
            }
        }
        Window root = None, up = None, *children = nullptr;
        unsigned int count = 0;
        Window found = None;
        if (XQueryTree(m_display, parent, &root, &up, &children, &count)) {
            for (unsigned int i = 0; i < count && found == None; i++)
                found = findBelow(children[i], title);
            if (children)
                XFree(children);
        }
        return found;
    }

    Display *m_display;
};

// --- The page, through the web engine's debugging port ------------------------------------

// The least of a WebSocket client that the debugging protocol needs: one
// text frame out, answers read until the one with our id.
class PageProbe {
public:
    bool connectTo(int port) {
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
    bool typing = true;
    QString binary = QStringLiteral(ORVANE_BINARY);
};

class Run {
public:
    explicit Run(const Options &options) : m_options(options) {}

    int exec() {
        if (!m_keyboard.ok()) {
            std::fprintf(stderr, "needs an X display with the test extension (run it under xvfb-run)\n");
            return 2;
        }
        const QString name = QStringLiteral("large-%1.md").arg(m_options.sizeMB);
        const QString path = m_dir.filePath(name);
        QFile file(path);
        const QByteArray text = makeDocument(qint64(m_options.sizeMB * 1024 * 1024));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return 2;
        file.close();
        std::printf("document %.2f MB\n", double(text.size()) / (1024.0 * 1024.0));
        QDir().mkpath(m_dir.filePath("config/Tessaro/Orvane"));
        QFile prefs(m_dir.filePath("config/Tessaro/Orvane/preferences.json"));
        if (prefs.open(QIODevice::WriteOnly))
            prefs.write("{\"checkForAnnouncements\": false}");
        prefs.close();

        const int port = 9300 + int(::getpid() % 500);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        environment.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        environment.insert("QTWEBENGINE_REMOTE_DEBUGGING", QStringLiteral("127.0.0.1:%1").arg(port));
        environment.remove("QT_QPA_PLATFORM");
        m_process.setProcessEnvironment(environment);
        m_process.setWorkingDirectory(m_dir.path());
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);

        QElapsedTimer launch;
        launch.start();
        m_process.start(m_options.binary, {path});
        if (!m_process.waitForStarted(5000))
            return 2;
        m_pid = pid_t(m_process.processId());
        const std::string title = name.toStdString();
        // A very large document is opened only once the alert that asks
        // whether to is answered: the time from that answer is reported too.
        qint64 answered = -1;
        while (m_keyboard.find(title) == None) {
            if (answered < 0 && launch.elapsed() > 3000 && m_keyboard.focusTop()) {
                pause(200);
                m_keyboard.key(XK_Return);
                answered = launch.elapsed();
            }
            if (launch.elapsed() > 60000 || m_process.state() != QProcess::Running) {
                std::fprintf(stderr, "the window never showed\n");
                return finish(1);
            }
            QThread::msleep(5);
        }
        report("shown", secondsOf(launch.elapsed()), "s");
        if (answered >= 0)
            report("shown_after_alert", secondsOf(launch.elapsed() - answered), "s");
        const qint64 settled = waitQuiet(120000, &launch);
        report("open_settled", settled < 0 ? -1 : secondsOf(settled), "s");
        report("rss_open", residentMB(m_pid), "MB");

        m_keyboard.focus(title);
        pause(1500);
        measureIdle();

        if (m_options.typing) {
            if (!m_probe.connectTo(port)) {
                std::fprintf(stderr, "no debugging port: the preview is not asked\n");
            }
            // In the middle: the find bar puts the caret at the marker word.
            m_keyboard.key(XK_f, XK_Control_L);
            pause(300);
            for (char c : std::string("zmidpointz"))
                m_keyboard.type(c);
            pause(300);
            m_keyboard.key(XK_Escape);
            pause(200);
            m_keyboard.key(XK_Right);
            waitQuiet(60000);
            typeBurst("middle", "mid");
            m_keyboard.key(XK_End, XK_Control_L);
            waitQuiet(60000);
            typeBurst("end", "end");
            measureIdle();
        }
        return finish(0);
    }

private:
    void report(const char *what, double value, const char *unit) {
        std::printf("%-28s %10.3f %s\n", what, value, unit);
        std::fflush(stdout);
    }

    // Waits until the program's processes, together, used under 3% of a core
    // over half a second; the time that quiet period began, or -1 when it
    // never came.
    qint64 waitQuiet(qint64 timeoutMs, QElapsedTimer *clock = nullptr) {
        QElapsedTimer timer;
        timer.start();
        const long hz = sysconf(_SC_CLK_TCK);
        std::vector<std::pair<qint64, quint64>> samples;
        while (timer.elapsed() < timeoutMs) {
            const std::vector<pid_t> tree = processTree(m_pid);
            samples.emplace_back(clock ? clock->elapsed() : timer.elapsed(), ticks(tree));
            // The first sample at least 500 ms back.
            for (size_t i = samples.size(); i-- > 0;) {
                const qint64 span = samples.back().first - samples[i].first;
                if (span >= 500) {
                    const double used = double(samples.back().second - samples[i].second) / double(hz);
                    if (used / (double(span) / 1000.0) < 0.03)
                        return samples[i].first;
                    break;
                }
            }
            pause(50);
        }
        return -1;
    }

    void measureIdle() {
        const long hz = sysconf(_SC_CLK_TCK);
        const std::vector<pid_t> tree = processTree(m_pid);
        const quint64 main0 = ticks({m_pid}), all0 = ticks(tree);
        QElapsedTimer timer;
        timer.start();
        pause(m_options.idleSeconds * 1000);
        const double seconds = double(timer.elapsed()) / 1000.0;
        report("idle_focused_main", 100.0 * double(ticks({m_pid}) - main0) / double(hz) / seconds, "%core");
        report("idle_focused_all", 100.0 * double(ticks(tree) - all0) / double(hz) / seconds, "%core");
    }

    // Whether the top-level block that holds the caret's anchor holds `text`.
    bool previewHolds(const QString &text) {
        const QString expression = QStringLiteral("(function(){var n=document.getElementById('TZRHTMLSCROLLPOINT');"
                                                  "while(n&&n.parentNode!==document.body)n=n.parentNode;"
                                                  "for(var k=0;n&&k<3;k++,n=n.previousElementSibling)"
                                                  "if(n.textContent.indexOf('%1')>=0)return true;return false;})()")
                                       .arg(text);
        return m_probe.evaluate(expression).toBool();
    }

    void typeBurst(const char *where, const char *prefix) {
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
            m_keyboard.type(c);
            pause(30);
        }
        const qint64 last = clock.elapsed();
        const std::vector<pid_t> tree = processTree(m_pid);
        const quint64 main0 = ticks({m_pid}), all0 = ticks(tree);
        // The preview is asked every 250 ms; between the questions, the
        // processes' CPU says when the program is quiet.
        qint64 shown = -1;
        QElapsedTimer poll;
        poll.start();
        while (shown < 0 && clock.elapsed() - last < 60000) {
            if (previewHolds(tail))
                shown = clock.elapsed();
            else
                pause(250);
        }
        const qint64 quiet = waitQuiet(60000, &clock);
        report((std::string(prefix) + "_preview_shows").c_str(), shown < 0 ? -1 : secondsOf(shown - last), "s");
        report((std::string(prefix) + "_quiet").c_str(), quiet < 0 ? -1 : secondsOf(std::max(quiet, last) - last), "s");
        report((std::string(prefix) + "_rss").c_str(), residentMB(m_pid), "MB");
        // Where the work after the last key was done (up to the end of the
        // quiet period that was waited for).
        const double hz = double(sysconf(_SC_CLK_TCK));
        const quint64 mainUsed = ticks({m_pid}) - main0;
        report((std::string(prefix) + "_cpu_after_main").c_str(), double(mainUsed) / hz, "s");
        // A process of the web engine that ended meanwhile (its page broke
        // and was loaded again) takes its time with it: no figure then.
        const qint64 othersUsed = qint64(ticks(tree)) - qint64(all0) - qint64(mainUsed);
        report((std::string(prefix) + "_cpu_after_others").c_str(), othersUsed < 0 ? -1 : double(othersUsed) / hz,
               "s");
        (void)where;
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
    QTemporaryDir m_dir;
    QProcess m_process;
    pid_t m_pid = 0;
    Keyboard m_keyboard;
    PageProbe m_probe;
};

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    Options options;
    const QStringList arguments = application.arguments();
    for (qsizetype i = 1; i < arguments.size(); i++) {
        const QString &a = arguments[i];
        if (a == "--size" && i + 1 < arguments.size())
            options.sizeMB = arguments[++i].toDouble();
        else if (a == "--idle" && i + 1 < arguments.size())
            options.idleSeconds = arguments[++i].toInt();
        else if (a == "--binary" && i + 1 < arguments.size())
            options.binary = arguments[++i];
        else if (a == "--no-typing")
            options.typing = false;
    }
    Run run(options);
    return run.exec();
}
