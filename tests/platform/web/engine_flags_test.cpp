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
