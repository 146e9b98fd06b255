// An observable value: the stand-in for key-value observation of one property.
//
//   Observable<QString> htmlString;
//   htmlString.observe(preview, [preview](const QString &html) { ... });
//   htmlString.setAlways(html);          // observers hear every store
//   headers.setIfDifferent(newHeaders);  // observers hear real changes only
//   rows.setTellingIfDifferent(newRows);  // stores always, tells real changes
//
// Both kinds of store are needed: some properties are triggers that fire on
// every store even when the value is the same (an editor's character count
// after each edit), others are lists that views reload only when they change.
//
// Any thread may read and store. A handler runs in its context object's
// thread: at once when the store happens in that thread, else queued there
// with the value as stored. A handler is dropped with its context object.
// Observers are told after the value is stored and outside any lock, so a
// handler may read the value or store a new one. When several threads store,
// observers can be told in another order than the stores happened; get()
// always gives the latest.
//
// T must be copyable, default-constructible and, for setIfDifferent,
// comparable with ==.
#pragma once

#include <QObject>
#include <QVariant>

#include <functional>
#include <mutex>
#include <utility>

namespace platform {

// The signal half of Observable<T>; moc cannot read templates.
class ObservableNotifier : public QObject {
    Q_OBJECT

signals:
    void changed(const QVariant &value);
};

template <typename T>
class Observable {
public:
    Observable() = default;
    explicit Observable(T initial) : m_value(std::move(initial)) {}
    Observable(const Observable &) = delete;
    Observable &operator=(const Observable &) = delete;

    T get() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_value;
    }

    // Stores `value` and tells the observers, unless it equals the value
    // held. Returns whether it stored.
    bool setIfDifferent(const T &value) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_value == value)
                return false;
            m_value = value;
        }
        emit m_notifier.changed(QVariant::fromValue(value));
        return true;
    }

    // Stores `value` in every case, but tells the observers only when it
    // differs from the value held. For values whose == leaves out some
    // bookkeeping (the edit generation a list was built from): an equal value
    // brings the bookkeeping up to date without waking anybody. Returns
    // whether it told.
    bool setTellingIfDifferent(const T &value) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const bool same = m_value == value;
            m_value = value;
            if (same)
                return false;
        }
        emit m_notifier.changed(QVariant::fromValue(value));
        return true;
    }

    // Stores `value` and tells the observers, even when it is unchanged.
    void setAlways(const T &value) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_value = value;
        }
        emit m_notifier.changed(QVariant::fromValue(value));
    }

    QMetaObject::Connection observe(const QObject *context, std::function<void(const T &)> handler,
                                    Qt::ConnectionType type = Qt::AutoConnection) const {
        return QObject::connect(
            &m_notifier, &ObservableNotifier::changed, context,
            [handler = std::move(handler)](const QVariant &value) { handler(value.value<T>()); },
            type);
    }

private:
    mutable std::mutex m_mutex;
    T m_value{};
    mutable ObservableNotifier m_notifier;
};

}  // namespace platform
