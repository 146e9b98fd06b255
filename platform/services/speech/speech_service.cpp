#include "platform/services/speech/speech_service.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTextToSpeech>
#include <QTimer>

#include "platform/runtime/alerts.h"
#include "platform/runtime/log.h"

namespace platform {

SpeechService::SpeechService(const QString &engine, QObject *parent) : QObject(parent) {
    const QStringList engines = QTextToSpeech::availableEngines();
    if (engines.isEmpty()) {
        m_error = QStringLiteral("No speech engine is installed.");
        return;
    }
    if (!engine.isEmpty() && !engines.contains(engine)) {
        m_error = QStringLiteral("The speech engine \"%1\" is not installed.").arg(engine);
        return;
    }
    m_speech = std::make_unique<QTextToSpeech>(engine.isEmpty() ? engines.first() : engine);
    connect(m_speech.get(), &QTextToSpeech::stateChanged, this, [this] { engineStateChanged(); });
    if (m_speech->state() == QTextToSpeech::Error) {
        m_error = m_speech->errorString();
        m_speech.reset();
        qCWarning(lcPlatform, "Speech engine could not start: %s", qUtf8Printable(m_error));
        return;
    }
    m_state = State::Ready;
}

// Flite synthesizes on a thread of its own, which can still be at work after
// the engine said it stopped or failed, and its plugin crashes when the
// engine goes while that thread is writing sound. So a busy engine is stopped
// and goes only once it is quiet, a while after its last word; an engine that
// never settles goes with the application.
SpeechService::~SpeechService() {
    if (!m_speech)
        return;
    m_speech->disconnect(this);
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || !m_spoke)
        return;
    QTextToSpeech *engine = m_speech.release();
    engine->setParent(application);
    const auto retire = [engine] { QTimer::singleShot(kEngineRest, engine, &QObject::deleteLater); };
    if (engine->state() == QTextToSpeech::Ready) {
        retire();
        return;
    }
    connect(engine, &QTextToSpeech::stateChanged, engine, [retire](QTextToSpeech::State state) {
        if (state == QTextToSpeech::Ready)
            retire();
    });
    engine->stop();
}

// The engine's plugin must go while the application still exists: the
// service is the application's child.
SpeechService &SpeechService::shared() {
    static QPointer<SpeechService> service;
    if (!service)
        service = new SpeechService(QString(), QCoreApplication::instance());
    return *service;
}

QString SpeechService::engineName() const { return m_speech ? m_speech->engine() : QString(); }

bool SpeechService::startSpeaking(const QString &text) {
    if (m_state != State::Ready || text.trimmed().isEmpty())
        return false;
    m_spoke = true;
    m_speech->say(text);
    // An engine that fails at once has told of it already.
    if (m_state == State::Ready && m_speech && m_speech->state() == QTextToSpeech::Speaking)
        setState(State::Speaking);
    return m_state != State::Unavailable;
}

void SpeechService::stopSpeaking() {
    if (m_state != State::Speaking)
        return;
    m_speech->stop();
    if (m_state == State::Speaking && m_speech->state() != QTextToSpeech::Speaking)
        setState(State::Ready);
}

void SpeechService::engineStateChanged() {
    if (m_state == State::Unavailable)
        return;
    switch (m_speech->state()) {
    case QTextToSpeech::Error:
        // The sound system ends some utterances with an error (an underrun
        // as the last samples drain, or as a loaded machine synthesizes
        // slower than it plays): speech that began is still going until the
        // engine says it is Ready, as it does once its sound has stopped. An
        // engine that never began cannot speak.
        if (m_state == State::Speaking)
            qCDebug(lcPlatform, "Speech went on after: %s", qUtf8Printable(m_speech->errorString()));
        else
            fail(m_speech->errorString());
        break;
    case QTextToSpeech::Speaking:
    case QTextToSpeech::Paused:
        setState(State::Speaking);
        break;
    case QTextToSpeech::Ready:
        setState(State::Ready);
        break;
    }
}

// A failure is final for the service: an engine without an audio device,
// say, fails every time, and commands that say nothing must not be offered.
void SpeechService::fail(const QString &reason) {
    if (m_state == State::Unavailable)
        return;
    m_error = reason.isEmpty() ? QStringLiteral("The speech engine failed.") : reason;
    qCWarning(lcPlatform, "Speech failed: %s", qUtf8Printable(m_error));
    setState(State::Unavailable);
    Alerts::simpleAlert(m_error, QStringLiteral("Speech is not available"));
}

void SpeechService::setState(State state) {
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

}  // namespace platform
