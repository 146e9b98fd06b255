#include "platform/prefs/defaults.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <charconv>
#include <mutex>

#include "platform/runtime/dispatch.h"
#include "platform/files/file_kind.h"
#include "platform/files/folders.h"
#include "platform/runtime/log.h"
#include "platform/prefs/settings_json.h"

namespace platform {

namespace {

constexpr int kSyncDelayMsec = 500;

std::atomic<Defaults *> s_standardReplacement{nullptr};
Defaults *s_standard = nullptr;

bool isNumber(const QVariant &v) {
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// The leading number of a text, the way the platform reads a string as a
// number: blanks first, then a sign and digits; whatever follows is ignored.
QByteArray leadingNumberText(const QString &text) {
    QByteArray bytes = text.trimmed().toUtf8();
    if (bytes.startsWith('+'))
        bytes.remove(0, 1);
    return bytes;
}

qint64 integerOfText(const QString &text) {
    const QByteArray bytes = leadingNumberText(text);
    qint64 value = 0;
    std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), value);
    return value;
}

double doubleOfText(const QString &text) {
    const QByteArray bytes = leadingNumberText(text);
    double value = 0;
    std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), value);
    return value;
}

bool boolOfText(const QString &text) {
    QStringView t = QStringView(text).trimmed();
    while (!t.isEmpty() && (t.front() == u'+' || t.front() == u'-' || t.front() == u'0'))
        t = t.mid(1);
    if (t.isEmpty())
        return false;
    QChar c = t.front();
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

}  // namespace

// --- The shared store ---------------------------------------------------------

QString Defaults::standardFilePath() {
    return Folders::configFolder() + QStringLiteral("/preferences.json");
}

Defaults &Defaults::standard() {
    if (Defaults *replacement = s_standardReplacement.load())
        return *replacement;
    static std::once_flag made;
    std::call_once(made, [] {
        s_standard = new Defaults(standardFilePath());
        // The store lives as long as the process; write it out when the
        // application object goes.
        qAddPostRoutine([] { s_standard->synchronize(); });
    });
    return *s_standard;
}

Defaults *Defaults::setStandard(Defaults *store) { return s_standardReplacement.exchange(store); }

// --- Life ---------------------------------------------------------------------

Defaults::Defaults(const QString &filePath, QObject *parent) : QObject(parent), m_path(filePath) {
    if (!m_path.isEmpty())
        openFile();
    // Made elsewhere (the first reader was a worker), it still belongs to the
    // main thread, with its QSettings and timer.
    if (QCoreApplication *app = QCoreApplication::instance(); app && !parent && thread() != app->thread())
        moveToThread(app->thread());
}

Defaults::~Defaults() {
    if (m_settings) {
        flushToSettings();
        syncSettings();
    }
}

void Defaults::openFile() {
    QFileInfo info(m_path);
    if (info.exists() && (!info.isFile() || !info.isReadable())) {
        m_fileProblem = QStringLiteral("The preferences file %1 cannot be read. Orvane uses its defaults "
                                       "for now and leaves the file as it is.")
                            .arg(m_path);
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("Preferences file %1 cannot be read; using the defaults and leaving the file as it is.")
                   .arg(m_path);
        return;
    }
    auto open = [this] {
        return new QSettings(m_path, settings_json::format(), this);
    };
    m_settings = open();
    if (m_settings->status() == QSettings::FormatError) {
        const QString why = settings_json::takeReadError();
        delete m_settings;
        m_settings = nullptr;
        const QString kept = m_path + QStringLiteral(".corrupt");
        QFile::remove(kept);
        m_fileProblem = QStringLiteral("The preferences file %1 is damaged (%2). Orvane starts from its "
                                       "defaults; the damaged file is kept as %3.")
                            .arg(m_path, why, kept);
        if (!QFile::rename(m_path, kept)) {
            m_fileProblem = QStringLiteral("The preferences file %1 is damaged (%2). Orvane uses its defaults "
                                           "and does not save changes this time.")
                                .arg(m_path, why);
            qCWarning(lcPlatform).noquote()
                << QStringLiteral("Preferences file %1 is damaged (%2) and cannot be moved aside; "
                                  "using the defaults without saving.")
                       .arg(m_path, why);
            return;
        }
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("Preferences file %1 is damaged (%2); using the defaults. The damaged file is kept as %3.")
                   .arg(m_path, why, kept);
        m_settings = open();
    }
    for (const QString &key : m_settings->allKeys())
        m_stored.insert(settings_json::decodeKey(key), m_settings->value(key));

    m_syncTimer = new QTimer(this);
    m_syncTimer->setSingleShot(true);
    m_syncTimer->setInterval(kSyncDelayMsec);
    connect(m_syncTimer, &QTimer::timeout, this, [this] { syncSettings(); });
}

