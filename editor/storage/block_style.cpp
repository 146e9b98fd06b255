#include "editor/storage/block_style.h"

#include <QFont>
#include <QHashFunctions>

size_t qHash(const CharAttrs &a, size_t seed) {
    return qHashMulti(seed, a.family, a.pointSize, a.bold, a.italic, a.foreground, a.background,
                      a.underline, a.superscript, a.lineBreak, a.paragraph);
}

size_t qHash(const ParaAttrs &a, size_t seed) {
    return qHashMulti(seed, a.headIndent, a.firstLineIndent, a.tailIndent, a.spacingAfter,
                      a.spacingBefore, a.lineHeightMultiple, a.alignment);
}

QColor styleColor(StyleColor c) {
    return QColor::fromRgba(c);
}

StyleTable::StyleTable() { clear(); }

void StyleTable::clear() {
    m_chars.clear();
    m_paras.clear();
    m_charIndex.clear();
    m_paraIndex.clear();
    // Index 0 of each is the neutral value, so that a block never styled
    // still names valid attributes.
    intern(ParaAttrs{});
    intern(CharAttrs{});
}

quint32 StyleTable::intern(const CharAttrs &attrs) {
    auto found = m_charIndex.constFind(attrs);
    if (found != m_charIndex.constEnd())
        return found.value();
    quint32 index = quint32(m_chars.size());
    m_chars.push_back({attrs, {}, false});
    m_charIndex.insert(attrs, index);
    return index;
}

quint32 StyleTable::intern(const ParaAttrs &attrs) {
    auto found = m_paraIndex.constFind(attrs);
    if (found != m_paraIndex.constEnd())
        return found.value();
    quint32 index = quint32(m_paras.size());
    m_paras.push_back({attrs, {}, false});
    m_paraIndex.insert(attrs, index);
    return index;
}

void StyleTable::setZoom(double zoom) {
    if (zoom == m_zoom)
        return;
    m_zoom = zoom;
    for (CharEntry &entry : m_chars)
        entry.made = false;
    for (ParaEntry &entry : m_paras)
        entry.made = false;
}

const QTextCharFormat &StyleTable::charFormat(quint32 index) {
    CharEntry &entry = m_chars[index];
    if (!entry.made) {
        entry.format = charFormatFor(entry.attrs, m_zoom);
        entry.made = true;
    }
    return entry.format;
}

const QTextBlockFormat &StyleTable::blockFormat(quint32 index) {
    ParaEntry &entry = m_paras[index];
    if (!entry.made) {
        entry.format = blockFormatFor(entry.attrs, m_zoom);
        entry.made = true;
    }
    return entry.format;
}

QFont StyleTable::font(quint32 index, const QFont &base) const {
    return charFormatFor(m_chars[index].attrs, m_zoom).font().resolve(base);
}

QTextCharFormat charFormatFor(const CharAttrs &a, double zoom) {
    QTextCharFormat f;
    if (!a.family.isEmpty())
        f.setFontFamilies({a.family});
    if (a.pointSize > 0)
        f.setFontPointSize(a.pointSize * zoom);
    f.setFontWeight(a.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(a.italic);
    if (qAlpha(a.foreground) != 0)
        f.setForeground(styleColor(a.foreground));
    if (qAlpha(a.background) != 0)
        f.setBackground(styleColor(a.background));
    if (a.underline != 0)
        f.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    if (a.superscript > 0)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (a.superscript < 0)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    return f;
}

QTextBlockFormat blockFormatFor(const ParaAttrs &a, double zoom) {
    QTextBlockFormat f;
    if (a.headIndent != 0)
        f.setLeftMargin(a.headIndent * zoom);
    if (a.firstLineIndent != a.headIndent)
        f.setTextIndent((a.firstLineIndent - a.headIndent) * zoom);
    // A negative tail indent counts from the right edge.
    if (a.tailIndent < 0)
        f.setRightMargin(-a.tailIndent * zoom);
    if (a.spacingBefore != 0)
        f.setTopMargin(a.spacingBefore * zoom);
    if (a.spacingAfter != 0)
        f.setBottomMargin(a.spacingAfter * zoom);
    if (a.lineHeightMultiple > 0 && a.lineHeightMultiple != 1)
        f.setLineHeight(a.lineHeightMultiple * 100, QTextBlockFormat::ProportionalHeight);
    switch (a.alignment) {
    case 1: f.setAlignment(Qt::AlignLeft); break;
    case 2: f.setAlignment(Qt::AlignRight); break;
    case 3: f.setAlignment(Qt::AlignJustify); break;
    case 4: f.setAlignment(Qt::AlignHCenter); break;
    default: break;  // natural: the document's own direction decides
    }
    return f;
}
