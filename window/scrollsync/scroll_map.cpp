#include "window/scrollsync/scroll_map.h"

#include "window/window_log.h"

#include "library/token.h"
#include "library/token_types.h"
#include "library/utf16_units.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace scrollsync {

// --- Thinning and lookups -------------------------------------------------------------

void cleanScrollMap(std::vector<MapEntry> &map) {
    std::vector<bool> marked(map.size(), false);
    for (size_t i = 0; i + 1 < map.size(); i++) {
        const MapEntry &entry = map[i];
        const MapEntry &next = map[i + 1];
        if (entry.web == next.web) {
            if (next.edit == 1.0f)
                marked[i] = true;
            else
                marked[i + 1] = true;
        }
        if (entry.edit > next.edit)
            marked[i] = true;
    }
    size_t kept = 0;
    for (size_t i = 0; i < map.size(); i++)
        if (!marked[i])
            map[kept++] = map[i];
    map.resize(kept);
}

namespace {

double finiteOrNaN(double value) {
    return std::isfinite(value) ? value : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

double ScrollMap::webOffsetFromEditorOffset(double x) const {
    if (std::isnan(x))
        return x;
    if (x <= 0)
        return finiteOrNaN(minWeb);
    if (x >= 1)
        return finiteOrNaN(maxWeb);
    double prevEdit = 0, prevWeb = 0;
    for (const MapEntry &entry : entries) {
        if (entry.edit >= x) {
            const double result = prevWeb + (entry.web - prevWeb) * (x - prevEdit) / (entry.edit - prevEdit);
            return finiteOrNaN(std::clamp(result, minWeb, maxWeb));
        }
        prevEdit = entry.edit;
        prevWeb = entry.web;
    }
    return x;
}

double ScrollMap::editorOffsetFromWebOffset(double y) const {
    if (std::isnan(y))
        return y;
    if (y <= 0)
        return finiteOrNaN(minEdit);
    if (y >= 1)
        return finiteOrNaN(maxEdit);
    double prevEdit = 0, prevWeb = 0;
    for (const MapEntry &entry : entries) {
        if (entry.web >= y)
            return finiteOrNaN(prevEdit + (entry.edit - prevEdit) * (y - prevWeb) / (entry.web - prevWeb));
        prevEdit = entry.edit;
        prevWeb = entry.web;
    }
    // Past the last entry: on towards the two ends.
    return finiteOrNaN(prevEdit + (1 - prevEdit) * (y - prevWeb) / (1 - prevWeb));
}

// --- Building -------------------------------------------------------------------------------

size_t Utf16Offsets::unitsAt(size_t byteOffset) {
    byteOffset = std::min(byteOffset, m_length);
    if (byteOffset < m_byte) {
        m_units -= utf16_units_in_range(m_text + byteOffset, m_byte - byteOffset);
    } else {
        m_units += utf16_units_in_range(m_text + m_byte, byteOffset - m_byte);
    }
    m_byte = byteOffset;
    return m_units;
}

int baseHeaderLevel(const char *baseValue, const char *htmlValue) {
    if (htmlValue)
        return std::atoi(htmlValue);
    if (baseValue)
        return std::atoi(baseValue);
    return 0;
}

namespace {

// The page's elements of one kind, in document order.
using Sequence = std::vector<const preview::PageGeometry::Node *>;

struct Sequences {
    Sequence paragraphs, lists, enumerations, tables, blockquotes, items;
    std::array<Sequence, 6> headings;
};

Sequences sortChildren(const preview::PageGeometry &page) {
    Sequences sequences;
    for (const preview::PageGeometry::Node &node : page.children) {
        const QString &name = node.name;
        if (name == u"P" || name == u"FIGURE")
            sequences.paragraphs.push_back(&node);
        else if (name.size() == 2 && name[0] == u'H' && name[1] >= u'1' && name[1] <= u'6')
            sequences.headings[size_t(name[1].unicode() - u'1')].push_back(&node);
        else if (name == u"UL")
            sequences.lists.push_back(&node);
        else if (name == u"OL")
            sequences.enumerations.push_back(&node);
        else if (name == u"TABLE")
            sequences.tables.push_back(&node);
        else if (name == u"BLOCKQUOTE")
            sequences.blockquotes.push_back(&node);
        else if (name == u"LI")
            sequences.items.push_back(&node);
        else if (name != u"#text")
            qCInfo(lcWindow).noquote() << QStringLiteral("Other HTML node %1").arg(name);
    }
    return sequences;
}

bool isFinalLineEnd(const token *t) {
    return t && (t->type == HARD_BREAK || t->type == NEWLINE) && !t->next;
}

// A paragraph right after a table that is the table's caption line ("[A]",
// "[A] [B]"): the writer puts it into the table, so no page paragraph
// answers to it.
bool isCaptionLine(const token *paragraph) {
    const token *first = paragraph->child;
    if (!first || first->type != PAIR_BRACKET || !first->next)
        return false;
    const token *after = first->next->next;
    if (!after)
        return true;
    if (after->type == PAIR_BRACKET && (!after->next || isFinalLineEnd(after->next)))
        return true;
    return isFinalLineEnd(after);
}

class Walk {
public:
    Walk(const preview::PageGeometry &page, const EditorRect &editorRect, std::vector<MapEntry> &map)
        : m_total(page.documentHeight), m_editorRect(editorRect), m_map(map) {}

    // The k-th element of a sequence answers to the token: the token's range
    // in the editor pairs with the element's top and bottom in the page.
    void match(const token *t, uint16_t k, const Sequence &sequence) {
        if (sequence.size() <= k)
            return;
        const preview::PageGeometry::Node &box = *sequence[k];
        const QRectF r = m_editorRect(t->start, t->len);
        add(r.top(), box.top / m_total);
        add(r.top() + r.height(), (box.top + box.height) / m_total);
    }

    void add(double edit, double web) {
        if (std::isfinite(edit) && std::isfinite(web))
            m_map.push_back({float(edit), float(web)});
    }

private:
    double m_total;
    const EditorRect &m_editorRect;
    std::vector<MapEntry> &m_map;
};

void logMismatch(const char *kind, uint16_t count, size_t elements) {
    if (count != elements)
        qCInfo(lcWindow).noquote() << QStringLiteral("%1 mismatch (%2 != %3)").arg(QLatin1String(kind)).arg(count).arg(elements);
}

void walkBlocks(const token *root, int base, const Sequences &sequences, Walk &walk) {
    std::array<uint16_t, 256> counters{};
    bool skipCaption = false;
    for (const token *t = root ? root->child : nullptr; t; t = t->next) {
        unsigned type = t->type;
        const bool afterTable = std::exchange(skipCaption, false);
        if (type >= BLOCK_H1 && type <= BLOCK_H6) {
            if (base != 0)
                type = unsigned(std::clamp(int(type) + base - 1, int(BLOCK_H1), int(BLOCK_H6)));
            walk.match(t, counters[type]++, sequences.headings[type - BLOCK_H1]);
        } else if (type == BLOCK_LIST_BULLETED || type == BLOCK_LIST_BULLETED_LOOSE) {
            walk.match(t, counters[BLOCK_LIST_BULLETED]++, sequences.lists);
        } else if (type == BLOCK_LIST_ENUMERATED || type == BLOCK_LIST_ENUMERATED_LOOSE) {
            walk.match(t, counters[BLOCK_LIST_ENUMERATED]++, sequences.enumerations);
        } else if (type == BLOCK_PARA) {
            if (afterTable && isCaptionLine(t))
                continue;
            walk.match(t, counters[BLOCK_PARA]++, sequences.paragraphs);
        } else if (type == BLOCK_TABLE) {
            walk.match(t, counters[BLOCK_TABLE]++, sequences.tables);
            skipCaption = true;
        } else if (type < counters.size()) {
            counters[type]++;
        }
    }
    logMismatch("Bulleted list", counters[BLOCK_LIST_BULLETED], sequences.lists.size());
    logMismatch("Enumerated list", counters[BLOCK_LIST_ENUMERATED], sequences.enumerations.size());
    logMismatch("Paragraph", counters[BLOCK_PARA], sequences.paragraphs.size());
    logMismatch("Table", counters[BLOCK_TABLE], sequences.tables.size());
    static const char *headingNames[] = {"H1", "H2", "H3", "H4", "H5", "H6"};
    for (int level = 0; level < 6; level++)
        logMismatch(headingNames[level], counters[BLOCK_H1 + level], sequences.headings[size_t(level)].size());
}

}  // namespace

std::optional<ScrollMap> buildScrollMap(const token *root, size_t sourceLength, int baseHeaderLevel,
                                        const preview::PageGeometry &page, const EditorRect &editorRect) {
    // A page that is not laid out yet has no height to divide by.
    if (!root || !(page.documentHeight > 0) || !std::isfinite(page.documentHeight))
        return std::nullopt;
    ScrollMap map;
    map.entries.reserve(64);
    map.minWeb = page.contentPercentToTotalPercent(0.0);
    map.maxWeb = page.contentPercentToTotalPercent(1.0);
    Walk walk(page, editorRect, map.entries);
    map.minEdit = editorRect(0, 0).top();
    walk.add(map.minEdit, map.minWeb);
    walkBlocks(root, baseHeaderLevel, sortChildren(page), walk);
    map.maxEdit = editorRect(sourceLength, 0).top();
    walk.add(map.maxEdit, map.maxWeb);
    std::stable_sort(map.entries.begin(), map.entries.end(), [](const MapEntry &a, const MapEntry &b) {
        return a.web < b.web || (a.web == b.web && a.edit < b.edit);
    });
    for (int pass = 0; pass < 3; pass++)
        cleanScrollMap(map.entries);
    return map;
}

}  // namespace scrollsync
