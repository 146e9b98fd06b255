// What the benchmarks that run the program itself share: the real binary on
// an X display (under a window manager), keys typed through the X server's
// test extension, the program's processes and what they cost read from
// /proc, and the corpus of real Markdown gathered from /usr/share/doc by
// bench/gather-corpus. Needs ORVANE_SOURCE_DIR defined as the source tree.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace benchsupport {

// The corpus at `path`, gathered there first when it is missing.
inline QByteArray readCorpus(const QString &path) {
    if (!QFileInfo::exists(path)) {
        const int status = QProcess::execute(QStringLiteral(ORVANE_SOURCE_DIR "/bench/gather-corpus"), {path});
        if (status != 0)
            return {};
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// --- Processes -------------------------------------------------------------------------

inline QByteArray readProc(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline pid_t parentOf(pid_t pid) {
    const QByteArray line = readProc(QStringLiteral("/proc/%1/stat").arg(pid));
    // The command name may hold blanks; the fields follow its ")".
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return 0;
    return pid_t(line.mid(close + 2).split(' ').value(1).toLong());
}

// The process and all its descendants (the web engine's zygote and the page
// processes it forks among them).
inline std::vector<pid_t> processTree(pid_t root) {
    std::vector<std::pair<pid_t, pid_t>> all;  // (pid, parent)
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const pid_t pid = pid_t(entry.toLong(&number));
        if (number)
            all.emplace_back(pid, parentOf(pid));
    }
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); i++)
        for (const auto &[pid, parent] : all)
            if (parent == tree[i])
                tree.push_back(pid);
    return tree;
}

// Run time of every thread of the processes, in nanoseconds, by thread: the
// scheduler's own count, exact where the processes' tick counts move in steps
// of 10 ms, and by thread so that a thread that ends takes no time away.
using CpuSample = std::map<pid_t, quint64>;

inline CpuSample cpuOf(const std::vector<pid_t> &pids) {
    CpuSample sample;
    for (pid_t pid : pids) {
        const QString folder = QStringLiteral("/proc/%1/task").arg(pid);
        for (const QString &task : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QByteArray line = readProc(folder + '/' + task + QStringLiteral("/schedstat"));
            if (!line.isEmpty())
                sample[pid_t(task.toLong())] = line.split(' ').value(0).toULongLong();
        }
    }
    return sample;
}

// Seconds of CPU used from `before` to `after`.
inline double usedBetween(const CpuSample &before, const CpuSample &after) {
    quint64 sum = 0;
    for (const auto &[task, ns] : after) {
        const auto was = before.find(task);
        const quint64 from = was == before.end() ? 0 : was->second;
        if (ns > from)
            sum += ns - from;
    }
    return double(sum) / 1e9;
}

// A figure of /proc/PID/status or smaps_rollup, in MB.
inline double memoryField(pid_t pid, const char *file, const QByteArray &field) {
    for (const QByteArray &line : readProc(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file))).split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

inline double residentMB(pid_t pid) { return memoryField(pid, "status", "VmRSS:"); }
inline double proportionalMB(pid_t pid) { return memoryField(pid, "smaps_rollup", "Pss:"); }

// The web engine's process that holds the preview's page: of the processes
// its zygote forks (they keep the zygote's command line), the one with the
// most memory, as a spare one may wait beside it.
inline pid_t pageProcess(const std::vector<pid_t> &tree) {
    auto isZygote = [](pid_t pid) {
        return readProc(QStringLiteral("/proc/%1/cmdline").arg(pid)).contains("--type=zygote");
    };
    pid_t page = 0;
    for (pid_t pid : tree)
        if (isZygote(pid) && isZygote(parentOf(pid)) && (!page || residentMB(pid) > residentMB(page)))
            page = pid;
    return page;
}

inline double secondsOf(qint64 ms) { return double(ms) / 1000.0; }

