#include "editor/markdown/prose_ranges.h"

#include <algorithm>

#include "library/token.h"

namespace prose {

namespace {

// Tokens whose text is neither prose nor a place for addresses.
bool skipped(uint16_t type) {
    switch (type) {
    case LINE_HR:
    case LINE_SETEXT_1:
    case LINE_SETEXT_2:
    case LINE_META_START:
    case LINE_TABLE_SEPARATOR:
    case LINE_TOC:
    case BLOCK_CODE_FENCED:
    case BLOCK_CODE_INDENTED:
    case BLOCK_HR:
    case BLOCK_TOC:
    case PAIR_BACKTICK:
    case PAIR_MATH:
    case PAIR_BRACKET_ABBREVIATION:
    case PAIR_BRACKET_FOOTNOTE:
    case PAIR_BRACKET_GLOSSARY:
    case PAIR_BRACKET_CITATION:
    case PAIR_BRACKET_VARIABLE:
    case PAIR_RAW_FILTER:
    case PAIR_DOUBLE_BRACE:
    case CODE_FENCE_LINE:
    case HTML_ENTITY:
    case HTML_COMMENT_START:
    case HTML_COMMENT_STOP:
    case MATH_PAREN_OPEN:
    case MATH_PAREN_CLOSE:
    case MATH_BRACKET_OPEN:
    case MATH_BRACKET_CLOSE:
    case MATH_DOLLAR_SINGLE:
    case MATH_DOLLAR_DOUBLE:
    case TOC:
        return true;
    default:
        // The CriticMarkup marks: "{++", "~>", "<<}" and the rest.
        return type >= CRITIC_ADD_OPEN && type <= CRITIC_HI_CLOSE;
    }
}

// Skipped tokens that a sentence reads past: the labels of notes and
// citations (their text is elsewhere) and the lines around a block.
bool silentInSentence(uint16_t type) {
    switch (type) {
    case PAIR_BRACKET_FOOTNOTE:
    case PAIR_BRACKET_CITATION:
    case LINE_HR:
    case LINE_SETEXT_1:
    case LINE_SETEXT_2:
    case LINE_META_START:
    case LINE_TABLE_SEPARATOR:
        return true;
    default:
        return false;
    }
}

class Walk {
public:
    explicit Walk(std::vector<Excluded> &out) : m_out(out) {}

    void chain(const token *t, int depth) {
        if (depth > 200)
            return;
        for (const token *previous = nullptr; t; previous = t, t = t->next)
            one(t, previous, depth);
    }

private:
    void add(const token *t, Excluded::Kind kind, bool silent = false) {
        m_out.push_back({qsizetype(t->start), qsizetype(t->start + t->len), kind, silent});
    }

    void one(const token *t, const token *previous, int depth) {
        const bool afterBracket = previous && (previous->type == PAIR_BRACKET || previous->type == PAIR_BRACKET_IMAGE);
        if (skipped(t->type)) {
            add(t, Excluded::Skip, silentInSentence(t->type));
        } else if (t->type == PAIR_ANGLE || t->type == LINE_HTML) {
            // Autolinks and raw HTML tags.
            add(t, Excluded::Address);
        } else if (t->type == PAIR_PAREN && afterBracket) {
            // A link's or an image's target.
            add(t, Excluded::Address, true);
        } else if (t->type == PAIR_BRACKET && previous && previous->type == PAIR_BRACKET &&
                   previous->start + previous->len == t->start) {
            // The label of a reference link: "[text][label]".
            add(t, Excluded::Skip, true);
        } else if (t->type == BLOCK_DEF_LINK) {
            // "[label]: target "title"": only the title is prose.
            for (const token *c = t->child; c; c = c->next) {
                if (c == t->child && c->type == PAIR_BRACKET)
                    add(c, Excluded::Skip);
                else if (c->type == PAIR_QUOTE_DOUBLE || c->type == PAIR_QUOTE_SINGLE || c->type == PAIR_PAREN)
                    chain(c->child, depth + 1);
                else
                    add(c, Excluded::Address);
            }
        } else if (t->type == LINE_META) {
            // "Key: value": the key is a name, the value prose.
            const token *c = t->child;
            bool colon = false;
            for (; c && !colon; c = c->next) {
                add(c, Excluded::Skip);
                colon = c->type == COLON;
            }
            chain(c, depth + 1);
        } else {
            chain(t->child, depth + 1);
        }
    }

