#include "platform/font_resolver.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>

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
    case Kind::Monospace:
        font.setFamily(QStringLiteral("monospace"));
        font.setStyleHint(QFont::Monospace);
        break;
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

QFont FontResolver::userFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setFamily(QFontInfo(font).family());
    if (font.pointSizeF() <= 0)
        font.setPointSizeF(kFallbackPointSize);
    return font;
}

}  // namespace platform
