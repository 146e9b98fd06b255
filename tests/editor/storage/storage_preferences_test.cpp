// The words a storage builds from the preferences, and how it reacts when
// one of them changes.
#include <QCoreApplication>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "editor/storage/smart_text_storage.h"
#include "editor/editor_test_support.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "platform/prefs/registered_defaults.h"
#include "textengine/typing/change_tracking.h"
#include "textengine/buffer/smart_string.h"
#include "library/tzr.h"

namespace {

// Lets queued and background work run to its end.
void settle() {
    for (int i = 0; i < 5; i++) {
        platform::Dispatch::waitForBackground();
        QCoreApplication::processEvents();
    }
}

}  // namespace

TEST(StoragePreferences, BufferOptionWordHasOneGroupOfBitsPerPreference) {
    struct Row {
        bool StoragePreferences::*key;
        uint64_t bits;
    };
    const Row rows[] = {
        {&StoragePreferences::useUndoHistoryMode, 0x2},
        {&StoragePreferences::smartExpansion, 0x20},
        {&StoragePreferences::requireDelimiter, 0x40},
        {&StoragePreferences::preserveDelimiter, 0x80},
        {&StoragePreferences::enableSmartPairs, 0x8},
        {&StoragePreferences::typeOverPeriods, 0x10},
        {&StoragePreferences::smartEnterBlockquote, 0x11000},
        {&StoragePreferences::smartEnterIndent, 0x21000},
        {&StoragePreferences::smartEnterList, 0x3000},
        {&StoragePreferences::smartEnterList2x, 0x4000},
        {&StoragePreferences::smartEnterListSame, 0x8000},
        {&StoragePreferences::smartEnterHeaderTitleCase, 0xC1000},
        {&StoragePreferences::smartEnterHeaderHash, 0x141000},
        {&StoragePreferences::smartEnterTable, 0x201000},
        {&StoragePreferences::smartTab, 0x400000},
    };
    EXPECT_EQ(bufferOptionWord(StoragePreferences{}, false), 0xB01u);
    EXPECT_EQ(bufferOptionWord(StoragePreferences{}, true), 0xF01u);
    for (const Row &row : rows) {
        StoragePreferences p;
        p.*row.key = true;
        EXPECT_EQ(bufferOptionWord(p, false), 0xB01u | row.bits) << std::hex << row.bits;
    }
}

TEST(StoragePreferences, ExtensionWordFollowsTheOrderOfItsRules) {
    StoragePreferences p;
    p.extSmart = p.extNotes = p.extRandomFoot = p.extNoLabels = p.extTransclude = true;
    EXPECT_EQ(engineExtensionWord(p), 0x08u | 0x10 | 0x1000 | 0x20 | 0x2000);
    StoragePreferences critic;
    critic.extCriticAccept = true;
    EXPECT_EQ(engineExtensionWord(critic), 0x600u);
    critic.extCriticReject = true;  // both together leave CriticMarkup alone
    EXPECT_EQ(engineExtensionWord(critic), 0x200u);
    critic.extCriticAccept = false;
    EXPECT_EQ(engineExtensionWord(critic), 0xA00u);
    p.extCompatibility = true;
    EXPECT_EQ(engineExtensionWord(p), 0x121u);
    p.extComplete = p.extSnippet = true;
    EXPECT_EQ(engineExtensionWord(p), 0x127u);
}

TEST(StoragePreferences, CoalesceLevelOutsideItsRangeIsThree) {
    StoragePreferences p;
    for (qint64 level : {0, 1, 2, 3}) {
        p.coalesceLevel = level;
        EXPECT_EQ(coalesceLevel(p), uint32_t(level));
    }
    for (qint64 level : {qint64(7), qint64(-1), qint64(0x100000001)}) {
        p.coalesceLevel = level;
        EXPECT_EQ(coalesceLevel(p), level == 0x100000001 ? 1u : 3u) << level;
    }
}

