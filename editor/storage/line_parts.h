// Long lines shown in parts. Qt lays out, itemizes and measures a block of
// the document whole whenever it touches it (the caret's place, a cursor
// move, a repaint), so a line of megabytes held as one block costs every
// keystroke in it hundreds of milliseconds whatever the editor does. The
// storage therefore shows a line longer than kLimit units as parts, each a
// block of its own: a part ends at one of the line's characters, which the
// block's end then stands for: a space or tab, or, where the line holds none
// nearby (a picture inlined as base64, text in a script without spaces), a
// character that forms a grapheme cluster by itself (see endRank), which the
// editor draws at the end of the part, so that no part holds half of a
// character (a letter and its accents, an emoji and its skin tone). Only a
// line without such characters is cut inside one, and never inside a
// surrogate pair (see below). Document positions stay the text's, one to
// one. A paragraph of prose, however long, is one block: only a line of
// tens of kilobytes, which people do not write by hand, is shown in parts.
//
// Where a part ends is decided by the text around it, as content-defined
// chunking decides, so that an edit moves the ends near it only, whatever
// the text holds:
// - A rolling hash of the last kWindow units is taken at every place; a
//   place whose hash is smaller than every other within kRadius units on
//   either side is marked (about one in kMean), and a part ends at the first
//   space or tab from there (or, where none came for kBlankReach units, at
//   the first character that may end a part). Whether a place is marked
//   depends on the text within kRadius + kWindow of it only, so such ends
//   are those a fresh showing of the same text has.
// - Text that repeats with a short period (a run of one character, base64
//   of zeros, a phrase repeated) has no marked place: its hash repeats too,
//   and nothing in it tells one place from the next. There the line's
//   showing keeps the ends it has (KeptCuts): after an edit, each end the
//   edit did not reach stays where it is (moved with the text) wherever a
//   part may still end there within its bounds, also before a place that
//   the edit marked in the repetition; only around the edit are the ends
//   found anew. So are they in other text where no marked place ends a part
//   within its bounds. Where there is none to keep (a line shown afresh,
//   text pasted), the ends in a repetition fall every period or so, in step
//   with the first kept end after them, or, with none, counted back from
//   where the repetition ends. A fresh showing of an edited repetition may
//   so cut it elsewhere than the edited showing does: both are valid parts
//   of the same text.
// - A part is at least kMin units long, ends no nearer than kMin to the
//   line's end, and no part is longer than kLimit where the line has a
//   place that may end it without splitting a surrogate pair: a character
//   that stands alone, else a zero-width joiner between two emoji (which are
//   then drawn side by side), else any unit of one code point (a variation
//   selector, a combining mark, which is then drawn at the part's end by
//   itself). A stretch of characters of two units and nothing else (emoji
//   with no joiner) has no such place: it is one part however long.
//
// Pure functions over display text; any thread.
#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <deque>
#include <vector>

