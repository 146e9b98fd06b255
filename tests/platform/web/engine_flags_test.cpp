// The start-up choices made from the web engine's flags: windows drawn in
// software when the engine draws without the graphics processor, unless the
// user chose how Qt Quick draws.
#include "platform/web/engine_flags.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

// Sets an environment variable for the test's length (unset for none).
class ScopedVariable {
public:
    ScopedVariable(const char *name, std::optional<QByteArray> value)
        : m_name(name), m_old(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt) {
        set(value);
    }
    ~ScopedVariable() { set(m_old); }

private:
    void set(const std::optional<QByteArray> &value) {
        if (value)
            qputenv(m_name, *value);
        else
            qunsetenv(m_name);
    }
    const char *m_name;
    std::optional<QByteArray> m_old;
};

std::optional<QByteArray> backendAfterStartWith(std::optional<QByteArray> flags, std::optional<QByteArray> chosen) {
    ScopedVariable engine("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    ScopedVariable quick("QT_QUICK_BACKEND", chosen);
    platform::drawWindowsInSoftwareWithoutGpu();
    return qEnvironmentVariableIsSet("QT_QUICK_BACKEND") ? std::optional(qgetenv("QT_QUICK_BACKEND")) : std::nullopt;
}

}  // namespace

TEST(EngineFlags, WindowsAreDrawnInSoftwareOnlyWhenTheEngineHasNoGraphicsProcessor) {
    EXPECT_EQ(backendAfterStartWith("--no-sandbox --disable-gpu", std::nullopt), QByteArray("software"));
    EXPECT_EQ(backendAfterStartWith("--disable-gpu", QByteArray()), QByteArray("software"));
    // The user's choice stands.
    EXPECT_EQ(backendAfterStartWith("--disable-gpu", QByteArray("opengl")), QByteArray("opengl"));
    // With the graphics processor, or only its compositing turned off, Qt
    // draws as it would.
    EXPECT_EQ(backendAfterStartWith(std::nullopt, std::nullopt), std::nullopt);
    EXPECT_EQ(backendAfterStartWith("--disable-gpu-compositing", std::nullopt), std::nullopt);
    EXPECT_EQ(backendAfterStartWith("--no-sandbox", std::nullopt), std::nullopt);
    // Read as the engine reads its flags: one dash, a value, quotes.
    EXPECT_EQ(backendAfterStartWith("-disable-gpu", std::nullopt), QByteArray("software"));
    EXPECT_EQ(backendAfterStartWith("\"--disable-gpu=1\"", std::nullopt), QByteArray("software"));
    EXPECT_EQ(backendAfterStartWith("-- --disable-gpu", std::nullopt), std::nullopt);
}

// The engine starts with no way out, no name it may look up and no canvas
// read back, whatever the user's flags said; the user's other flags stay
// (a quoted one with its spaces), and starting twice adds nothing.
TEST(EngineFlags, TheEngineStartsWithNoWayOutWhateverTheUsersFlags) {
    auto hardened = [](std::optional<QByteArray> flags) {
        ScopedVariable engine("QTWEBENGINE_CHROMIUM_FLAGS", flags);
        platform::hardenWebEngineFlags();
        const QString once = QString::fromLocal8Bit(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"));
        platform::hardenWebEngineFlags();
        EXPECT_EQ(QString::fromLocal8Bit(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS")), once);
        return platform::splitWebEngineFlags(once);
    };
    const QStringList ours = {"--disable-reading-from-canvas",
                              "--force-webrtc-ip-handling-policy=disable_non_proxied_udp", "--proxy-server=127.0.0.1:9",
                              "--proxy-bypass-list=<-loopback>", "--host-resolver-rules=MAP * ~NOTFOUND"};
    EXPECT_EQ(hardened(std::nullopt), ours);
    EXPECT_EQ(hardened("--no-sandbox  --disable-gpu"), QStringList({"--no-sandbox", "--disable-gpu"}) + ours);
    EXPECT_EQ(hardened("--no-proxy-server --proxy-server=http://proxy:3128 --proxy-pac-url=http://x/p.pac "
                       "--proxy-auto-detect --proxy-bypass-list=* --force-webrtc-ip-handling-policy=default "
                       "--winhttp-proxy-resolver --lang=de"),
              QStringList({"--lang=de"}) + ours);
    // Rules of the user's own for the resolver go, whole, quoted or not; a
    // quoted flag that does nothing of the kind keeps its spaces.
    EXPECT_EQ(hardened("--host-resolver-rules=\"MAP * 127.0.0.1, EXCLUDE localhost\" --user-agent=\"An Agent/1.0\" "
                       "--host-resolver-rules=MAP"),
              QStringList({"--user-agent=An Agent/1.0"}) + ours);
    // The engine takes a switch after one dash as after two, and off the
    // white space around it; a bare "--" ends its switches, so that ours
    // after it would be none: it goes, with what follows it (which set
    // nothing).
    EXPECT_EQ(hardened("-no-proxy-server -proxy-server=http://proxy:3128 \" -host-resolver-rules=MAP * 10.0.0.1\" "
                       "\"\t--proxy-pac-url=http://x/p.pac\" -lang=de"),
              QStringList({"-lang=de"}) + ours);
    EXPECT_EQ(hardened("--lang=de -- --no-proxy-server"), QStringList({"--lang=de"}) + ours);
}

// The flags read back as the engine reads them: a space inside quotes
// belongs to its flag, the quotes go.
TEST(EngineFlags, QuotedFlagsReadAsTheEngineReadsThem) {
    EXPECT_EQ(platform::splitWebEngineFlags("  --a  \"--b=c d\" --e=\"f g\"h \"\" "),
              QStringList({"--a", "--b=c d", "--e=f gh"}));
    const QStringList flags = {"--a", "--b=c d", "--rules=MAP * ~NOTFOUND"};
    EXPECT_EQ(platform::splitWebEngineFlags(platform::joinWebEngineFlags(flags)), flags);
    // The sandbox turned off by the user, in any form the engine takes.
    for (const char *off : {"--no-sandbox", "-no-sandbox", "--lang=de \"-no-sandbox\""}) {
        ScopedVariable engine("QTWEBENGINE_CHROMIUM_FLAGS", QByteArray(off));
        EXPECT_TRUE(platform::webEngineSandboxTurnedOff()) << off;
    }
    for (const char *on : {"--lang=de", "-- --no-sandbox", "no-sandbox"}) {
        ScopedVariable engine("QTWEBENGINE_CHROMIUM_FLAGS", QByteArray(on));
        EXPECT_FALSE(platform::webEngineSandboxTurnedOff()) << on;
    }
}