QVariantMap Defaults::storedValuesInFile(const QString &filePath) {
    if (!isRegularFile(filePath))
        return {};
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QVariantMap values;
    QString error;
    if (!settings_json::parse(file.readAll(), &values, &error))
        return {};
    QVariantMap decoded;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        decoded.insert(settings_json::decodeKey(it.key()), it.value());
    return decoded;
}

// --- Registered layer ---------------------------------------------------------

void Defaults::registerDefaults(const QVariantMap &values) {
    QList<std::pair<QString, QVariant>> changes;
    {
        std::unique_lock lock(m_lock);
        for (auto it = values.begin(); it != values.end(); ++it) {
            const QVariant before = effective(it.key());
            m_registered.insert(it.key(), it.value());
            const QVariant after = effective(it.key());
            if (before != after)
                changes.append({it.key(), after});
        }
    }
    for (const auto &[key, value] : changes)
        emit changed(key, value);
}

// --- Reading ------------------------------------------------------------------

QVariant Defaults::effective(const QString &key) const {
    auto stored = m_stored.constFind(key);
    if (stored != m_stored.constEnd())
        return *stored;
    return m_registered.value(key);
}

QVariant Defaults::objectForKey(const QString &key) const {
    std::shared_lock lock(m_lock);
    return effective(key);
}

bool Defaults::hasStoredValue(const QString &key) const {
    std::shared_lock lock(m_lock);
    return m_stored.contains(key);
}

QStringList Defaults::storedKeys() const {
    std::shared_lock lock(m_lock);
    return m_stored.keys();
}

bool Defaults::boolForKey(const QString &key) const {
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QString)
        return boolOfText(v.toString());
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float)
        return v.toDouble() != 0;
    return isNumber(v) && v.toLongLong() != 0;
}

qint64 Defaults::integerForKey(const QString &key) const {
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QString)
        return integerOfText(v.toString());
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
        const double d = v.toDouble();
        // Out of range (or not a number): zero rather than undefined behaviour.
        return d > -9.2e18 && d < 9.2e18 ? qint64(d) : 0;
    }
    return isNumber(v) ? v.toLongLong() : 0;
}

float Defaults::floatForKey(const QString &key) const { return float(doubleForKey(key)); }

double Defaults::doubleForKey(const QString &key) const {
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QString)
        return doubleOfText(v.toString());
    return isNumber(v) ? v.toDouble() : 0.0;
}

QString Defaults::stringForKey(const QString &key) const {
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return isNumber(v) ? v.toString() : QString();
}

QVariantList Defaults::arrayForKey(const QString &key) const {
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QVariantList || v.typeId() == QMetaType::QStringList ? v.toList()
                                                                                          : QVariantList();
}

QStringList Defaults::stringArrayForKey(const QString &key) const {
    QStringList strings;
    for (const QVariant &item : arrayForKey(key)) {
        if (item.typeId() != QMetaType::QString)
            return {};
        strings.append(item.toString());
    }
    return strings;
}

QVariantMap Defaults::dictionaryForKey(const QString &key) const {
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QVariantMap ? v.toMap() : QVariantMap();
}

QByteArray Defaults::dataForKey(const QString &key) const {
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
}

// --- Writing ------------------------------------------------------------------

void Defaults::setObject(const QVariant &value, const QString &key) {
    if (value.isValid() && !settings_json::isStorable(value)) {
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("Preferences: a value of kind %1 cannot be stored under \"%2\".")
                   .arg(QLatin1String(value.typeName()), key);
        return;
    }
    store(key, value);
}