    std::vector<Excluded> &m_out;
};

// --- Characters ------------------------------------------------------------------

char32_t codePointAt(QStringView text, qsizetype i, int *units) {
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        *units = 2;
        return QChar::surrogateToUcs4(c, text[i + 1]);
    }
    *units = 1;
    return c.unicode();
}

bool isLetter(char32_t c) { return QChar::isLetter(c) || QChar::isMark(c); }
bool isApostrophe(char32_t c) { return c == U'\'' || c == U'\u2019'; }
bool isNameChar(char32_t c) { return isLetter(c) || QChar::isDigit(c) || c == U'_'; }

// --- Addresses -------------------------------------------------------------------------

bool startsWithNoCase(QStringView text, QLatin1StringView prefix) {
    return text.startsWith(prefix, Qt::CaseInsensitive);
}

// Trailing characters that end a sentence or close something around an
// address; a ")" stays when the address opened one itself.
qsizetype trimmedEnd(QStringView chunk, qsizetype start, qsizetype end, qsizetype least) {
    static const QString closing = QStringLiteral(".,;:!?]}>\"'\u201D\u2019\u00BB*_`");
    while (end > least) {
        const QChar c = chunk[end - 1];
        if (c == QLatin1Char(')')) {
            const QStringView inside = chunk.mid(start, end - start);
            if (inside.count(QLatin1Char('(')) >= inside.count(QLatin1Char(')')))
                break;
        } else if (!closing.contains(c)) {
            break;
        }
        end--;
    }
    return end;
}

bool findWebAddress(QStringView chunk, qsizetype *start, qsizetype *end, QString *url) {
    static const QLatin1StringView prefixes[] = {QLatin1StringView("http://"), QLatin1StringView("https://"),
                                                 QLatin1StringView("mailto:"), QLatin1StringView("www.")};
    for (qsizetype i = 0; i < chunk.size(); i++) {
        if (i > 0 && chunk[i - 1].isLetterOrNumber())
            continue;
        for (QLatin1StringView prefix : prefixes) {
            if (!startsWithNoCase(chunk.mid(i), prefix))
                continue;
            const qsizetype least = i + prefix.size();
            const qsizetype e = trimmedEnd(chunk, i, chunk.size(), least);
            if (e <= least || !chunk[least].isLetterOrNumber())
                continue;
            *start = i;
            *end = e;
            const QString text = chunk.mid(i, e - i).toString();
            *url = prefix == QLatin1StringView("www.") ? QStringLiteral("http://") + text : text;
            return true;
        }
    }
    return false;
}

bool isMailChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('-') ||
           c == QLatin1Char('+') || c == QLatin1Char('%');
}

bool findMailAddress(QStringView chunk, qsizetype *start, qsizetype *end, QString *url) {
    const qsizetype at = chunk.indexOf(QLatin1Char('@'));
    if (at <= 0 || at + 1 >= chunk.size())
        return false;
    qsizetype s = at;
    while (s > 0 && isMailChar(chunk[s - 1]))
        s--;
    while (s < at && !chunk[s].isLetterOrNumber())
        s++;
    qsizetype e = at + 1;
    while (e < chunk.size() && isMailChar(chunk[e]))
        e++;
    while (e > at + 1 && !chunk[e - 1].isLetterOrNumber())
        e--;
    if (s >= at || e <= at + 1)
        return false;
    const QStringView domain = chunk.mid(at + 1, e - at - 1);
    const qsizetype dot = domain.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || domain.size() - dot - 1 < 2)
        return false;
    for (QChar c : domain.mid(dot + 1))
        if (!c.isLetter())
            return false;
    *start = s;
    *end = e;
    *url = QStringLiteral("mailto:") + chunk.mid(s, e - s).toString();
    return true;
}

// --- Words ------------------------------------------------------------------------------

