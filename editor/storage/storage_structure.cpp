// Line and section commands of the storage: indenting, outdenting and moving
// lines, changing a heading's level, growing the selection, stepping between
// paragraphs, and moving whole sections dragged in the table of contents.
// The buffer makes each edit as one undoable change; the storage converts
// the view's units to bytes and patches the document from the change record.
#include "editor/storage/smart_text_storage.h"

#include <algorithm>
#include <cstring>

#include "editor/editor_log.h"
#include "textengine/transforms/line_transforms.h"
#include "textengine/buffer/multi_edit.h"
#include "textengine/buffer/smart_string.h"
#include "textengine/transforms/text_ranges.h"

namespace {

using LineCommand = void (*)(_SString *, size_t, size_t, smart_string_change *);

LineCommand lineCommand(int action) {
    switch (action) {
    case SmartTextStorage::ShiftOutdent: return smart_string_shift_outdent;
    case SmartTextStorage::ShiftIndent: return smart_string_shift_indent;
    case SmartTextStorage::ShiftLinesUp: return smart_string_shift_lines_up;
    case SmartTextStorage::ShiftLinesDown: return smart_string_shift_lines_down;
    case SmartTextStorage::HeadingRemoveHash: return smart_string_shift_heading_remove_hash;
    case SmartTextStorage::HeadingAddHash: return smart_string_shift_heading_add_hash;
    default: return nullptr;
    }
}

constexpr int kDeepestHeading = 6;

// Where a heading's section ends with all the sections nested in it, also
// when a row's own length stops at its first sub-heading.
qsizetype subtreeEnd(const HeadingRow &row) {
    qsizetype end = row.stop();
    for (const HeadingRow &child : row.children)
        end = std::max(end, subtreeEnd(child));
    return end;
}

// Whether the line at `at` is a heading: "#" after at most three spaces, or
// a line underlined with "=" or "-".
bool headingLineAt(const char *text, size_t length, size_t at) {
    if (at > length || (at > 0 && text[at - 1] != '\n'))
        return false;
    size_t i = at;
    while (i < length && i - at < 3 && text[i] == ' ')
        i++;
    if (i < length && text[i] == '#')
        return true;
    const char *eol = static_cast<const char *>(memchr(text + at, '\n', length - at));
    if (!eol || eol == text + at)
        return false;
    size_t next = size_t(eol - text) + 1;
    if (next >= length || (text[next] != '=' && text[next] != '-'))
        return false;
    const char mark = text[next];
    size_t j = next;
    while (j < length && text[j] == mark)
        j++;
    while (j < length && (text[j] == ' ' || text[j] == '\t'))
        j++;
    return j == length || text[j] == '\n';
}

bool refuse(const char *reason) {
    qCWarning(lcEditor, "section move refused: %s", reason);
    return false;
}

}  // namespace

// --- Line commands --------------------------------------------------------------------

void SmartTextStorage::shiftRange(CharRange range, int action) {
    const LineCommand command = lineCommand(action);
    if (!command)
        return;
    // A pair, not bindings: lambdas capture bindings only from C++20 on
    // in every compiler (the fuzz build's clang does not yet).
    const std::pair<size_t, size_t> bytes = byteRangeFromCharRange(range);
    commandEdit([&](smart_string_change *change) { command(m_buffer, bytes.first, bytes.second, change); });
}

void SmartTextStorage::shiftRangeLeft(CharRange range) { shiftRange(range, ShiftOutdent); }
void SmartTextStorage::shiftRangeRight(CharRange range) { shiftRange(range, ShiftIndent); }
void SmartTextStorage::shiftRangeUp(CharRange range) { shiftRange(range, ShiftLinesUp); }
void SmartTextStorage::shiftRangeDown(CharRange range) { shiftRange(range, ShiftLinesDown); }
void SmartTextStorage::decreaseLine(CharRange range) { shiftRange(range, HeadingRemoveHash); }
void SmartTextStorage::increaseLine(CharRange range) { shiftRange(range, HeadingAddHash); }

// --- Selection commands -----------------------------------------------------------------

void SmartTextStorage::increaseSelection(CharRange range) {
    auto [start, length] = byteRangeFromCharRange(range);
    smart_string_increase_selection(m_buffer, start, length);
}

void SmartTextStorage::decreaseSelection(CharRange range) {
    auto [start, length] = byteRangeFromCharRange(range);
    smart_string_decrease_selection(m_buffer, start, length);
}

void SmartTextStorage::moveSelectionToPreviousParagraph(CharRange range) {
    auto [start, length] = byteRangeFromCharRange(range);
    smart_string_previous_paragraph(m_buffer, start, length);
}

void SmartTextStorage::moveSelectionToNextParagraph(CharRange range) {
    auto [start, length] = byteRangeFromCharRange(range);
    smart_string_next_paragraph(m_buffer, start, length);
}

// --- Section moves ----------------------------------------------------------------------

// A row fits the text when it was read from the text as it is now, lies in
// it, begins at a heading line, and holds its sub-headings.
bool SmartTextStorage::headingRowFits(const HeadingRow &row) const {
    if (row.generation != m_editGeneration || row.start < 0 || row.length < 0 ||
        row.stop() > length())
        return false;
    if (!headingLineAt(str(), len(), byteRangeFromCharRange({row.start, 0}).first))
        return false;
    return std::all_of(row.children.begin(), row.children.end(), [&](const HeadingRow &child) {
        return child.start > row.start && child.start < row.stop() && headingRowFits(child);
    });
}

