#include "platform/documents/type_registry.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include <array>

namespace platform {

namespace {

struct TypeEntry {
    const char *identifier;
    const char *parent;  // null at the top
    const char *mimeType;
    std::initializer_list<const char *> extensions;
    const char *description;
    std::initializer_list<const char *> aliases;
    bool package;
};

// The kinds of file the program reads and writes. Packaged formats are data,
// not text: an EPUB book or a zipped OpenDocument file never opens in the
// editor as text.
const std::array<TypeEntry, 13> &table() {
    static const std::array<TypeEntry, 13> entries{{
        {types::kData, nullptr, "application/octet-stream", {}, "Data", {}, false},
        {types::kText, types::kData, "", {}, "Text", {}, false},
        {types::kPlainText, types::kText, "text/plain", {"txt", "text"}, "Plain text", {}, false},
        {types::kGenericMarkdown, types::kPlainText, "text/markdown", {}, "Markdown", {}, false},
        {types::kMarkdownType,
         types::kGenericMarkdown,
         "text/markdown",
         {"md", "markdown", "mdown", "mkd", "mkdn", "mmd", "tzr"},
         "Markdown text",
         {},
         false},
        {types::kHtml, types::kText, "text/html", {"html", "htm", "xhtml"}, "HTML document", {}, false},
        {types::kTex, types::kText, "text/x-tex", {"tex", "ltx"}, "LaTeX document", {}, false},
        {types::kOdt,
         types::kData,
         "application/vnd.oasis.opendocument.text",
         {"odt"},
         "OpenDocument text",
         {"vnd.oasis.opendocument.text"},
         false},
        {types::kFlatOdt,
         types::kData,
         "application/vnd.oasis.opendocument.text-flat-xml",
         {"fodt"},
         "Flat OpenDocument text",
         {"vnd.oasis.opendocument.text-flat-xml"},
         false},
        {types::kEpub, types::kData, "application/epub+zip", {"epub"}, "EPUB book", {}, false},
        {types::kTextBundle, types::kText, "", {"textbundle"}, "TextBundle", {}, true},
        {types::kTextPack, types::kData, "application/zip", {"textpack"}, "Compressed TextBundle", {}, false},
        {"public.xml", types::kText, "application/xml", {"xml"}, "XML document", {}, false},
    }};
    return entries;
}

const TypeEntry *find(const QString &type) {
    for (const TypeEntry &entry : table()) {
        if (type.compare(QLatin1String(entry.identifier), Qt::CaseInsensitive) == 0)
            return &entry;
        for (const char *alias : entry.aliases)
            if (type.compare(QLatin1String(alias), Qt::CaseInsensitive) == 0)
                return &entry;
    }
    return nullptr;
}

}  // namespace

QString TypeRegistry::typeForExtension(const QString &extension) {
    for (const TypeEntry &entry : table())
        for (const char *known : entry.extensions)
            if (extension.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
                return QLatin1String(entry.identifier);
    return {};
}

QString TypeRegistry::typeForMimeType(const QString &mimeType) {
    QMimeDatabase database;
    QMimeType mime = database.mimeTypeForName(mimeType);
    QStringList candidates{mimeType};
    if (mime.isValid())
        candidates << mime.name() << mime.allAncestors();
    for (const QString &candidate : candidates)
        for (const TypeEntry &entry : table())
            if (*entry.mimeType && candidate == QLatin1String(entry.mimeType) &&
                entry.identifier != QLatin1String(types::kMarkdownType))
                return QLatin1String(entry.identifier);
    return {};
}

QString TypeRegistry::typeForPath(const QString &path) {
    const QFileInfo info(path);
    const QString byExtension = typeForExtension(info.suffix());
    if (!byExtension.isEmpty())
        return byExtension;
    if (info.isFile()) {
        const QString byContent = typeForMimeType(QMimeDatabase().mimeTypeForFile(info).name());
        if (!byContent.isEmpty())
            return byContent;
    }
    return QLatin1String(types::kData);
}

QString TypeRegistry::canonical(const QString &type) {
    const TypeEntry *entry = find(type);
    return entry ? QLatin1String(entry->identifier) : type;
}

bool TypeRegistry::isKnown(const QString &type) { return find(type) != nullptr; }

QString TypeRegistry::mimeType(const QString &type) {
    const TypeEntry *entry = find(type);
    return entry ? QLatin1String(entry->mimeType) : QString();
}

QStringList TypeRegistry::extensions(const QString &type) {
    QStringList result;
    if (const TypeEntry *entry = find(type))
        for (const char *extension : entry->extensions)
            result << QLatin1String(extension);
    return result;
}

QString TypeRegistry::preferredExtension(const QString &type) {
    const QStringList all = extensions(type);
    return all.isEmpty() ? QString() : all.first();
}

QString TypeRegistry::description(const QString &type) {
    const TypeEntry *entry = find(type);
    return entry ? QLatin1String(entry->description) : type;
}

QString TypeRegistry::nameFilter(const QString &type) {
    QStringList patterns;
    for (const QString &extension : extensions(type))
        patterns << QStringLiteral("*.") + extension;
    if (patterns.isEmpty())
        patterns << QStringLiteral("*");
    return description(type) + QStringLiteral(" (") + patterns.join(u' ') + u')';
}

bool TypeRegistry::conformsTo(const QString &type, const QString &parent) {
    const TypeEntry *wanted = find(parent);
    const TypeEntry *entry = find(type);
    if (!entry || !wanted)
        return type.compare(parent, Qt::CaseInsensitive) == 0;
    for (int depth = 0; entry && depth < 16; depth++) {
        if (entry == wanted)
            return true;
        entry = entry->parent ? find(QLatin1String(entry->parent)) : nullptr;
    }
    return false;
}

bool TypeRegistry::isPackage(const QString &type) {
    const TypeEntry *entry = find(type);
    return entry && entry->package;
}

}  // namespace platform