// The words of `piece` (a part of prose with no address in it), at `base`.
void wordsIn(QStringView piece, qsizetype base, std::vector<Word> &words) {
    qsizetype i = 0;
    const qsizetype n = piece.size();
    while (i < n) {
        int units = 1;
        char32_t c = codePointAt(piece, i, &units);
        if (!isNameChar(c)) {
            i += units;
            continue;
        }
        // A run of name characters, with apostrophes between letters and
        // full stops between name characters.
        const qsizetype start = i;
        bool name = false;
        qsizetype letters = 0;
        char32_t last = 0;
        while (i < n) {
            c = codePointAt(piece, i, &units);
            if (isNameChar(c)) {
                if (!isLetter(c))
                    name = true;
                else
                    letters++;
                last = c;
                i += units;
                continue;
            }
            int nextUnits = 1;
            const char32_t next = i + units < n ? codePointAt(piece, i + units, &nextUnits) : 0;
            if (isApostrophe(c) && isLetter(last) && isLetter(next)) {
                i += units;
                continue;
            }
            if (c == U'.' && isNameChar(next)) {
                name = true;
                i += units;
                continue;
            }
            break;
        }
        if (!name && letters >= 2)
            words.push_back({base + start, i - start});
    }
}

// Prose, or a place for addresses only, from `start` to `end` of the text.
struct Piece {
    qsizetype start;
    qsizetype end;
    bool prose;
};

}  // namespace

std::vector<Excluded> excludedRanges(const token *root, qsizetype from, qsizetype to) {
    std::vector<Excluded> out;
    if (root) {
        Walk walk(out);
        walk.chain(root->child, 0);
    }
    out.erase(
        std::remove_if(out.begin(), out.end(),
                       [from, to](const Excluded &e) { return e.end <= from || e.start >= to || e.end <= e.start; }),
        out.end());
    std::stable_sort(out.begin(), out.end(), [](const Excluded &a, const Excluded &b) { return a.start < b.start; });
    return out;
}

Found scan(QStringView text, qsizetype offset, const std::vector<Excluded> &excluded) {
    Found found;
    const qsizetype end = offset + text.size();
    std::vector<Piece> pieces;
    qsizetype at = offset;
    auto first = std::lower_bound(excluded.begin(), excluded.end(), offset,
                                  [](const Excluded &e, qsizetype position) { return e.end <= position; });
    for (auto e = first; e != excluded.end() && e->start < end; ++e) {
        const qsizetype s = qMax(e->start, offset), f = qMin(e->end, end);
        if (f <= at)
            continue;
        if (s > at)
            pieces.push_back({at, s, true});
        if (e->kind == Excluded::Address)
            pieces.push_back({qMax(s, at), f, false});
        at = f;
    }
    if (at < end)
        pieces.push_back({at, end, true});

    for (const Piece &piece : pieces) {
        const QStringView part = text.mid(piece.start - offset, piece.end - piece.start);
        qsizetype i = 0;
        while (i < part.size()) {
            while (i < part.size() && part[i].isSpace())
                i++;
            qsizetype j = i;
            while (j < part.size() && !part[j].isSpace())
                j++;
            if (j == i)
                break;
            const QStringView chunk = part.mid(i, j - i);
            qsizetype s = 0, e = 0;
            QString url;
            const qsizetype base = piece.start + i;
            if (findWebAddress(chunk, &s, &e, &url) || findMailAddress(chunk, &s, &e, &url)) {
                found.addresses.push_back({base + s, e - s, url});
                if (piece.prose)
                    wordsIn(chunk.left(s), base, found.words);
            } else if (piece.prose) {
                wordsIn(chunk, base, found.words);
            }
            i = j;
        }
    }
    return found;
}

Word wordAt(QStringView text, qsizetype position) {
    if (position < 0 || position > text.size())
        return {};
    qsizetype start = position, end = position;
    while (start > 0 && !text[start - 1].isSpace())
        start--;
    while (end < text.size() && !text[end].isSpace())
        end++;
    std::vector<Word> words;
    wordsIn(text.mid(start, end - start), start, words);
    for (const Word &word : words)
        if (position >= word.start && position <= word.start + word.length)
            return word;
    return {};
}

}  // namespace prose