inline void pause(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

// --- The X display ----------------------------------------------------------------------

// Windows come and go while they are asked about: an error for one that just
// went is no reason to end.
inline int ignoreXError(Display *, XErrorEvent *) { return 0; }

class Desk {
public:
    Desk() : m_display(XOpenDisplay(nullptr)) { XSetErrorHandler(ignoreXError); }
    ~Desk() {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool ok() const {
        int event = 0, error = 0, major = 0, minor = 0;
        return m_display && XTestQueryExtension(m_display, &event, &error, &major, &minor);
    }

    bool hasWindowManager() {
        return !itemsOf(DefaultRootWindow(m_display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
    }

    // The dialogs the window manager manages, the topmost last.
    std::vector<Window> dialogs() {
        const Atom dialog = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
        std::vector<Window> found;
        for (Window window : itemsOf(DefaultRootWindow(m_display), "_NET_CLIENT_LIST_STACKING", XA_WINDOW))
            for (Atom type : itemsOf(window, "_NET_WM_WINDOW_TYPE", XA_ATOM))
                if (type == dialog)
                    found.push_back(window);
        return found;
    }

    // The viewable window titled with `title`, or none.
    Window find(const std::string &title) { return findBelow(DefaultRootWindow(m_display), title); }

    // Asks the window manager to give `window` the focus, as a click would.
    void activate(Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;  // from a pager: the manager obeys at once
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, DefaultRootWindow(m_display), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
        XSync(m_display, False);
    }

    // Whether the input focus is on `window` or a window inside it.
    bool hasFocus(Window window) {
        Window focused = None;
        int revert = 0;
        XGetInputFocus(m_display, &focused, &revert);
        while (focused != None && focused != PointerRoot) {
            if (focused == window)
                return true;
            Window root = None, up = None, *children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(m_display, focused, &root, &up, &children, &count))
                return false;
            if (children)
                XFree(children);
            if (up == root)
                return false;
            focused = up;
        }
        return false;
    }

    bool focus(const std::string &title) {
        const Window window = find(title);
        if (window == None)
            return false;
        activate(window);
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

    // The width and height of `window`.
    std::pair<int, int> size(Window window) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(m_display, window, &attributes))
            return {0, 0};
        return {attributes.width, attributes.height};
    }

    // The pixels of a rectangle of `window`, row by row; none when the
    // window went or the rectangle is not on it.
    std::vector<quint32> pixels(Window window, int x, int y, int width, int height) {
        std::vector<quint32> found;
        XImage *image = XGetImage(m_display, window, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        if (!image)
            return found;
        found.reserve(size_t(width) * size_t(height));
        for (int row = 0; row < height; row++)
            for (int column = 0; column < width; column++)
                found.push_back(quint32(XGetPixel(image, column, row)));
        XDestroyImage(image);
        return found;
    }

private:
    // A property that lists windows or atoms (both 32-bit items).
    std::vector<unsigned long> itemsOf(Window window, const char *property, Atom kind) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        std::vector<unsigned long> windows;
        if (XGetWindowProperty(m_display, window, XInternAtom(m_display, property, False), 0, 4096, False, kind, &type,
                               &format, &count, &after, &data) == Success &&
            data) {
            if (format == 32)
                for (unsigned long i = 0; i < count; i++)
                    windows.push_back(reinterpret_cast<unsigned long *>(data)[i]);
            XFree(data);
        }
        return windows;
    }

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

// The value at `share` (0 to 1) of `values` sorted, or -1 when there are none.
inline double percentile(std::vector<double> values, double share) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(double(values.size()) * share))];
}

// --- The window's pixels -----------------------------------------------------------------

struct Band {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Band &) const = default;
};

