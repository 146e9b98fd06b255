// A selection remembered across a replacement of the whole text by a
// similar one (a file reloaded after an outside change, a clean-up of the
// whole document): the selection's bounds and the text that followed each,
// found again in the new text with the text engine's fuzzy match.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

#include "editor/storage/smart_text_storage.h"

class SelectionMemory {
public:
    // How much text after each bound is remembered, in UTF-16 units.
    static constexpr qsizetype kSuffixUnits = 25;
    // The longest pattern the fuzzy match takes, in bytes.
    static constexpr size_t kMaxPatternBytes = 31;

    // Remembers `selection` (clamped to the text) of `text`.
    void save(const QString &text, CharRange selection);
    // Where the remembered selection is in a new text, given as UTF-8:
    // found by the text after its bounds, else placed near its old offset
    // with its old byte length. Never fails.
    CharRange restore(const char *utf8, size_t length) const;

    quint64 startOffset() const { return m_startOffset; }
    quint64 stopOffset() const { return m_stopOffset; }
    const QString &startSuffix() const { return m_startSuffix; }
    const QString &stopSuffix() const { return m_stopSuffix; }

    // The UTF-8 form of a remembered suffix that the fuzzy match is given:
    // cut at a character boundary to at most kMaxPatternBytes, since longer
    // patterns never match (25 units of non-ASCII text run far over).
    static QByteArray matchPattern(const QString &suffix);

private:
    quint64 m_startOffset = 0;
    quint64 m_stopOffset = 0;
    QString m_startSuffix;
    QString m_stopSuffix;
    bool m_stopNearEnd = false;  // the stop's suffix runs to the end of the text
};
