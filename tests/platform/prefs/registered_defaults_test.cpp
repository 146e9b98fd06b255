// What a new user's preferences read: every registered key with its kind and
// value, the unregistered keys at zero, and stored values over both.
#include <gtest/gtest.h>

#include <QSet>

#include "platform/text/font_resolver.h"
#include "platform/prefs/registered_defaults.h"
#include "support/qt_print.h"

using platform::DefaultKind;
using platform::Defaults;
using platform::ScopedStandardDefaults;

namespace {

// The table, written out once more by hand, so that a slip in either copy
// shows. The two font keys are checked apart.
struct Expected {
    const char *key;
    DefaultKind kind;
    QVariant value;
};

const Expected kTable[] = {
    {"fullScreenWidth", DefaultKind::Int, 5000},
    {"smartPairCharacters", DefaultKind::String, "<>\"\"{}[]()**__``"},
    {"enableSmartPairs", DefaultKind::Boolean, true},
    {"typeOverPeriods", DefaultKind::Boolean, false},
    {"SMART_ENTER_BLOCKQUOTE", DefaultKind::Boolean, true},
    {"SMART_ENTER_INDENT", DefaultKind::Boolean, true},
    {"SMART_ENTER_LIST", DefaultKind::Boolean, true},
    {"SMART_ENTER_HEADER", DefaultKind::Boolean, true},
    {"SMART_TAB", DefaultKind::Boolean, true},
    {"useUndoHistoryMode", DefaultKind::Boolean, false},
    {"COALESCE_LEVEL", DefaultKind::Integer, 3},
    {"checkSpelling", DefaultKind::Boolean, true},
    {"correctSpelling", DefaultKind::Boolean, true},
    {"defaultFontName", DefaultKind::String, QVariant()},
    {"defaultFontSize", DefaultKind::Float, QVariant()},
    {"lineLength", DefaultKind::Int, 0},
    {"lineHeight", DefaultKind::Float, 1.0},
    {"horizontalPadding", DefaultKind::Int, 40},
    {"verticalPadding", DefaultKind::Int, 60},
    {"defaultTheme", DefaultKind::String, "Solarized-Dark"},
    {"defaultCSS", DefaultKind::String, "Github"},
    {"defaultTextAlignment", DefaultKind::Int, 0},
    {"useElasticTabstops", DefaultKind::Boolean, true},
    {"defaultZoom", DefaultKind::Int, 100},
    {"defaultAutoZoom", DefaultKind::Boolean, false},
    {"defaultTypewriterMode", DefaultKind::Boolean, false},
    {"typewriterHeight", DefaultKind::Float, 0.5},
    {"previewRatio", DefaultKind::Float, 0.5},
    {"syncPreviewLocationWhileTyping", DefaultKind::Boolean, true},
    {"showPreviewAtFirst", DefaultKind::Boolean, true},
    {"liveUpdatePreview", DefaultKind::Boolean, true},
    {"tocWidth", DefaultKind::Float, 200.0},
    {"refWidth", DefaultKind::Float, 200.0},
    {"criticWidth", DefaultKind::Float, 250.0},
    {"projectFileWidth", DefaultKind::Float, 200.0},
    {"appearanceTheme", DefaultKind::Int, 3},
    {"expandTOCAlways", DefaultKind::Boolean, false},
    {"maxToCDepth", DefaultKind::Int, 10},
    {"refOnRight", DefaultKind::Boolean, true},
    {"showInfoBar", DefaultKind::Boolean, true},
    {"enableLionSaveFeatures", DefaultKind::Boolean, true},
    {"betterFilenames", DefaultKind::Boolean, false},
    {"autoTag", DefaultKind::Boolean, true},
    {"defaultTextFileExtension", DefaultKind::String, "md"},
    {"lastExportType", DefaultKind::String, "public.html"},
    {"NSPrintHeaderAndFooter", DefaultKind::Boolean, true},
    {"printHeaderTemplate", DefaultKind::String, "%author\\t%%TITLE\\t%%DATE"},
    {"printFooterTemplate", DefaultKind::String, "\\t\\t%%PAGE of %%PAGES"},
    {"EXT_SMART", DefaultKind::Boolean, true},
    {"EXT_NOTES", DefaultKind::Boolean, true},
    {"EXT_NO_LABELS", DefaultKind::Boolean, false},
    {"tzrEmphasisMarker", DefaultKind::Integer, 0},
    {"tzrStrongMarker", DefaultKind::Integer, 0},
    {"tzrTabsEqual", DefaultKind::Integer, 0},
    {"tzrListMarker", DefaultKind::Integer, 0},
    {"markupInsertStamp", DefaultKind::Boolean, true},
    {"markupInsertDateStamp", DefaultKind::Boolean, true},
    {"markupDateFormat", DefaultKind::String, "%Y-%m-%d %H:%M:%S"},
    {"markupComment", DefaultKind::String, ""},
    {"checkForAnnouncements", DefaultKind::Boolean, true},
    {"lastAnnouncementID", DefaultKind::Integer, 0},
    {"syncConfigFilesBetweenDevices", DefaultKind::Boolean, false},
};

QMetaType::Type typeOf(DefaultKind kind) {
    switch (kind) {
    case DefaultKind::Boolean: return QMetaType::Bool;
    case DefaultKind::Int: return QMetaType::Int;
    case DefaultKind::Integer: return QMetaType::LongLong;
    case DefaultKind::Float: return QMetaType::Float;
    case DefaultKind::String: return QMetaType::QString;
    case DefaultKind::Data: return QMetaType::QByteArray;
    }
    return QMetaType::UnknownType;
}

}  // namespace

