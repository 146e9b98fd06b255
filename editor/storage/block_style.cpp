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
    chars_.clear();
    paras_.clear();
    charIndex_.clear();
    paraIndex_.clear();
    // Index 0 of each is the neutral value, so that a block never styled
    // still names valid attributes.
    intern(ParaAttrs{});
    intern(CharAttrs{});
}

quint32 StyleTable::intern(const CharAttrs &attrs) {
    auto found = charIndex_.constFind(attrs);
    if (found != charIndex_.constEnd())
        return found.value();
    quint32 index = quint32(chars_.size());
    chars_.push_back({attrs, {}, false});
    charIndex_.insert(attrs, index);
    return index;
}

quint32 StyleTable::intern(const ParaAttrs &attrs) {
    auto found = paraIndex_.constFind(attrs);
    if (found != paraIndex_.constEnd())
        return found.value();
    quint32 index = quint32(paras_.size());
    paras_.push_back({attrs, {}, false});
    paraIndex_.insert(attrs, index);
    return index;
}

void StyleTable::setZoom(double zoom) {
    if (zoom == zoom_)
        return;
    zoom_ = zoom;
    for (CharEntry &entry : chars_)
        entry.made = false;
    for (ParaEntry &entry : paras_)
        entry.made = false;
}

const QTextCharFormat &StyleTable::charFormat(quint32 index) {
    CharEntry &entry = chars_[index];
    if (!entry.made) {
        entry.format = charFormatFor(entry.attrs, zoom_);
        entry.made = true;
    }
    return entry.format;
}

const QTextBlockFormat &StyleTable::blockFormat(quint32 index) {
    ParaEntry &entry = paras_[index];
    if (!entry.made) {
        entry.format = blockFormatFor(entry.attrs, zoom_);
        entry.made = true;
    }
    return entry.format;
}

QFont StyleTable::font(quint32 index, const QFont &base) const {
    return charFormatFor(chars_[index].attrs, zoom_).font().resolve(base);
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
