// The preferences every user starts with, registered once at start-up before
// anything reads a preference, and the keys that are read without being
// registered (they read the zero value of their kind until written).
//
// The application registers the table with registerDefaults() when it
// starts; tests of any layer get the same values through
// ScopedStandardDefaults.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include "platform/prefs/defaults.h"

namespace platform {

// How a value is held: a Boolean, a 32-bit or a machine-word integer, a
// single-precision real, a string, or bytes.
enum class DefaultKind { Boolean, Int, Integer, Float, String, Data };

struct RegisteredDefault {
    QString key;
    DefaultKind kind;
    QVariant value;
};

// The 62 registered keys in the order of registration. "defaultFontName" and
// "defaultFontSize" take the user's font (FontResolver::userFont) at the
// time of the call; every other value is fixed. The two print templates
// hold the two characters backslash and "t", which printing turns into tabs.
QList<RegisteredDefault> registeredDefaults();

// The table as one map, the form Defaults::registerDefaults takes.
QVariantMap registeredDefaultsMap();

// Registers the table with `defaults`. Registering again only replaces the
// same values.
void registerDefaults(Defaults &defaults);

// Keys of the application shell that are read or written without being
// registered. In the keys holding "%@" the full path of a file or folder
// stands there (Defaults::keyForPath).
struct UnregisteredKey {
    QString key;
    DefaultKind kind;
};
QList<UnregisteredKey> unregisteredKeys();

// The value a key of `kind` reads before it is written.
QVariant zeroValue(DefaultKind kind);

// While it lives, Defaults::standard() is a fresh store in memory with the
// table registered (unless asked not to), so that a test starts from what a
// new user has and leaves nothing behind.
class ScopedStandardDefaults {
public:
    explicit ScopedStandardDefaults(bool withTable = true);
    ~ScopedStandardDefaults();
    ScopedStandardDefaults(const ScopedStandardDefaults &) = delete;
    ScopedStandardDefaults &operator=(const ScopedStandardDefaults &) = delete;

    Defaults &defaults() { return m_defaults; }

private:
    Defaults m_defaults;
    Defaults *m_previous = nullptr;
};

}  // namespace platform
