#include "editor/markdown/prose_sentences.h"

#include <algorithm>

#include "library/token.h"

namespace prose {

namespace {

// Stands in a sentence's text for a part that says words of its own.
constexpr char16_t kUnread = u'\uFFFC';
// How deep a walk goes into nested blocks and spans.
constexpr int kDeepest = 200;

// Blocks whose text runs on in sentences.
bool isRunningText(uint16_t type) {
    switch (type) {
    case BLOCK_PARA:
    case BLOCK_H1:
    case BLOCK_H2:
    case BLOCK_H3:
    case BLOCK_H4:
    case BLOCK_H5:
    case BLOCK_H6:
    case BLOCK_SETEXT_1:
    case BLOCK_SETEXT_2:
    case BLOCK_TERM:
    case BLOCK_LIST_ITEM_TEXT:
        return true;
    default:
        return false;
    }
}

// Blocks that hold blocks.
bool holdsBlocks(uint16_t type) {
    switch (type) {
    case BLOCK_BLOCKQUOTE:
    case BLOCK_LIST_BULLETED:
    case BLOCK_LIST_BULLETED_LOOSE:
    case BLOCK_LIST_ENUMERATED:
    case BLOCK_LIST_ENUMERATED_LOOSE:
    case BLOCK_LIST_ITEM:
    case BLOCK_DEFLIST:
    case BLOCK_DEFINITION:
    case BLOCK_DEF_FOOTNOTE:
    case BLOCK_DEF_GLOSSARY:
        return true;
    default:
        return false;
    }
}

// Marks of structure that stand between words.
bool readsAsSpace(uint16_t type) {
    switch (type) {
    case NEWLINE:
    case HARD_BREAK:
    case INDENT_TAB:
    case INDENT_SPACE:
    case NON_INDENT_SPACE:
    case HASH:
    case HASH1:
    case HASH2:
    case HASH3:
    case HASH4:
    case HASH5:
    case HASH6:
        return true;
    default:
        return type >= MARKER_BLOCKQUOTE && type <= MARKER_LIST_ENUMERATOR;
    }
}

// Marks of emphasis and links that stand inside the words they mark.
bool readsAsNothing(uint16_t type) {
    switch (type) {
    case EMPH_START:
    case EMPH_STOP:
    case STRONG_START:
    case STRONG_STOP:
    case BRACKET_LEFT:
    case BRACKET_RIGHT:
        return true;
    default:
        return false;
    }
}

// Spans that leave their sentence unread: an image in a sentence, raised
// and lowered text.
bool unreadSpan(uint16_t type) {
    return type == PAIR_BRACKET_IMAGE || type == PAIR_SUPERSCRIPT || type == PAIR_SUBSCRIPT;
}

bool isEnd(QChar c) {
    return c == QLatin1Char('.') || c == QLatin1Char('!') || c == QLatin1Char('?') || c == QChar(u'\u2026');
}

// What closes around a sentence's end: "He said “no.”"
bool closesAround(QChar c) {
    static const QString closing = QStringLiteral("\"')]}\u201D\u2019\u00BB");
    return closing.contains(c);
}

bool opensAround(QChar c) {
    static const QString opening = QStringLiteral("\"'([{\u201C\u2018\u00AB\u00BF\u00A1");
    return opening.contains(c);
}

// Words after which a full stop ends no sentence.
bool isAbbreviation(QStringView word) {
    static const char *const kAbbreviations[] = {"mr", "mrs",  "ms", "dr",  "prof", "sr",  "jr",    "st",
                                                 "vs", "e.g", "i.e", "cf", "fig",  "vol", "approx"};
    if (word.size() == 1)
        return word.front().isLetter();
    for (const char *abbreviation : kAbbreviations)
        if (word.compare(QLatin1StringView(abbreviation), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The text of the blocks of running text, as a sentence reads it, with
// where each character stands.
class Reading {
public:
    Reading(QStringView text, qsizetype from, const std::vector<Excluded> &excluded)
        : m_text(text), m_from(from), m_excluded(excluded) {}

    void block(const token *t, std::vector<Sentence> &out, int depth) {
        if (depth > kDeepest)
            return;
        for (; t; t = t->next) {
            if (isRunningText(t->type)) {
                m_chars.clear();
                m_positions.clear();
                chain(t->child, depth + 1);
                split(out);
            } else if (holdsBlocks(t->type)) {
                block(t->child, out, depth + 1);
            }
        }
    }

private:
    void chain(const token *t, int depth) {
        if (depth > kDeepest)
            return;
        for (const token *previous = nullptr; t; previous = t, t = t->next)
            one(t, previous, depth);
    }

    void one(const token *t, const token *previous, int depth) {
        const qsizetype start = qsizetype(t->start), end = qsizetype(t->start + t->len);
        if (const Excluded *part = excludedAround(start, end)) {
            if (!part->silent)
                put(QChar(kUnread), start);
            return;
        }
        if (t->type == PAIR_PAREN && !(previous && previous->type == PAIR_BRACKET))
            return;  // an aside: the sentence reads on without it
        if (unreadSpan(t->type)) {
            put(QChar(kUnread), start);
        } else if (t->child) {
            chain(t->child, depth + 1);
        } else if (readsAsSpace(t->type)) {
            put(QLatin1Char(' '), start);
        } else if (readsAsNothing(t->type)) {
            // The word around it reads on.
        } else if (t->type == ESCAPED_CHARACTER) {
            verbatim(start + 1, end);
        } else if (t->type == AMPERSAND_LONG) {
            put(QLatin1Char('&'), start);  // "&amp;"
        } else {
            verbatim(start, end);
        }
    }

    // The excluded range that holds all of [start, end), if any.
    const Excluded *excludedAround(qsizetype start, qsizetype end) const {
        auto found = std::upper_bound(m_excluded.begin(), m_excluded.end(), start,
                                      [](qsizetype position, const Excluded &e) { return position < e.start; });
        while (found != m_excluded.begin()) {
            --found;
            if (found->start <= start && found->end >= end && found->end > found->start)
                return &*found;
            if (found->end <= start)
                break;
        }
        return nullptr;
    }

    void verbatim(qsizetype start, qsizetype end) {
        start = qMax(start, m_from);
        end = qMin(end, m_from + m_text.size());
        for (qsizetype p = start; p < end; p++)
            put(m_text[p - m_from], p);
    }

    void put(QChar c, qsizetype position) {
        if (c.isSpace()) {
            if (m_chars.isEmpty() || m_chars.back() == QLatin1Char(' '))
                return;
            c = QLatin1Char(' ');
        }
        m_chars.append(c);
        m_positions.push_back(position);
    }

    // The block's reading cut into sentences.
    void split(std::vector<Sentence> &out) {
        const qsizetype n = m_chars.size();
        qsizetype begin = 0;
        for (qsizetype i = 0; i < n; i++) {
            if (!isEnd(m_chars[i]))
                continue;
            qsizetype j = i + 1;
            while (j < n && isEnd(m_chars[j]))
                j++;
            qsizetype k = j;
            while (k < n && closesAround(m_chars[k]))
                k++;
            if (k < n && m_chars[k] != QLatin1Char(' ')) {
                i = j - 1;
                continue;
            }
            if (endsNone(i, j, k)) {
                i = k - 1;
                continue;
            }
            cut(begin, k, out);
            begin = k;
            i = k - 1;
        }
        cut(begin, n, out);
    }

    // Whether the end marks [i, j), closed up to k, end no sentence: a full
    // stop after an initial or an abbreviation, or before a word in lower
    // case.
    bool endsNone(qsizetype i, qsizetype j, qsizetype k) const {
        qsizetype next = k;
        while (next < m_chars.size() && m_chars[next] == QLatin1Char(' '))
            next++;
        if (next < m_chars.size() && m_chars[next].isLower())
            return true;
        if (j != i + 1 || m_chars[i] != QLatin1Char('.'))
            return false;
        qsizetype w = i;
        while (w > 0 && (m_chars[w - 1].isLetter() || (m_chars[w - 1] == QLatin1Char('.') && w - 1 > 0 &&
                                                       m_chars[w - 2].isLetter())))
            w--;
        return w < i && isAbbreviation(QStringView(m_chars).mid(w, i - w));
    }

    void cut(qsizetype begin, qsizetype end, std::vector<Sentence> &out) const {
        while (begin < end && (m_chars[begin] == QLatin1Char(' ') ||
                               (m_chars[begin].isPunct() && !opensAround(m_chars[begin]))))
            begin++;
        while (end > begin && m_chars[end - 1] == QLatin1Char(' '))
            end--;
        if (begin >= end)
            return;
        Sentence sentence;
        sentence.text = m_chars.mid(begin, end - begin);
        sentence.positions.assign(m_positions.begin() + begin, m_positions.begin() + end);
        sentence.start = sentence.positions.front();
        sentence.end = sentence.positions.back() + 1;
        sentence.judged = readable(sentence.text);
        out.push_back(std::move(sentence));
    }

    static bool readable(const QString &text) {
        if (text.contains(QChar(kUnread)))
            return false;
        qsizetype last = text.size();
        while (last > 0 && closesAround(text[last - 1]))
            last--;
        if (last == 0 || !isEnd(text[last - 1]) || text[last - 1] == QChar(u'\u2026'))
            return false;
        for (QChar c : text) {
            if (c.isLetterOrNumber()) {
                if (c.isLetter() && !c.isUpper())
                    return false;
                break;
            }
        }
        if (text.count(QLatin1Char(' ')) < 1)
            return false;
        return scan(text, 0, {}).addresses.empty();
    }

    QStringView m_text;
    qsizetype m_from;
    const std::vector<Excluded> &m_excluded;
    QString m_chars;
    std::vector<qsizetype> m_positions;
};

}  // namespace

std::vector<Sentence> sentences(const token *root, QStringView text, qsizetype from,
                                const std::vector<Excluded> &excluded) {
    std::vector<Sentence> out;
    if (!root)
        return out;
    Reading reading(text, from, excluded);
    reading.block(root->child, out, 0);
    return out;
}

}  // namespace prose
