// The web engine's start-up flags that the program adds to the user's. The
// program's pages load nothing from the network (WebContentGuard refuses it,
// and their policy forbids connections), but WebRTC makes its connections
// past both; so the engine itself has no way out:
// - WebRTC sends nothing over UDP unless through a proxy that carries UDP,
//   and its TCP goes through the proxy;
// - the proxy, for every address, this machine's too, is a port of this
//   machine that only the system may listen on, and nothing does: every
//   connection the engine would make ends there;
// - the engine's resolver finds no name and no address at all: it never
//   asks the system, so that no name a page chose (a WebRTC server's, a
//   prefetch's, anything's) reaches a name server, where the name alone
//   would carry what the page put into it. Everything a page shows is local
//   and needs no name.
// And no page reads back what it draws into a canvas (the pixels of the
// pictures it shows).
//
// Flags of the user's that would undo these are dropped, read as the engine
// reads them (a switch after one dash or two, quoted or not, white space
// around it), and so is a bare "--", after which the engine would take ours
// for no switches, with what follows it. Call before the
// application object is made: the engine reads its flags once, when it
// starts. Header only, so that every program and test suite can call it
// whether or not it links the web engine.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <unistd.h>

namespace platform {

// The flags as the engine reads them from its variable: separated by spaces,
// and a double quote opens or closes a part in which spaces belong to the
// flag (the quotes themselves are not kept).
inline QStringList splitWebEngineFlags(const QString &text) {
    QStringList flags;
    QString flag;
    bool quoted = false, started = false;
    for (const QChar c : text) {
        if (c == u'"') {
            quoted = !quoted;
            started = true;
        } else if (c == u' ' && !quoted) {
            if (started && !flag.isEmpty())
                flags << flag;
            flag.clear();
            started = false;
        } else {
            flag += c;
            started = true;
        }
    }
    if (!flag.isEmpty())
        flags << flag;
    return flags;
}

// `flags` written back so that the engine reads them as they are.
inline QString joinWebEngineFlags(const QStringList &flags) {
    QStringList written;
    for (const QString &flag : flags)
        written << (flag.contains(u' ') ? u'"' + flag + u'"' : flag);
    return written.join(u' ');
}

// A flag without the white space the engine takes off its ends (ASCII's:
// " \t--flag" sets "flag", as "--flag" does).
inline QStringView trimmedWebEngineFlag(QStringView flag) {
    auto blank = [](QChar c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
    while (!flag.isEmpty() && blank(flag.front()))
        flag = flag.mid(1);
    while (!flag.isEmpty() && blank(flag.back()))
        flag.chop(1);
    return flag;
}

// Whether the engine takes `flag` for the end of its switches: it reads
// every flag after it as no switch at all.
inline bool endsWebEngineSwitches(QStringView flag) {
    return trimmedWebEngineFlag(flag) == u"--";
}

// The switch a flag sets, as the engine reads it: its name after one dash
// or two, up to an "=" ("-proxy-server=x" sets "proxy-server"), with the
// case as written; empty when the flag sets none.
inline QString webEngineSwitchName(QStringView flag) {
    flag = trimmedWebEngineFlag(flag);
    const qsizetype dashes = flag.startsWith(u"--") ? 2 : flag.startsWith(u'-') ? 1 : 0;
    if (dashes == 0 || flag.size() == dashes)
        return QString();
    const qsizetype equals = flag.indexOf(u'=');
    return flag.mid(dashes, equals < 0 ? -1 : equals - dashes).toString();
}

// Whether the engine's flags (QTWEBENGINE_CHROMIUM_FLAGS) set the switch
// `name` (without its dashes), whatever its value.
inline bool hasWebEngineSwitch(QStringView name) {
    for (const QString &flag : splitWebEngineFlags(QString::fromLocal8Bit(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS")))) {
        if (endsWebEngineSwitches(flag))
            return false;
        if (webEngineSwitchName(flag) == name)
            return true;
    }
    return false;
}

inline void hardenWebEngineFlags() {
    static const QStringList ours = {
        QStringLiteral("--disable-reading-from-canvas"),
        QStringLiteral("--force-webrtc-ip-handling-policy=disable_non_proxied_udp"),
        QStringLiteral("--proxy-server=127.0.0.1:9"),
        QStringLiteral("--proxy-bypass-list=<-loopback>"),
        QStringLiteral("--host-resolver-rules=MAP * ~NOTFOUND"),
    };
    // The switches that would undo ours, besides ours themselves.
    static const QStringList undoing = {
        QStringLiteral("no-proxy-server"),        QStringLiteral("proxy-server"),
        QStringLiteral("proxy-pac-url"),          QStringLiteral("proxy-auto-detect"),
        QStringLiteral("proxy-bypass-list"),      QStringLiteral("force-webrtc-ip-handling-policy"),
        QStringLiteral("winhttp-proxy-resolver"), QStringLiteral("host-resolver-rules"),
        QStringLiteral("disable-reading-from-canvas"),
    };
    QStringList flags;
    for (const QString &flag : splitWebEngineFlags(QString::fromLocal8Bit(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS")))) {
        // Ours come after the user's, where an end of the switches would
        // make them none; what follows such an end sets nothing anyway.
        if (endsWebEngineSwitches(flag))
            break;
        if (!undoing.contains(webEngineSwitchName(flag)))
            flags << flag;
    }
    flags << ours;
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", joinWebEngineFlags(flags).toLocal8Bit());
}

// Whether the user turned the web engine's sandbox off: the variable
// QTWEBENGINE_DISABLE_SANDBOX is set (to anything, as the engine reads it),
// or the flags set "no-sandbox".
inline bool webEngineSandboxTurnedOff() {
    return qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") || hasWebEngineSwitch(u"no-sandbox");
}

// The engine's sandbox cannot confine the superuser's processes, and the
// engine, asked to start with it as root, ends the whole program on the
// spot (exit status 1, no window, one line of its own). Run as root, the
// program starts the engine without its sandbox, adding "--no-sandbox" to
// the flags; its pages still have no way out (above). Returns whether it
// turned the sandbox off here, so that the program can say so: false for
// other users and when the sandbox was off already. Call before the
// application object is made.
inline bool turnOffWebEngineSandboxForRoot() {
    if ((::getuid() != 0 && ::geteuid() != 0) || webEngineSandboxTurnedOff())
        return false;
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").trimmed();
    if (!flags.isEmpty())
        flags += ' ';
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + QByteArrayLiteral("--no-sandbox"));
    return true;
}

// Whether the web engine draws without the graphics processor (the user's
// flags set "disable-gpu").
inline bool webEngineDrawsWithoutGpu() {
    return hasWebEngineSwitch(u"disable-gpu");
}

// Without the graphics processor the engine's pages arrive as pictures:
// composing windows with OpenGL then adds nothing but a copy of every frame
// and, where OpenGL itself is software, the composition of the whole window
// for every blink of the caret (2-3% of a core with a large document open,
// against under 0.5% drawn in software). Such windows are drawn in software,
// unless the user chose how Qt Quick draws. Call before the application
// object is made.
inline void drawWindowsInSoftwareWithoutGpu() {
    if (webEngineDrawsWithoutGpu() && qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
}

}  // namespace platform
