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
}

// The engine starts with no way out and no canvas read back, whatever the
// user's flags said; the user's other flags stay, and starting twice adds
// nothing.
TEST(EngineFlags, TheEngineStartsWithNoWayOutWhateverTheUsersFlags) {
    auto hardened = [](std::optional<QByteArray> flags) {
        ScopedVariable engine("QTWEBENGINE_CHROMIUM_FLAGS", flags);
        platform::hardenWebEngineFlags();
        QByteArrayList result = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").split(' ');
        platform::hardenWebEngineFlags();
        EXPECT_EQ(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").split(' '), result);
        return result;
    };
    const QByteArrayList ours = {"--disable-reading-from-canvas",
                                 "--force-webrtc-ip-handling-policy=disable_non_proxied_udp",
                                 "--proxy-server=127.0.0.1:9", "--proxy-bypass-list=<-loopback>"};
    EXPECT_EQ(hardened(std::nullopt), ours);
    EXPECT_EQ(hardened("--no-sandbox  --disable-gpu"), QByteArrayList({"--no-sandbox", "--disable-gpu"}) + ours);
    EXPECT_EQ(hardened("--no-proxy-server --proxy-server=http://proxy:3128 --proxy-pac-url=http://x/p.pac "
                       "--proxy-auto-detect --proxy-bypass-list=* --force-webrtc-ip-handling-policy=default "
                       "--winhttp-proxy-resolver --lang=de"),
              QByteArrayList({"--lang=de"}) + ours);
}