void Defaults::setBool(bool value, const QString &key) { store(key, value); }
void Defaults::setInteger(qint64 value, const QString &key) { store(key, QVariant::fromValue<qlonglong>(value)); }
void Defaults::setFloat(float value, const QString &key) { store(key, value); }
void Defaults::setDouble(double value, const QString &key) { store(key, value); }
void Defaults::removeObject(const QString &key) { store(key, QVariant()); }

void Defaults::store(const QString &key, const QVariant &value) {
    if (key.isEmpty()) {
        qCWarning(lcPlatform) << "Preferences: a value without a key is not stored.";
        return;
    }
    QVariant before, after;
    {
        std::unique_lock lock(m_lock);
        before = effective(key);
        if (value.isValid())
            m_stored.insert(key, value);
        else if (!m_stored.remove(key))
            return;
        after = effective(key);
    }
    markDirty(key);
    if (before != after)
        emit changed(key, after);
}

// Changes reach QSettings on the main thread only: QSettings writes itself
// out from its own thread's event loop, so no other thread may touch it.
void Defaults::markDirty(const QString &key) {
    if (!m_settings)
        return;
    bool queue = false;
    {
        std::unique_lock lock(m_lock);
        m_dirty.insert(key);
        if (QThread::currentThread() != thread() && !m_flushQueued)
            queue = m_flushQueued = true;
    }
    if (QThread::currentThread() == thread())
        flushToSettings();
    else if (queue)
        QMetaObject::invokeMethod(this, [this] { flushToSettings(); }, Qt::QueuedConnection);
}

void Defaults::flushToSettings() {
    if (!m_settings)
        return;
    QList<std::pair<QString, QVariant>> changes;
    {
        std::unique_lock lock(m_lock);
        m_flushQueued = false;
        for (const QString &key : std::as_const(m_dirty))
            changes.append({key, m_stored.value(key)});  // invalid: removed
        m_dirty.clear();
    }
    if (changes.isEmpty())
        return;
    for (const auto &[key, value] : changes) {
        if (value.isValid())
            m_settings->setValue(settings_json::encodeKey(key), value);
        else
            m_settings->remove(settings_json::encodeKey(key));
    }
    if (m_syncTimer && !m_syncTimer->isActive())
        m_syncTimer->start();
}

bool Defaults::syncSettings() {
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError)
        return true;
    if (!m_writeFailureLogged) {
        m_writeFailureLogged = true;
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("Preferences cannot be saved to %1; changes last until the program quits.")
                   .arg(m_path);
    }
    return false;
}

bool Defaults::synchronize() {
    if (!m_settings)
        return false;
    bool saved = false;
    auto write = [this, &saved] {
        flushToSettings();
        saved = syncSettings();
    };
    if (QThread::currentThread() == thread())
        write();
    else
        Dispatch::mainSync(write);
    return saved;
}

// --- Observing ----------------------------------------------------------------

QMetaObject::Connection Defaults::observe(const QString &key, const QObject *context,
                                          std::function<void(const QVariant &)> handler) {
    return connect(this, &Defaults::changed, context,
                   [key, handler = std::move(handler)](const QString &changedKey, const QVariant &value) {
                       if (changedKey == key)
                           handler(value);
                   });
}

QMetaObject::Connection Defaults::observe(const QStringList &keys, const QObject *context,
                                          std::function<void(const QString &, const QVariant &)> handler) {
    return connect(this, &Defaults::changed, context,
                   [keys = QSet<QString>(keys.begin(), keys.end()),
                    handler = std::move(handler)](const QString &changedKey, const QVariant &value) {
                       if (keys.contains(changedKey))
                           handler(changedKey, value);
                   });
}

// --- Keys of one file or folder -----------------------------------------------

QString Defaults::keyForPath(QStringView format, const QString &path) {
    const qsizetype at = format.indexOf(u"%@");
    if (at < 0)
        return format.toString();
    return format.left(at).toString() + path + format.mid(at + 2).toString();
}

QString Defaults::windowFrameKey(const QString &path) { return keyForPath(u"NSWindow Frame %@", path); }
QString Defaults::selectionKey(const QString &path) { return keyForPath(u"Selection %@", path); }

void Defaults::setSelection(TextRange range, const QString &path) {
    setObject(rangeToString(range), selectionKey(path));
}

std::optional<TextRange> Defaults::selectionForPath(const QString &path) const {
    return rangeFromString(stringForKey(selectionKey(path)));
}

}  // namespace platform