namespace lineparts {

constexpr qsizetype kLimit = 16384;
constexpr qsizetype kMin = 1024;
constexpr qsizetype kMean = 4096;
constexpr qsizetype kBlankReach = 256;
// The rolling hash's window, and how far on either side of a marked place
// every hash is greater.
constexpr qsizetype kWindow = 64;
constexpr qsizetype kRadius = kMean / 2;
// How many units of a line before an edit the ends of its parts may depend
// on: a part's end is found from its start within kLimit units, looking
// kRadius + kWindow further.
constexpr qsizetype kReach = kLimit + kRadius + kWindow;
// How many units before a part's start its end may depend on: the marks
// near its start look that far back.
constexpr qsizetype kLookBack = kRadius + kWindow;
// How far on either side of a place the units that decide how well a part
// may end there reach (see endRank).
constexpr qsizetype kRankReach = 16;

inline bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// How well a part may end at `text[at]` (`text` holds the units around it,
// of the line it is in): kBlankEnd for a space or tab, kCharacterEnd for any
// other character of one unit that is a grapheme cluster by itself, so that
// both parts keep whole clusters; kJoinerEnd for a zero-width joiner between
// two emoji (the emoji are then drawn side by side); kUnitEnd for any other
// unit that is a code point by itself (a variation selector, a combining
// mark, a joiner elsewhere: the cluster it belongs to is then split); else
// (half of a surrogate pair, a line end) kCannotEnd.
enum EndRank { kCannotEnd = 0, kUnitEnd = 1, kJoinerEnd = 2, kCharacterEnd = 3, kBlankEnd = 4 };
int endRank(QStringView text, qsizetype at);

// The units of one line (without its line end), as the cutter reads them.
class LineText {
public:
    virtual ~LineText() = default;
    virtual qsizetype size() const = 0;
    // Units [from, from + length), clamped to the line.
    virtual QString units(qsizetype from, qsizetype length) const = 0;
    // The first place in [from, until) where a unit differs from the one
    // `period` units before it; `until` (clamped to size()) when none does.
    virtual qsizetype repeatsUntil(qsizetype from, qsizetype period, qsizetype until) const;
};

class StringLine final : public LineText {
public:
    explicit StringLine(QStringView line) : m_line(line) {}
    qsizetype size() const override { return m_line.size(); }
    QString units(qsizetype from, qsizetype length) const override;
    qsizetype repeatsUntil(qsizetype from, qsizetype period, qsizetype until) const override;

private:
    QStringView m_line;
};

// The ends of a line's parts as its showing has them before it is cut again
// (after an edit: the ends the edit left, where it moved them, but for
// those within kRankReach of it, which it may have made worse places).
class KeptCuts {
public:
    virtual ~KeptCuts() = default;
    // The first of them at or after `at`, or -1.
    virtual qsizetype from(qsizetype at) const = 0;
};

// Finds a line's cuts (the offsets of the characters that end its parts), in
// order, from a part's start on. Where the next part ends depends on where
// it starts, on the text, and on the kept cuts after it: cutting again from
// any cut of a showing, with that showing's cuts kept, gives the cuts that
// follow it.
class Cutter {
public:
    // From the part that begins after the cut `after` (-1: the line's
    // start); `kept` (may be null: a fresh showing) must outlive the cutter.
    explicit Cutter(const LineText &line, qsizetype after = -1, const KeptCuts *kept = nullptr);
    // The next cut, or -1 when the rest of the line is one part.
    qsizetype next();

private:
    QChar at(qsizetype i);
    quint64 hashAt(qsizetype i);
    void load(qsizetype to);
    void scanOne();
    int rankAt(qsizetype i);
    qsizetype cutFrom(qsizetype marked, qsizetype top);
    qsizetype keptCut(qsizetype lo, qsizetype top, bool repeating);
    qsizetype cutInRepetition(qsizetype lo, qsizetype top);
    bool runReaches(qsizetype until);
    int bestInPeriod(qsizetype last, qsizetype period, qsizetype *place) const;
    qsizetype cutAnywhere(qsizetype lo, qsizetype top, qsizetype hi);
    qsizetype take(qsizetype cut);

    const LineText &m_line;
    const KeptCuts *m_kept;
    qsizetype m_size;
    qsizetype m_partStart;
    QString m_text;                  // units [m_textFrom, m_textFrom + size)
    std::vector<quint64> m_hashes;   // the hash at each of those units
    qsizetype m_textFrom = 0;
    quint64 m_hash = 0;
    qsizetype m_scan;                // the next place to test for a mark
    qsizetype m_pushed;              // places up to here are in the queues
    std::deque<qsizetype> m_lowest;  // places of rising hashes, last of equals kept
    std::deque<qsizetype> m_first;   // places of rising hashes, first of equals kept
    std::deque<qsizetype> m_marked;  // marked places not yet used
    // The last repetition found: its period, how far it is known to go on,
    // and whether it ends there.
    qsizetype m_period = 0;
    qsizetype m_runTo = -1;
    bool m_runEnds = false;
    // The place in it that the cuts fall whole multiples of the step
    // before, what it was found from (a kept cut, or the run's end), and how
    // well a part may end there.
    qsizetype m_gridFrom = -1;
    qsizetype m_gridPlace = -1;
    int m_gridRank = kCannotEnd;
};

// Where `line` (one whole line, without its line end) is cut; none when it
// is no longer than kLimit.
std::vector<qsizetype> cuts(QStringView line);

// Cuts every line of `shown` (display text whose lines end in '\n', every
// line whole) as cuts() cuts it: the characters at its cuts become '\n'.
// Gives how many parts' ends it made.
qsizetype cutLines(QString &shown);

}  // namespace lineparts
