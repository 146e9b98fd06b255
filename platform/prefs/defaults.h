// The user's preferences: the stand-in for the platform's user defaults.
//
// Two layers answer a key: the values stored by the user (persisted in a flat
// JSON file in the user's config folder, through QSettings) over the values
// registered at start-up (in memory only, never written). A key in neither
// reads the zero value of the getter's kind: false, 0, 0.0, an empty string,
// an empty list or map, an invalid QVariant.
//
//   Defaults &defaults = Defaults::standard();
//   if (defaults.boolForKey("EXT_SMART")) ...
//   defaults.setDouble(0.62, "previewRatio");
//   defaults.observe("appearanceTheme", this, [this](const QVariant &) { recolour(); });
//
// Threads: every getter and setter may be called from any thread. This class
// is the only writer of the preferences file (QSettings tells nobody about
// changes, so every change must pass here to reach the observers).
//
// Observation: an observer hears every change of the value its key reads,
// whether a store, a removal or a registration changed it; storing the value
// a key already reads tells nobody. The handler gets the new value and runs in
// its context object's thread (normally the main thread): at once when the
// change happens there, else queued. It is dropped with its context object.
//
// Bad files: an unreadable preferences file is reported once and left alone;
// the session runs on the defaults and keeps changes in memory. A damaged
// file is reported once, moved aside (same name plus ".corrupt") so that
// nothing is lost, and replaced by a fresh one. A file that cannot be written
// is reported once; changes then live until the program quits.
#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>
#include <shared_mutex>

#include "platform/text/text_range.h"

class QSettings;
class QTimer;

namespace platform {

class Defaults : public QObject {
    Q_OBJECT

public:
    // The application's preferences, in Folders::configFolder() as
    // "preferences.json"; made on first use, after the QApplication.
    static Defaults &standard();
    static QString standardFilePath();
    // Makes standard() answer `store` instead (tests; see
    // ScopedStandardDefaults); nullptr gives the application's store back.
    // Returns the replacement it undoes.
    static Defaults *setStandard(Defaults *store);

    // A store over the JSON file at `filePath`; an empty path keeps the
    // values in memory only. The object lives in the main thread.
    explicit Defaults(const QString &filePath = QString(), QObject *parent = nullptr);
    ~Defaults() override;  // writes what is pending

    QString filePath() const { return m_path; }
    // The values the preferences file at `filePath` holds, read without
    // touching it (a missing, unreadable or damaged file holds none).
    static QVariantMap storedValuesInFile(const QString &filePath);
    // What was wrong with the file when it was opened (damaged, unreadable),
    // worded for the user; empty when it was fine or absent.
    QString fileProblem() const { return m_fileProblem; }

    // --- Registered layer ---------------------------------------------------
    // Adds or replaces registered values; nothing is written to disk.
    void registerDefaults(const QVariantMap &values);

    // --- Reading ------------------------------------------------------------
    // The stored value, else the registered one, else an invalid QVariant.
    QVariant objectForKey(const QString &key) const;
    bool hasStoredValue(const QString &key) const;
    // The keys the user's layer holds (registered-only keys are not listed).
    QStringList storedKeys() const;

    // Numbers and Booleans convert into each other; a string is read as its
    // leading number ("12px" is 12; "YES", "true" and a leading digit 1-9 are
    // true). Anything else reads as zero.
    bool boolForKey(const QString &key) const;
    qint64 integerForKey(const QString &key) const;
    float floatForKey(const QString &key) const;
    double doubleForKey(const QString &key) const;
    // A string, or a number as text; else empty.
    QString stringForKey(const QString &key) const;
    QVariantList arrayForKey(const QString &key) const;
    QStringList stringArrayForKey(const QString &key) const;  // empty unless all strings
    QVariantMap dictionaryForKey(const QString &key) const;
    QByteArray dataForKey(const QString &key) const;

    // --- Writing ------------------------------------------------------------
    // Values of these kinds are stored: bool, integers, float, double,
    // QString, QByteArray, QStringList, and lists and maps of them. Other
    // kinds are refused with a logged reason. An invalid QVariant removes.
    void setObject(const QVariant &value, const QString &key);
    void setBool(bool value, const QString &key);
    void setInteger(qint64 value, const QString &key);
    void setFloat(float value, const QString &key);
    void setDouble(double value, const QString &key);
    // The key then reads its registered value again.
    void removeObject(const QString &key);

    // Writes pending changes to the file now. False when the file cannot be
    // written (or the store is in memory only).
    bool synchronize();

    // --- Observing ----------------------------------------------------------
    QMetaObject::Connection observe(const QString &key, const QObject *context,
                                    std::function<void(const QVariant &value)> handler);
    QMetaObject::Connection observe(const QStringList &keys, const QObject *context,
                                    std::function<void(const QString &key, const QVariant &value)> handler);

    // --- Keys of one file or folder ----------------------------------------
    // `format` with its "%@" replaced by the full path, e.g.
    // keyForPath(u"Theme %@", "/home/ann/a.md") is "Theme /home/ann/a.md".
    static QString keyForPath(QStringView format, const QString &path);
    static QString windowFrameKey(const QString &path);  // "NSWindow Frame %@"
    static QString selectionKey(const QString &path);    // "Selection %@"

    // The editor selection kept for a file, as "{location, length}".
    void setSelection(TextRange range, const QString &path);
    std::optional<TextRange> selectionForPath(const QString &path) const;

signals:
    // Emitted in the thread that made the change.
    void changed(const QString &key, const QVariant &value);

private:
    void openFile();
    QVariant effective(const QString &key) const;  // caller holds m_lock
    void store(const QString &key, const QVariant &value);
    void markDirty(const QString &key);
    void flushToSettings();
    bool syncSettings();

    const QString m_path;
    mutable std::shared_mutex m_lock;
    QHash<QString, QVariant> m_registered;
    QHash<QString, QVariant> m_stored;
    QSet<QString> m_dirty;
    bool m_flushQueued = false;
    QSettings *m_settings = nullptr;  // null: in memory only
    QTimer *m_syncTimer = nullptr;
    bool m_writeFailureLogged = false;
    QString m_fileProblem;
};

}  // namespace platform
