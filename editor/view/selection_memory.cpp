#include "editor/view/selection_memory.h"

#include <algorithm>
#include <memory>

#include "editor/storage/text_units.h"
#include "textengine/diff/match.h"
#include "textengine/utf8_sequence.h"

namespace {

// Up to kSuffixUnits units of `text` from `offset`, never half a surrogate
// pair.
QString suffixAt(const QString &text, qsizetype offset) {
    qsizetype end = std::min(text.size(), offset + SelectionMemory::kSuffixUnits);
    if (end > offset && end < text.size() && text.at(end - 1).isHighSurrogate())
        end--;
    return text.mid(offset, end - offset);
}

}  // namespace

QByteArray SelectionMemory::matchPattern(const QString &suffix) {
    QByteArray bytes = suffix.toUtf8();
    if (size_t(bytes.size()) <= kMaxPatternBytes)
        return bytes;
    qsizetype cut = qsizetype(kMaxPatternBytes);
    while (cut > 0 && utf8_is_continuation(static_cast<unsigned char>(bytes.at(cut))))
        cut--;
    bytes.truncate(cut);
    return bytes;
}

void SelectionMemory::save(const QString &text, CharRange selection) {
    const qsizetype n = text.size();
    const qsizetype start = std::clamp<qsizetype>(selection.location, 0, n);
    const qsizetype stop = std::clamp<qsizetype>(selection.end(), start, n);
    m_startOffset = quint64(start);
    m_stopOffset = quint64(stop);
    m_startSuffix = suffixAt(text, start);
    m_stopSuffix = stop > start ? suffixAt(text, stop) : m_startSuffix;
    m_stopNearEnd = stop + m_stopSuffix.size() >= n;
}

CharRange SelectionMemory::restore(const char *text, size_t b) const {
    if (!text)
        b = 0;
    if ((m_startSuffix.isEmpty() && m_stopSuffix.isEmpty()) || b == 0) {
        const qsizetype end = qsizetype(textunits::unitsIn(text, b));
        return {end, 0};
    }
    std::unique_ptr<dmp_options, void (*)(dmp_options *)> options(dmp_options_new(),
                                                                   dmp_options_free);
    auto find = [&](const QByteArray &pattern, size_t expected) -> long {
        if (!options)
            return -1;
        return dmp_match_main(text, b, pattern.constData(), size_t(pattern.size()), expected,
                              options.get());
    };

    // The old offsets, read as units of the new text.
    textunits::UnitAnchor walk;
    const size_t b0 = walk.byteAt(text, b, size_t(m_startOffset));
    textunits::UnitAnchor fromStart;
    const size_t n = fromStart.byteAt(text + b0, b - b0, size_t(m_stopOffset - m_startOffset));

    long s = find(matchPattern(m_startSuffix), b0);
    long e = -1;
    if (s >= 0 && m_startOffset == m_stopOffset) {
        e = s;
    } else {
        const QByteArray stopPattern = matchPattern(m_stopSuffix);
        // A stop within a suffix's length of the old end is looked for that
        // far before the new end (in bytes, as the pattern is).
        const size_t expected =
            !m_stopNearEnd ? b0 + n : b - std::min(b, size_t(stopPattern.size()));
        e = find(stopPattern, expected);
        if (s < 0) {
            if (e < 0)
                e = b0 + size_t(kSuffixUnits) > b ? long(b) : long(b0);
            s = size_t(e) <= n ? 0 : long(size_t(e) - n);
        } else if (e < 0) {
            e = long(std::min(size_t(s) + n, b));
        }
    }
    const size_t lo = size_t(std::min(s, e)), hi = size_t(std::max(s, e));
    const size_t unitsBefore = textunits::unitsIn(text, lo);
    return {qsizetype(unitsBefore), qsizetype(textunits::unitsIn(text + lo, hi - lo))};
}