bool SmartTextStorage::sectionMoveFits(const std::vector<HeadingRow> &headings,
                                       const HeadingRow &target, bool onto,
                                       qsizetype position) const {
    if (!headingRowFits(target))
        return refuse("the destination does not fit the text");
    std::vector<const HeadingRow *> moved;
    for (const HeadingRow &row : headings) {
        if (!headingRowFits(row))
            return refuse("a heading does not fit the text");
        moved.push_back(&row);
    }
    std::sort(moved.begin(), moved.end(),
              [](const HeadingRow *a, const HeadingRow *b) { return a->start < b->start; });
    for (size_t i = 1; i < moved.size(); i++)
        if (moved[i]->start == moved[i - 1]->start || moved[i]->start < moved[i - 1]->stop())
            return refuse("the sections overlap");
    for (const HeadingRow *row : moved) {
        // Into the section itself, or onto a heading that moves with it,
        // the text would be cut where it is put.
        if (position > row->start && position < row->stop())
            return refuse("the destination lies inside a moved section");
        if (target.start > row->start && target.start < row->stop())
            return refuse("the destination moves with the sections");
        if (onto && target.start == row->start)
            return refuse("a section cannot be moved onto itself");
    }
    return true;
}

// Rewrites the heading levels of one moved section in `section`, a copy of
// its bytes that began at byte `offset` of the text: the sub-headings first,
// from the last, so that the earlier offsets still hold, then the heading
// itself. Lines that do not begin with "#" keep their text, and a level stays
// within the six that are headings at all.
void SmartTextStorage::recursivelyShiftLevelOfHeading(const HeadingRow &heading, int amount,
                                                      std::string &section, size_t offset) const {
    for (auto child = heading.children.rbegin(); child != heading.children.rend(); ++child)
        recursivelyShiftLevelOfHeading(*child, amount, section, offset);
    if (amount == 0)
        return;
    const size_t at = byteRangeFromCharRange({heading.start, 0}).first - offset;
    if (at >= section.size() || section[at] != '#')
        return;
    size_t end = section.find('\n', at);
    if (end == std::string::npos)
        end = section.size();
    size_t hashes = 0;
    while (at + hashes < end && section[at + hashes] == '#')
        hashes++;
    const int level = std::clamp(int(hashes) + amount, 1, kDeepestHeading);
    std::string line = std::string(size_t(level), '#') + section.substr(at + hashes, end - at - hashes);
    // A closing run of "#" gets as many as the opening run; "C#" is no
    // closing run.
    DString *fixed = d_string_new(line.c_str());
    if (!fixed)
        return;
    heading_fix_closing_hashes(fixed);
    section.replace(at, end - at, fixed->str, fixed->length);
    d_string_free(fixed, true);
}

bool SmartTextStorage::moveToCHeadings(const std::vector<HeadingRow> &headings,
                                       const HeadingRow *ontoHeading,
                                       const HeadingRow *beforeHeading,
                                       const HeadingRow *afterHeading) {
    assertThread();
    const HeadingRow *target = ontoHeading ? ontoHeading : beforeHeading ? beforeHeading : afterHeading;
    if (!target) {
        qCWarning(lcEditor, "Attempted to move TOC headings without a destination");
        return false;
    }
    if (headings.empty())
        return false;
    // Onto a heading: its last sub-sections, after everything it holds.
    const int level = ontoHeading ? target->level + 1 : target->level;
    const qsizetype position = beforeHeading && !ontoHeading ? target->start : subtreeEnd(*target);
    if (!sectionMoveFits(headings, *target, ontoHeading != nullptr, position))
        return false;

    const char *text = str();
    heading_record *chain = nullptr;
    heading_record **tail = &chain;
    auto append = [&tail](size_t start, size_t length, const char *replacement) {
        *tail = smart_string_heading_record_new(start, length, replacement);
        if (*tail)
            tail = &(*tail)->next;
    };
    std::string movedText;
    for (const HeadingRow &heading : headings) {
        auto [start, length] = byteRangeFromCharRange({heading.start, heading.length});
        std::string section(text + start, length);
        recursivelyShiftLevelOfHeading(heading, level - heading.level, section, start);
        // A section that ended right before the next heading gets its line
        // ended, so that the heading after it stays a heading.
        if (!movedText.empty() && movedText.back() != '\n')
            movedText += '\n';
        movedText += section;
        append(start, length, "");
    }
    while (movedText.size() < 2 || movedText.compare(movedText.size() - 2, 2, "\n\n") != 0)
        movedText += '\n';
    const size_t at = byteRangeFromCharRange({position, 0}).first;
    if (position >= 3) {
        size_t newlines = 0;
        while (newlines < 2 && text[at - 1 - newlines] == '\n')
            newlines++;
        movedText.insert(0, 2 - newlines, '\n');
    }
    append(at, 0, movedText.c_str());

    const bool moved = commandEdit(
        [&](smart_string_change *change) { smart_string_move_sections(m_buffer, chain, change); });
    smart_string_heading_records_free(chain);
    return moved;
}
