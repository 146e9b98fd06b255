#include "platform/prefs/registered_defaults.h"

#include "platform/text/font_resolver.h"

namespace platform {

namespace {

RegisteredDefault boolean(const char *key, bool value) { return {QString::fromLatin1(key), DefaultKind::Boolean, value}; }
RegisteredDefault int32(const char *key, int value) { return {QString::fromLatin1(key), DefaultKind::Int, value}; }
RegisteredDefault integer(const char *key, qlonglong value) {
    return {QString::fromLatin1(key), DefaultKind::Integer, QVariant::fromValue(value)};
}
RegisteredDefault real(const char *key, float value) { return {QString::fromLatin1(key), DefaultKind::Float, value}; }
RegisteredDefault string(const char *key, const QString &value) {
    return {QString::fromLatin1(key), DefaultKind::String, value};
}

}  // namespace

QList<RegisteredDefault> registeredDefaults() {
    const QFont userFont = FontResolver::userFont();
    return {
        int32("fullScreenWidth", 5000),
        // Each pair's opening and closing character side by side.
        string("smartPairCharacters", QStringLiteral("<>\"\"{}[]()**__``")),
        boolean("enableSmartPairs", true),
        boolean("typeOverPeriods", false),
        boolean("SMART_ENTER_BLOCKQUOTE", true),
        boolean("SMART_ENTER_INDENT", true),
        boolean("SMART_ENTER_LIST", true),
        boolean("SMART_ENTER_HEADER", true),
        boolean("SMART_TAB", true),
        boolean("useUndoHistoryMode", false),
        integer("COALESCE_LEVEL", 3),
        boolean("checkSpelling", true),
        boolean("correctSpelling", true),
        string("defaultFontName", userFont.family()),
        real("defaultFontSize", float(userFont.pointSizeF())),
        int32("lineLength", 0),
        real("lineHeight", 1.0f),
        int32("horizontalPadding", 40),
        int32("verticalPadding", 60),
        string("defaultTheme", QStringLiteral("Solarized-Dark")),
        string("defaultCSS", QStringLiteral("Github")),
        int32("defaultTextAlignment", 0),
        boolean("useElasticTabstops", true),
        int32("defaultZoom", 100),
        boolean("defaultAutoZoom", false),
        boolean("defaultTypewriterMode", false),
        real("typewriterHeight", 0.5f),
        real("previewRatio", 0.5f),
        boolean("syncPreviewLocationWhileTyping", true),
        boolean("showPreviewAtFirst", true),
        boolean("liveUpdatePreview", true),
        real("tocWidth", 200.0f),
        real("refWidth", 200.0f),
        real("criticWidth", 250.0f),
        real("projectFileWidth", 200.0f),
        int32("appearanceTheme", 3),
        boolean("expandTOCAlways", false),
        int32("maxToCDepth", 10),
        boolean("refOnRight", true),
        boolean("showInfoBar", true),
        boolean("enableLionSaveFeatures", true),
        boolean("betterFilenames", false),
        boolean("autoTag", true),
        string("defaultTextFileExtension", QStringLiteral("md")),
        string("lastExportType", QStringLiteral("public.html")),
        boolean("NSPrintHeaderAndFooter", true),
        // "\\t" is backslash and "t", not a tab.
        string("printHeaderTemplate", QStringLiteral("%author\\t%%TITLE\\t%%DATE")),
        string("printFooterTemplate", QStringLiteral("\\t\\t%%PAGE of %%PAGES")),
        boolean("EXT_SMART", true),
        boolean("EXT_NOTES", true),
        boolean("EXT_NO_LABELS", false),
        integer("tzrEmphasisMarker", 0),
        integer("tzrStrongMarker", 0),
        integer("tzrTabsEqual", 0),
        integer("tzrListMarker", 0),
        boolean("markupInsertStamp", true),
        boolean("markupInsertDateStamp", true),
        string("markupDateFormat", QStringLiteral("%Y-%m-%d %H:%M:%S")),
        string("markupComment", QStringLiteral("")),
        boolean("checkForAnnouncements", true),
        integer("lastAnnouncementID", 0),
        boolean("syncConfigFilesBetweenDevices", false),
    };
}

QVariantMap registeredDefaultsMap() {
    QVariantMap map;
    for (const RegisteredDefault &entry : registeredDefaults())
        map.insert(entry.key, entry.value);
    return map;
}

void registerDefaults(Defaults &defaults) { defaults.registerDefaults(registeredDefaultsMap()); }

QList<UnregisteredKey> unregisteredKeys() {
    using K = DefaultKind;
    return {
        // Start-up and quit.
        {QStringLiteral("appCrashed"), K::Boolean},
        {QStringLiteral("timeInUse"), K::Float},
        {QStringLiteral("iCloudURL"), K::String},
        {QStringLiteral("iCloudToken"), K::Data},
        {QStringLiteral("useKeyBindingsForMenuBar"), K::Boolean},
        // Plain-text documents.
        {QStringLiteral("MERGE_FILE_CHANGES"), K::Boolean},
        {QStringLiteral("exportLineEndings"), K::Integer},
        {QStringLiteral("NSWindow Frame %@"), K::String},
        {QStringLiteral("Selection %@"), K::String},
        // Markdown documents.
        {QStringLiteral("previewWithMarked"), K::Boolean},
        {QStringLiteral("Theme %@"), K::String},
        {QStringLiteral("CSS %@"), K::String},
        // Printing.
        {QStringLiteral("printPageWidth"), K::Float},
        {QStringLiteral("printPageLeftMargin"), K::Float},
        {QStringLiteral("templatedHeader"), K::String},
        {QStringLiteral("templatedFooter"), K::String},
        // Preferences window.
        {QStringLiteral("lastPreferenceIdentifier"), K::String},
        // Folder permissions.
        {QStringLiteral("access folder - %@"), K::Data},
    };
}

QVariant zeroValue(DefaultKind kind) {
    switch (kind) {
    case DefaultKind::Boolean:
        return false;
    case DefaultKind::Int:
        return 0;
    case DefaultKind::Integer:
        return QVariant::fromValue<qlonglong>(0);
    case DefaultKind::Float:
        return 0.0f;
    case DefaultKind::String:
        return QString();
    case DefaultKind::Data:
        return QByteArray();
    }
    return QVariant();
}

ScopedStandardDefaults::ScopedStandardDefaults(bool withTable) {
    if (withTable)
        registerDefaults(m_defaults);
    m_previous = Defaults::setStandard(&m_defaults);
}

ScopedStandardDefaults::~ScopedStandardDefaults() { Defaults::setStandard(m_previous); }

}  // namespace platform
