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

// Waits until the processes of `pid`, together, used under 2% of a core
// over a second; the time that quiet second began (on `clock`, else since
// the wait began), or -1 when it never came. With `timeline`, the main
// process's memory and CPU every five seconds meanwhile.
inline qint64 waitQuiet(pid_t pid, qint64 timeoutMs, QElapsedTimer *clock = nullptr, bool timeline = false) {
    QElapsedTimer timer;
    timer.start();
    std::vector<std::pair<qint64, CpuSample>> samples;
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
        samples.emplace_back(clock ? clock->elapsed() : timer.elapsed(), cpuOf(processTree(pid)));
        // The first sample at least a second back.
        for (size_t i = samples.size(); i-- > 0;) {
            const qint64 span = samples.back().first - samples[i].first;
            if (span >= 1000) {
                if (usedBetween(samples[i].second, samples.back().second) / (double(span) / 1000.0) < 0.02)
                    return samples[i].first;
                samples.erase(samples.begin(), samples.begin() + qsizetype(i));
                break;
            }
        }
        pause(50);
    }
    return -1;
}

}  // namespace benchsupport
