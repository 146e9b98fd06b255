// Speech: text read aloud by the system's speech engine, through Qt's text
// to speech (Flite where nothing else is installed: it speaks offline).
//
// The service is Unavailable when no engine is installed, when the engine
// cannot start, or once it failed to speak (no audio device, for one): then
// nothing is said, the commands that would speak are disabled, and the
// failure is told to the user once, with the engine's reason. Otherwise it
// is Ready, or Speaking from startSpeaking() until the text is read or
// stopSpeaking() stops it.
//
// One service serves the program, as one voice speaks at a time (shared(),
// made on first use); tests make their own with a named engine. Main thread
// only.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QTextToSpeech;

namespace platform {

class SpeechService : public QObject {
    Q_OBJECT
public:
    enum class State { Unavailable, Ready, Speaking };
    Q_ENUM(State)

    // Speaks through `engine` ("flite"), or through Qt's first engine when
    // it is empty.
    explicit SpeechService(const QString &engine = QString(), QObject *parent = nullptr);
    ~SpeechService() override;

    static SpeechService &shared();

    State state() const { return m_state; }
    bool canStartSpeaking() const { return m_state == State::Ready; }
    bool canStopSpeaking() const { return m_state == State::Speaking; }
    // Why the service is Unavailable; empty otherwise.
    QString errorString() const { return m_error; }
    // The engine speaking ("flite"); empty when none.
    QString engineName() const;

    // Starts reading `text` aloud; false when the service is not Ready or
    // the text holds nothing to say.
    bool startSpeaking(const QString &text);
    void stopSpeaking();

signals:
    void stateChanged(State state);

private:
    void engineStateChanged();
    void fail(const QString &reason);
    void setState(State state);

    // How long a quiet engine is kept before it goes (see the destructor).
    static constexpr int kEngineRest = 2000;

    std::unique_ptr<QTextToSpeech> m_speech;
    State m_state = State::Unavailable;
    QString m_error;
    bool m_spoke = false;
};

}  // namespace platform
