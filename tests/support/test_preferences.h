// Preferences for one test: while it lives, the standard store is a fresh one
// in memory with the registered defaults, and the test sets keys on it.
#pragma once

#include "platform/prefs/registered_defaults.h"

#include <QString>
#include <QVariant>

class TestPreferences {
public:
    void insert(const QString &key, const QVariant &value) { m_scope.defaults().setObject(value, key); }
    void remove(const QString &key) { m_scope.defaults().removeObject(key); }

private:
    platform::ScopedStandardDefaults m_scope;
};