TEST(RegisteredDefaults, TheTableHoldsEveryKeyInOrderWithItsKindAndValue) {
    const QList<platform::RegisteredDefault> table = platform::registeredDefaults();
    ASSERT_EQ(table.size(), 62);
    ASSERT_EQ(std::size(kTable), 62u);
    for (qsizetype i = 0; i < table.size(); i++) {
        const Expected &want = kTable[i];
        const platform::RegisteredDefault &got = table[i];
        EXPECT_EQ(got.key, want.key) << "entry " << i;
        EXPECT_EQ(got.kind, want.kind) << want.key;
        EXPECT_EQ(got.value.typeId(), typeOf(want.kind)) << want.key;
        if (want.value.isValid()) {
            EXPECT_EQ(got.value, want.value) << want.key;
        }
    }
    const QString pairs = table[1].value.toString();
    ASSERT_EQ(pairs.size(), 16);
    EXPECT_FALSE(table[46].value.toString().contains(u'\t'));  // backslash and "t", not a tab

    // The two font keys take the user's font at the time of the call.
    const QFont user = platform::FontResolver::userFont();
    EXPECT_EQ(table[13].value.toString(), user.family());
    EXPECT_FLOAT_EQ(table[14].value.toFloat(), float(user.pointSizeF()));
}

TEST(RegisteredDefaults, ANewUserReadsTheDefaultsAndStoredValuesOverrideThem) {
    ScopedStandardDefaults scope;
    Defaults &defaults = Defaults::standard();
    ASSERT_EQ(&defaults, &scope.defaults());
    EXPECT_FLOAT_EQ(defaults.floatForKey("previewRatio"), 0.5f);
    EXPECT_EQ(defaults.integerForKey("maxToCDepth"), 10);
    EXPECT_EQ(defaults.integerForKey("appearanceTheme"), 3);
    EXPECT_EQ(defaults.stringForKey("lastExportType"), "public.html");
    EXPECT_EQ(defaults.integerForKey("COALESCE_LEVEL"), 3);
    EXPECT_TRUE(defaults.boolForKey("EXT_SMART"));
    EXPECT_EQ(defaults.stringForKey("markupComment"), "");
    EXPECT_FALSE(defaults.stringForKey("defaultFontName").isEmpty());
    EXPECT_GT(defaults.floatForKey("defaultFontSize"), 0.0f);

    defaults.setBool(false, "autoTag");
    EXPECT_FALSE(defaults.boolForKey("autoTag"));
    platform::registerDefaults(defaults);  // registering again changes nothing stored
    EXPECT_FALSE(defaults.boolForKey("autoTag"));

    // Unregistered keys read the zero value of their kind.
    QSet<QString> seen;
    for (const platform::UnregisteredKey &entry : platform::unregisteredKeys()) {
        EXPECT_FALSE(seen.contains(entry.key)) << entry.key.toStdString();
        seen.insert(entry.key);
        const QString key = Defaults::keyForPath(entry.key, "/home/ann/notes.md");
        EXPECT_FALSE(defaults.objectForKey(key).isValid()) << key.toStdString();
        EXPECT_FALSE(defaults.boolForKey(key));
        EXPECT_EQ(defaults.doubleForKey(key), 0.0);
        EXPECT_TRUE(defaults.stringForKey(key).isEmpty());
        EXPECT_TRUE(defaults.dataForKey(key).isEmpty());
        EXPECT_EQ(platform::zeroValue(entry.kind).typeId(), typeOf(entry.kind));
    }
    EXPECT_EQ(seen.size(), 18);
    for (const Expected &registered : kTable)
        EXPECT_FALSE(seen.contains(registered.key)) << registered.key;
}

TEST(RegisteredDefaults, AScopedStandardStoreIsFreshAndGivesTheOldOneBack) {
    Defaults *outer = &Defaults::standard();
    {
        ScopedStandardDefaults first;
        first.defaults().setBool(true, "appCrashed");
        {
            ScopedStandardDefaults bare(false);
            EXPECT_FALSE(Defaults::standard().boolForKey("appCrashed"));
            EXPECT_FALSE(Defaults::standard().objectForKey("previewRatio").isValid());
        }
        EXPECT_TRUE(Defaults::standard().boolForKey("appCrashed"));
    }
    EXPECT_EQ(&Defaults::standard(), outer);
    EXPECT_FALSE(outer->boolForKey("appCrashed"));
}
