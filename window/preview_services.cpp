#include "window/preview_services.h"

#include <QHash>
#include <QThreadPool>

#include <mutex>

namespace preview {

namespace {

std::mutex s_lock;
std::function<QVariant(const QString &)> s_reader;
std::function<void(std::function<void()>)> s_runner;

// Until the application's preferences are wired in, the keys read here keep
// the defaults a new user starts with.
QVariant registeredValue(const QString &key) {
    static const QHash<QString, QVariant> registered = {
        {SyncPreviewLocationWhileTyping, true},
    };
    return registered.value(key);
}

QVariant read(const QString &key) {
    std::function<QVariant(const QString &)> reader;
    {
        std::lock_guard<std::mutex> lock(s_lock);
        reader = s_reader;
    }
    const QVariant value = reader ? reader(key) : QVariant();
    return value.isValid() ? value : registeredValue(key);
}

QThreadPool &pool() {
    static QThreadPool threads;
    static std::once_flag configured;
    std::call_once(configured, [] { threads.setMaxThreadCount(2); });
    return threads;
}

}  // namespace

bool boolPreference(const QString &key) {
    const QVariant value = read(key);
    return value.typeId() == QMetaType::QString ? value.toString().toInt() != 0 || value.toString() == "YES" ||
                                                      value.toString().compare("true", Qt::CaseInsensitive) == 0
                                                : value.toBool();
}

qint64 integerPreference(const QString &key) {
    return read(key).toLongLong();
}

void runInBackground(std::function<void()> work) {
    std::function<void(std::function<void()>)> runner;
    {
        std::lock_guard<std::mutex> lock(s_lock);
        runner = s_runner;
    }
    if (runner)
        runner(std::move(work));
    else
        pool().start(std::move(work));
}

void setPreferenceReaderForTesting(std::function<QVariant(const QString &)> reader) {
    std::lock_guard<std::mutex> lock(s_lock);
    s_reader = std::move(reader);
}

void setBackgroundRunnerForTesting(std::function<void(std::function<void()>)> runner) {
    std::lock_guard<std::mutex> lock(s_lock);
    s_runner = std::move(runner);
}

}  // namespace preview
