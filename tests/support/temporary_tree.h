// Removing a test's temporary tree by the bytes of its names. QTemporaryDir
// gives up on a name that is not text in the locale (the tests' Latin-1
// "caf\xe9.md") and leaves the whole folder behind; a fixture that makes
// such names calls this when it ends.
#pragma once

#include <QFile>
#include <QString>

#include <filesystem>
#include <system_error>

namespace testing_qt {

inline void removeTreeByBytes(const QString &root) {
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(root).toStdString(), ignored);
}

}  // namespace testing_qt
