// The speech service with the real Flite engine (qt6-speech-flite-plugin).
// Flite speaks through PulseAudio: a private PulseAudio server with a sink
// that plays to nothing stands in for a sound card, so that the service's
// states (ready, speaking, stopped, finished) are those of real speech;
// without any server the engine fails, and the service must then say so and
// offer nothing. The sound system keeps its first connection for the life
// of a process, so the case without a server runs in a process of its own.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "platform/runtime/alerts.h"
#include "platform/services/speech/speech_service.h"

using platform::SpeechService;
using State = platform::SpeechService::State;

namespace {

bool waitFor(const std::function<bool()> &done, int milliseconds = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

// A PulseAudio server of the test's own, with a null sink, ended by its
// process when the test ends.
class NullSoundServer {
public:
    NullSoundServer() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (program.isEmpty())
            return;
        m_socket = m_dir.filePath(QStringLiteral("native"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        environment.insert(QStringLiteral("HOME"), m_dir.path());
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program,
                        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                         QStringLiteral("--disable-shm=yes"), QStringLiteral("--use-pid-file=no"), QStringLiteral("-L"),
                         QStringLiteral("module-null-sink"), QStringLiteral("-L"),
                         QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + m_socket});
        waitFor([this] { return QFileInfo::exists(m_socket) || m_process.state() == QProcess::NotRunning; });
    }
    ~NullSoundServer() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }
    bool running() const { return m_process.state() == QProcess::Running && QFileInfo::exists(m_socket); }
    QString address() const { return QStringLiteral("unix:") + m_socket; }
    QString output() { return QString::fromLocal8Bit(m_process.readAll()); }

private:
    // The module's arguments take no spaces in a path.
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/orvane-sound-XXXXXX")};
    QString m_socket;
    QProcess m_process;
};

const QString kSentence =
    QStringLiteral("The quick brown fox jumps over the lazy dog, and then it runs a long way home across the fields.");

}  // namespace

TEST(SpeechService, ReadyThenSpeakingUntilStoppedOrDone) {
    NullSoundServer server;
    ASSERT_TRUE(server.running()) << "pulseaudio did not start: " << server.output().toStdString();
    qputenv("PULSE_SERVER", server.address().toUtf8());
    platform::ScriptedAlerts alerts;

    SpeechService speech(QStringLiteral("flite"));
    ASSERT_EQ(speech.state(), State::Ready) << speech.errorString().toStdString();
    EXPECT_EQ(speech.engineName(), QStringLiteral("flite"));
    EXPECT_TRUE(speech.canStartSpeaking());
    EXPECT_FALSE(speech.canStopSpeaking());
    // Nothing to say is not said.
    EXPECT_FALSE(speech.startSpeaking(QStringLiteral("  \n")));
    EXPECT_EQ(speech.state(), State::Ready);

    QList<State> changes;
    QObject::connect(&speech, &SpeechService::stateChanged, [&changes](State state) { changes.append(state); });
    ASSERT_TRUE(speech.startSpeaking(kSentence));
    ASSERT_TRUE(waitFor([&] { return speech.state() == State::Speaking; })) << speech.errorString().toStdString();
    EXPECT_FALSE(speech.canStartSpeaking());
    EXPECT_TRUE(speech.canStopSpeaking());
    EXPECT_FALSE(speech.startSpeaking(kSentence));

    speech.stopSpeaking();
    ASSERT_TRUE(waitFor([&] { return speech.state() == State::Ready; }));
    EXPECT_TRUE(speech.canStartSpeaking());
    ASSERT_GE(changes.count(), 2);
    EXPECT_EQ(changes.first(), State::Speaking);
    EXPECT_EQ(changes.last(), State::Ready);

    // A short text ends by itself: it may be spoken and over between two
    // looks at the state, so what the service said on the way is read.
    changes.clear();
    ASSERT_TRUE(speech.startSpeaking(QStringLiteral("Hello.")));
    ASSERT_TRUE(waitFor([&] { return changes.contains(State::Speaking) && speech.state() == State::Ready; }, 20000));
    EXPECT_EQ(changes.last(), State::Ready);
    EXPECT_EQ(alerts.count(), 0);
    qunsetenv("PULSE_SERVER");
}

TEST(SpeechService, AnEngineThatIsNotInstalledOffersNothing) {
    SpeechService speech(QStringLiteral("no-such-engine"));
    EXPECT_EQ(speech.state(), State::Unavailable);
    EXPECT_FALSE(speech.canStartSpeaking());
    EXPECT_FALSE(speech.canStopSpeaking());
    EXPECT_TRUE(speech.errorString().contains(QStringLiteral("no-such-engine")));
    EXPECT_FALSE(speech.startSpeaking(kSentence));
    EXPECT_TRUE(speech.engineName().isEmpty());
}

// Without a sound server the engine fails as it starts to speak: the user
// is told once, and the service stays unavailable.
TEST(SpeechService, WithoutAnAudioDeviceItSaysSoAndOffersNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            qputenv("PULSE_SERVER", "unix:/nonexistent/orvane-test-no-sound");
            platform::ScriptedAlerts alerts;
            SpeechService speech(QStringLiteral("flite"));
            bool ok = speech.state() == State::Ready;
            speech.startSpeaking(kSentence);
            ok = ok && waitFor([&] { return speech.state() == State::Unavailable; });
            ok = ok && !speech.canStartSpeaking() && !speech.canStopSpeaking() && !speech.errorString().isEmpty();
            ok = ok && !speech.startSpeaking(kSentence);
            ok = ok && alerts.count() == 1 &&
                 alerts.shown().first().messageText == QStringLiteral("Speech is not available");
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