TEST(StoragePreferences, OptionChangesKeepTheBitsFixedAtCreationAndTracking) {
    StoragePreferences p;
    p.useUndoHistoryMode = true;
    p.requireDelimiter = true;
    SmartTextStorage storage(p);
    _SString *buffer = storage.buffer();
    EXPECT_EQ(smart_string_get_options(buffer) & 0x43, 0x43u);
    smart_string_start_tracking_changes(buffer);
    StoragePreferences next = p;
    next.useUndoHistoryMode = false;  // latched: no effect on this storage
    next.requireDelimiter = false;
    next.enableSmartPairs = true;
    storage.setPreferences(next);
    EXPECT_TRUE(storage.preferences().useUndoHistoryMode);
    EXPECT_TRUE(storage.preferences().requireDelimiter);
    const uint64_t options = smart_string_get_options(buffer);
    EXPECT_EQ(options & 0x43, 0x43u);
    EXPECT_TRUE(options & 0x8);
    EXPECT_TRUE(options & 0x400);  // still tracking changes
    storage.disableSmartPairs();
    EXPECT_EQ(smart_string_get_options(buffer), options & ~uint64_t(0x8));
    storage.enableSmartPairs();
    EXPECT_EQ(smart_string_get_options(buffer), options);
}

TEST(StoragePreferences, SmartPairsUseTheChosenCharacters) {
    StoragePreferences p;
    p.enableSmartPairs = true;
    SmartTextStorage storage(p);
    storage.replaceCharactersInRange({0, 0}, QStringLiteral("("));
    EXPECT_EQ(storage.string(), QStringLiteral("()"));
    p.smartPairCharacters = QStringLiteral("{}");
    storage.setPreferences(p);
    storage.replaceCharactersInRange({1, 0}, QStringLiteral("{"));
    storage.replaceCharactersInRange({2, 0}, QStringLiteral("("));
    EXPECT_EQ(storage.string(), QStringLiteral("({(})"));
    EXPECT_EQ(storage.document()->toPlainText(), QStringLiteral("({(})"));
}

TEST(StoragePreferences, AnExtensionChangeRebuildsTheEngineOnALaterTurn) {
    auto storage = std::make_unique<SmartTextStorage>();
    storage->applyThemeFromPath(editortest::themePath());
    storage->setInitialText(QStringLiteral("a {++critic++} mark"));
    tzr_engine *before = storage->engine();
    StoragePreferences p;
    p.extCritic = true;
    storage->setPreferences(p);
    EXPECT_EQ(storage->engine(), before);  // not yet
    settle();
    EXPECT_NE(storage->engine(), nullptr);
    EXPECT_EQ(storage->engine()->extensions, 0x200u);
    // With CriticMarkup on, the addition is styled as one.
    EXPECT_EQ(storage->attributesAt(5).background, QColor(QStringLiteral("#CCFFCC")).rgba());

    // A storage destroyed before its rebuild runs takes the rebuild with it.
    p.extNotes = true;
    storage->setPreferences(p);
    storage.reset();
    settle();
}

TEST(StoragePreferences, FollowsTheUserPreferences) {
    platform::ScopedStandardDefaults scoped;
    platform::Defaults &defaults = scoped.defaults();
    defaults.setBool(false, QStringLiteral("enableSmartPairs"));
    defaults.setBool(true, QStringLiteral("REQUIRE_DELIMITER"));
    SmartTextStorage storage(defaults);
    storage.applyThemeFromPath(editortest::themePath());
    EXPECT_EQ(smart_string_get_options(storage.buffer()) & 0x48, 0x40u);
    EXPECT_EQ(storage.extensions(), engineExtensionWord(readStoragePreferences(defaults)));

    defaults.setBool(true, QStringLiteral("enableSmartPairs"));
    EXPECT_TRUE(smart_string_get_options(storage.buffer()) & 0x8);
    defaults.setInteger(7, QStringLiteral("COALESCE_LEVEL"));
    EXPECT_EQ(storage.preferences().coalesceLevel, 7);
    defaults.setBool(false, QStringLiteral("REQUIRE_DELIMITER"));  // latched
    EXPECT_TRUE(smart_string_get_options(storage.buffer()) & 0x40);
    // Tab's list indenting, switched beside Return's steps, follows too.
    defaults.setBool(true, QStringLiteral("SMART_TAB"));
    EXPECT_TRUE(smart_string_get_options(storage.buffer()) & 0x400000);
    defaults.setBool(false, QStringLiteral("SMART_TAB"));
    EXPECT_FALSE(smart_string_get_options(storage.buffer()) & 0x400000);
    // So do the looks the preferences window sets.
    defaults.setFloat(1.75f, QStringLiteral("lineHeight"));
    defaults.setInteger(3, QStringLiteral("defaultTextAlignment"));
    EXPECT_DOUBLE_EQ(storage.preferences().lineHeight, 1.75);
    EXPECT_EQ(storage.preferences().defaultTextAlignment, 3);

    const uint64_t before = storage.engine()->extensions;
    defaults.setBool(!defaults.boolForKey(QStringLiteral("EXT_CRITIC")), QStringLiteral("EXT_CRITIC"));
    settle();
    EXPECT_EQ(storage.engine()->extensions, before ^ 0x200);

    // A storage made afterwards sees the latched key's new value.
    SmartTextStorage later(defaults);
    EXPECT_FALSE(smart_string_get_options(later.buffer()) & 0x40);
    storage.stopObservingDefaults();
    defaults.setBool(false, QStringLiteral("enableSmartPairs"));
    EXPECT_TRUE(smart_string_get_options(storage.buffer()) & 0x8);
}

