#include "app/documents/export_types.h"

#include "platform/documents/type_registry.h"
#include "library/tzr.h"

namespace exporttypes {

namespace types = platform::types;

std::optional<short> formatForType(const QString &type) {
    struct Entry {
        const char *type;
        short format;
    };
    static const Entry table[] = {
        {types::kHtml, TZR_FORMAT_HTML},
        {types::kTex, TZR_FORMAT_LATEX},
        {"org.oasis.opendocument.text", TZR_FORMAT_ODT},
        {"vnd.oasis.opendocument.text", TZR_FORMAT_ODT},
        {"org.oasis.opendocument.text.flat", TZR_FORMAT_FODT},
        {"vnd.oasis.opendocument.text-flat-xml", TZR_FORMAT_FODT},
        {types::kEpub, TZR_FORMAT_EPUB},
        {types::kTextPack, TZR_FORMAT_TEXTBUNDLE_COMPRESSED},
    };
    for (const Entry &entry : table)
        if (type == QLatin1String(entry.type))
            return entry.format;
    return std::nullopt;
}

QStringList writableTypes() {
    return {QLatin1String(types::kMarkdownType), QLatin1String(types::kHtml),    QLatin1String(types::kTex),
            QLatin1String(types::kOdt),          QLatin1String(types::kFlatOdt), QLatin1String(types::kEpub),
            QLatin1String(types::kTextPack),     QLatin1String(types::kPlainText),
            QLatin1String(types::kGenericMarkdown)};
}

QStringList offeredTypes(platform::SaveOperation operation, const QStringList &writable) {
    QStringList offered = writable;
    if (operation != platform::SaveOperation::SaveTo)
        offered.removeIf([](const QString &type) { return type != QLatin1String(types::kMarkdownType); });
    for (const char *generic : {types::kGenericMarkdown, types::kPlainText, types::kText, types::kData})
        offered.removeAll(QLatin1String(generic));
    offered.removeAll(QString());
    return offered;
}

QString preselectedType(platform::SaveOperation operation, const QString &lastExportType, const QStringList &offered) {
    if (operation == platform::SaveOperation::SaveTo) {
        const QString last = platform::TypeRegistry::canonical(lastExportType);
        for (const QString &type : offered)
            if (platform::TypeRegistry::canonical(type) == last)
                return type;
    }
    return offered.value(0);
}

}  // namespace exporttypes
