#include "platform/text/font_resolver.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>

#include <cstdlib>
#include <limits>
#include <mutex>
#include <optional>

namespace platform {

namespace {

constexpr qreal kFallbackPointSize = 12.0;

// Mac faces by the kind that stands in for them.
std::optional<FontResolver::Kind> kindOfMacFace(const QString &family) {
    using Kind = FontResolver::Kind;
    static const QHash<QString, Kind> faces = [] {
        QHash<QString, Kind> map;
        for (const char *name : {"palatino", "palatino linotype", "times", "times new roman", "georgia",
                                 "baskerville", "hoefler text", "cochin", "didot", "charter", "iowan old style",
                                 "book antiqua", "new york", "big caslon", "american typewriter"})
            map.insert(QString::fromLatin1(name), Kind::Serif);
        for (const char *name : {"helvetica", "helvetica neue", "lucida grande", "arial", "avenir", "avenir next",
                                 "optima", "gill sans", "verdana", "futura", "geneva", "san francisco",
                                 "sf pro", "sf pro text", "sf pro display", ".applesystemuifont", "system font"})
            map.insert(QString::fromLatin1(name), Kind::SansSerif);
        for (const char *name : {"menlo", "monaco", "courier", "courier new", "sf mono", "andale mono", "pt mono",
                                 "consolas", "lucida console"})
            map.insert(QString::fromLatin1(name), Kind::Monospace);
        return map;
    }();
    auto it = faces.constFind(family.toLower());
    if (it == faces.constEnd())
        return std::nullopt;
    return *it;
}

// "Menlo-Regular" is the face "Regular" of the family "Menlo".
QString familyPart(const QString &name) {
    const qsizetype dash = name.lastIndexOf(u'-');
    return dash > 0 ? name.left(dash) : name;
}

// Installed families known to keep a fixed pitch, the most common first.
constexpr const char *kMonospaceFamilies[] = {
    "DejaVu Sans Mono", "Liberation Mono", "Noto Mono",     "Noto Sans Mono", "Droid Sans Mono",
    "Ubuntu Mono",      "Source Code Pro", "Fira Mono",     "Hack",           "Inconsolata",
    "Cousine",          "Nimbus Mono PS",  "FreeMono",      "Courier New",    "Courier"};

// Whether `family` is installed and Qt gives it a fixed pitch: the family
// itself, not a substitute Qt would use in its place.
bool isFixedPitchFamily(const QString &family) {
    if (family.isEmpty() || !QFontDatabase::hasFamily(family))
        return false;
    const QFontInfo info{QFont(family)};
    return info.family().compare(family, Qt::CaseInsensitive) == 0 && info.fixedPitch();
}

// The system's monospace face when it has a fixed pitch; some font sets give
// one that does not ("Noto Sans Mono" holds wide glyphs, so Qt counts it
// proportional), and code would then lose its columns. Then a known
// monospace family, then any installed family of fixed pitch, and only when
// there is none the system's face after all.
QString monospaceFamily() {
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    const QString system = QFontInfo(font).family();
    if (isFixedPitchFamily(system))
        return system;
    const QString fixed = QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family();
    if (isFixedPitchFamily(fixed))
        return fixed;
    for (const char *name : kMonospaceFamilies)
        if (isFixedPitchFamily(QString::fromLatin1(name)))
            return QString::fromLatin1(name);
    for (const QString &family : QFontDatabase::families())
        if (!QFontDatabase::isPrivateFamily(family) && isFixedPitchFamily(family))
            return family;
    return system;
}

std::mutex s_mutex;
QHash<QString, QString> s_resolved;

}  // namespace

QString FontResolver::familyForKind(Kind kind) {
    QFont font;
    switch (kind) {
    case Kind::Serif:
        font.setFamily(QStringLiteral("serif"));
        font.setStyleHint(QFont::Serif);
        break;
    case Kind::SansSerif:
        font.setFamily(QStringLiteral("sans-serif"));
        font.setStyleHint(QFont::SansSerif);
        break;
    case Kind::Monospace: {
        static const QString family = monospaceFamily();
        return family;
    }
    }
    return QFontInfo(font).family();
}

QString FontResolver::resolveFamily(const QString &family) {
    const QString name = family.trimmed();
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        auto it = s_resolved.constFind(name);
        if (it != s_resolved.constEnd())
            return *it;
    }
    QString resolved;
    if (name.isEmpty()) {
        resolved = familyForKind(Kind::SansSerif);
    } else if (QFontDatabase::hasFamily(name)) {
        resolved = name;
    } else if (QFontDatabase::hasFamily(familyPart(name))) {
        resolved = familyPart(name);
    } else {
        std::optional<Kind> kind = kindOfMacFace(name);
        if (!kind)
            kind = kindOfMacFace(familyPart(name));
        resolved = kind ? familyForKind(*kind) : QFontInfo(QFont(name)).family();
    }
    std::lock_guard<std::mutex> lock(s_mutex);
    s_resolved.insert(name, resolved);
    return resolved;
}

QFont FontResolver::font(const QString &family, qreal pointSize) {
    QFont font(resolveFamily(family));
    font.setPointSizeF(pointSize > 0 ? pointSize : kFallbackPointSize);
    return font;
}

QString FontResolver::styleNameOf(const QFont &font) {
    if (!font.styleName().isEmpty())
        return font.styleName();
    // The face of the family with the font's weight and slant, of normal
    // width: the database lists a family's faces in no useful order, and a
    // chooser left to itself takes the first (an oblique or condensed one).
    const QString family = QFontInfo(font).family();
    static const QStringList widths = {QStringLiteral("Condensed"), QStringLiteral("Expanded"),
                                       QStringLiteral("Narrow"), QStringLiteral("Wide"), QStringLiteral("Compressed")};
    QString best;
    int bestScore = std::numeric_limits<int>::max();
    for (const QString &style : QFontDatabase::styles(family)) {
        const QFont face = QFontDatabase::font(family, style, font.pointSize() > 0 ? font.pointSize() : 12);
        int score = std::abs(int(face.weight()) - int(font.weight()));
        if (face.italic() != font.italic())
            score += 10000;
        for (const QString &width : widths)
            if (style.contains(width, Qt::CaseInsensitive))
                score += 1000;
        if (score < bestScore || (score == bestScore && style.size() < best.size())) {
            best = style;
            bestScore = score;
        }
    }
    return best;
}

QFont FontResolver::userFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setFamily(QFontInfo(font).family());
    if (font.pointSizeF() <= 0)
        font.setPointSizeF(kFallbackPointSize);
    return font;
}

}  // namespace platform