// How many columns of `band` changed from `before` to `after` (a blinking
// caret changes one or two), and the rows they changed in.
inline int changedColumns(const std::vector<quint32> &before, const std::vector<quint32> &after, const Band &band,
                          int *top, int *bottom) {
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

// The editor's text column of the program's window, watched through its
// pixels: whether it shows text, when it is still, and when a key typed
// shows in it.
class TextColumn {
public:
    TextColumn(Desk &desk, std::string title) : m_desk(desk), m_title(std::move(title)) {}

    // The program's window, found again when it went: the program may make
    // its window anew as the preview comes.
    Window current(Window window) {
        if (m_desk.size(window).first > 0)
            return window;
        const Window found = m_desk.find(m_title);
        return found == None ? window : found;
    }

    // The text column: the window's left part below the menu bar and above
    // the editor's information bar, as the window stands now (the window
    // manager may size it after it first shows).
    Band column(Window window) {
        const auto [width, height] = m_desk.size(window);
        return Band{0, 40, width * 45 / 100, std::max(1, height - 76)};
    }

    // Whether the column shows text: more colours than a window not yet
    // painted, or painted with its background alone, holds (antialiased
    // letters bring many).
    bool showsText(Window window) {
        window = current(window);
        const Band band = column(window);
        const std::vector<quint32> pixels = m_desk.pixels(window, band.x, band.y, band.width, band.height);
        std::vector<quint32> colours;
        for (size_t i = 0; i < pixels.size(); i += 7)
            colours.push_back(pixels[i]);
        std::sort(colours.begin(), colours.end());
        return std::unique(colours.begin(), colours.end()) - colours.begin() >= 8;
    }

    // Waits until the column's pixels stayed the same for `stillMs`, or for
    // `timeoutMs` at most.
    void waitStill(Window window, int stillMs, int timeoutMs) {
        window = current(window);
        const Band band = column(window);
        QElapsedTimer clock, still;
        clock.start();
        still.start();
        std::vector<quint32> last = m_desk.pixels(window, band.x, band.y, band.width, band.height);
        while (still.elapsed() < stillMs && clock.elapsed() < timeoutMs) {
            pause(20);
            std::vector<quint32> now = m_desk.pixels(window, band.x, band.y, band.width, band.height);
            if (now != last) {
                last = std::move(now);
                still.restart();
            }
        }
    }

    // Types `c` and waits for the column's pixels around the caret to show
    // it: the milliseconds from the key to the change, or -1. The next key
    // is looked for around this one's change; after a key that moved no
    // letter into place (a space), forget() looks at the whole column again.
    double keyShown(Window window, char c, int timeoutMs) {
        window = current(window);
        const Band whole = column(window);
        if (whole != m_column)
            m_column = m_band = whole;
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

    void forget() { m_band = m_column; }

private:
    Desk &m_desk;
    std::string m_title;
    Band m_column, m_band;
};

// Readies `process` to run the program for a user of its own: its
// preferences (the JSON object `preferences`) and data in `folder`, which is
// also where it runs, on the display rather than offscreen.
inline void runAsNewUser(QProcess &process, const QString &folder, const QByteArray &preferences) {
    const QDir dir(folder);
    QDir().mkpath(dir.filePath("config/Tessaro/Orvane"));
    QFile prefs(dir.filePath("config/Tessaro/Orvane/preferences.json"));
    if (prefs.open(QIODevice::WriteOnly))
        prefs.write(preferences);
    prefs.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    environment.insert("XDG_DATA_HOME", dir.filePath("data"));
    // A runtime folder of its own: the program hands the files it is started
    // on to an Orvane that already runs for the same runtime folder.
    QDir().mkpath(dir.filePath("runtime"));
    QFile::setPermissions(dir.filePath("runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    environment.insert("XDG_RUNTIME_DIR", dir.filePath("runtime"));
    environment.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

// Starts openbox when no window manager runs on the display; false when
// none runs and none could be started.
inline bool startWindowManager(Desk &desk, QProcess &windowManager) {
    if (desk.hasWindowManager())
        return true;
    const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    if (openbox.isEmpty()) {
        std::fprintf(stderr, "no window manager runs and openbox is not installed\n");
        return false;
    }
    windowManager.start(openbox, {});
    QElapsedTimer timer;
    timer.start();
    while (!desk.hasWindowManager()) {
        if (timer.elapsed() > 10000 || windowManager.state() == QProcess::NotRunning) {
            std::fprintf(stderr, "openbox did not start\n");
            return false;
        }
        pause(20);
    }
    return true;
}

// Watches the processes of `pid` for a second in which they, together,
// used under 2% of a core: each sample() reads their CPU, and says when the
// first such second began (on `clock`, else since the watch began), or -1
// while none has come.
class QuietWatch {
public:
    explicit QuietWatch(pid_t pid, QElapsedTimer *clock = nullptr) : m_pid(pid), m_clock(clock) { m_timer.start(); }

    qint64 sample() {
        m_samples.emplace_back(m_clock ? m_clock->elapsed() : m_timer.elapsed(), cpuOf(processTree(m_pid)));
        // The first sample at least a second back.
        for (size_t i = m_samples.size(); i-- > 0;) {
            const qint64 span = m_samples.back().first - m_samples[i].first;
            if (span >= 1000) {
                if (usedBetween(m_samples[i].second, m_samples.back().second) / (double(span) / 1000.0) < 0.02)
                    return m_samples[i].first;
                m_samples.erase(m_samples.begin(), m_samples.begin() + qsizetype(i));
                break;
            }
        }
        return -1;
    }

private:
    pid_t m_pid;
    QElapsedTimer *m_clock;
    QElapsedTimer m_timer;
    std::vector<std::pair<qint64, CpuSample>> m_samples;
};

// Waits until the processes of `pid`, together, used under 2% of a core
// over a second; the time that quiet second began (on `clock`, else since
// the wait began), or -1 when it never came. With `timeline`, the main
// process's memory and CPU every five seconds meanwhile.
inline qint64 waitQuiet(pid_t pid, qint64 timeoutMs, QElapsedTimer *clock = nullptr, bool timeline = false) {
    QElapsedTimer timer;
    timer.start();
    QuietWatch watch(pid, clock);
    qint64 lineAt = 0;
    CpuSample lineCpu = cpuOf({pid});
    while (timer.elapsed() < timeoutMs) {
        if (timeline && timer.elapsed() - lineAt >= 5000) {
            const CpuSample now = cpuOf({pid});
            const double seconds = double(timer.elapsed() - lineAt) / 1000.0;
            std::printf("timeline %7.1f s  main %7.0f MB  %5.0f %%core\n",
                        double(clock ? clock->elapsed() : timer.elapsed()) / 1000.0, residentMB(pid),
                        100.0 * usedBetween(lineCpu, now) / seconds);
            std::fflush(stdout);
            lineAt = timer.elapsed();
            lineCpu = now;
        }
        if (const qint64 quiet = watch.sample(); quiet >= 0)
            return quiet;
        pause(50);
    }
    return -1;
}

}  // namespace benchsupport