TEST(StoragePreferences, LooksPreferencesRestyleAtOnce) {
    SmartTextStorage storage;
    storage.applyThemeFromPath(editortest::writeTheme(QStringLiteral("plain.theme"), "{}"));
    storage.setInitialText(QStringLiteral("text"));
    StoragePreferences p;
    p.lineHeight = 1.25;
    p.defaultTextAlignment = 2;
    storage.setPreferences(p);
    EXPECT_EQ(storage.document()->firstBlock().blockFormat().alignment(), Qt::AlignRight);
    EXPECT_EQ(storage.document()->firstBlock().blockFormat().lineHeight(), 125);
    p.defaultFontName = QStringLiteral("DejaVu Sans Mono");
    p.defaultFontSize = 17;
    storage.setPreferences(p);
    storage.resetDefaultFont();
    EXPECT_EQ(storage.defaultFont().family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_EQ(storage.attributesAt(0).pointSize, 17);
    p.defaultFontName = QStringLiteral("No Such Font Anywhere");
    storage.setPreferences(p);
    storage.resetDefaultFont();
    EXPECT_NE(storage.defaultFont().family(), QStringLiteral("No Such Font Anywhere"));
}

TEST(StoragePreferences, ReadFromStoredValuesOfAnyType) {
    // Stored values come back typed or as text (an INI file gives text).
    QHash<QString, QVariant> stored = {
        {QStringLiteral("enableSmartPairs"), QStringLiteral("true")},
        {QStringLiteral("SMART_TAB"), 1},
        {QStringLiteral("EXT_NOTES"), QStringLiteral("1")},
        {QStringLiteral("EXT_SMART"), QStringLiteral("false")},
        {QStringLiteral("COALESCE_LEVEL"), QStringLiteral("7")},
        {QStringLiteral("smartPairCharacters"), QStringLiteral("()")},
        {QStringLiteral("defaultFontSize"), QStringLiteral("15.5")},
    };
    StoragePreferences p = readStoragePreferences(
        [&](const QString &key, QMetaType) { return stored.value(key); });
    EXPECT_TRUE(p.enableSmartPairs);
    EXPECT_TRUE(p.smartTab);
    EXPECT_TRUE(p.extNotes);
    EXPECT_FALSE(p.extSmart);
    EXPECT_EQ(coalesceLevel(p), 3u);
    EXPECT_EQ(p.smartPairCharacters, QStringLiteral("()"));
    EXPECT_EQ(p.defaultFontSize, 15.5);
    EXPECT_EQ(p.defaultFontName, QStringLiteral("Palatino"));  // unset: the default
    // Every observed key is a key that is read, or one of the CriticMarkup
    // comment's (read by change tracking).
    int comment = 0;
    for (const ObservedPreference &observed : kObservedPreferences)
        comment += QByteArray(observed.key).startsWith("markup");
    EXPECT_EQ(comment, 4);
    EXPECT_EQ(std::size(kObservedPreferences), 31u);
}
