// Long lines shown in parts. Qt lays out, itemizes and measures a block of
// the document whole whenever it touches it (the caret's place, a cursor
// move, a repaint), so a line of megabytes held as one block costs every
// keystroke in it hundreds of milliseconds whatever the editor does. The
// storage therefore shows a line longer than kLimit units as parts, each a
// block of its own: a part ends at one of the line's spaces or tabs, which
// the block's end then stands for, or, where the line holds none nearby (a
// picture inlined as base64), at one of its characters (see canEndPart),
// which the editor draws at the end of the part. Document positions stay the
// text's, one to one. A paragraph of prose, however long, is one block: only
// a line of tens of kilobytes, which people do not write by hand, is shown in
// parts.
//
// Where a part ends is decided by the text around it alone, as content-
// defined chunking decides: a rolling hash of the last 64 units marks a
// place about every kMean units, and the part ends at the first space or tab
// after it (or, where none came for kBlankReach units, at the first character
// that may end a part), never within kMin units of where the part began or
// of the line's end, and never past kLimit units. So an edit moves the ends
// around it only, and the parts after any edits are those the same text
// shown afresh has.
//
// Pure functions over display text; any thread.
#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace lineparts {

constexpr qsizetype kLimit = 16384;
constexpr qsizetype kMin = 1024;
constexpr qsizetype kMean = 4096;
constexpr qsizetype kBlankReach = 256;
// How many units before a place decide whether a part ends there.
constexpr qsizetype kContext = kBlankReach;

// Whether a part may end at `c` where its line holds no space or tab near:
// a character of one unit that shapes none of its neighbours (not half of a
// surrogate pair, a combining mark, a joiner or a tab).
bool canEndPart(QChar c);
inline bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// Decides, unit by unit from where a part begins, where parts end.
class Cutter {
public:
    // `rest`: how many units follow from the first unit fed to the end of
    // the line (without the line end).
    explicit Cutter(qsizetype rest) : m_rest(rest) {}
    // A unit before the first one fed (the last kContext of them matter).
    void warm(QChar c);
    // Feeds the next unit; true when a part ends at it.
    bool feed(QChar c);
    // Units fed so far.
    qsizetype fed() const { return m_at; }

private:
    quint64 m_hash = 0;
    qsizetype m_rest;
    qsizetype m_at = 0;            // offset of the next unit fed
    qsizetype m_partStart = 0;     // where the part being fed began
    qsizetype m_trigger = -1;      // the place marked in it, if any
    qsizetype m_lastBlank = -kBlankReach - 1;
};

// Where `line` (one whole line, without its line end) is cut: the offsets
// of the characters that end its parts, in order; none when it is no longer
// than kLimit.
std::vector<qsizetype> cuts(QStringView line);

// Cuts every line of `shown` (display text whose lines end in '\n') as
// cuts() cuts the whole line: the characters at its cuts become '\n'. Gives
// how many parts' ends it made. The first line of `shown` may begin where a
// part of its line begins, after the units `warm` (the last kContext of its
// line before it); a first or last line that goes on past `shown` is
// `firstRest` or `lastRest` units long from where it begins in `shown`
// (negative: it ends there).
qsizetype cutLines(QString &shown, QStringView warm = {}, qsizetype firstRest = -1, qsizetype lastRest = -1);

}  // namespace lineparts
