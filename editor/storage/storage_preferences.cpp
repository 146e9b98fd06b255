#include "editor/storage/storage_preferences.h"

#include "platform/prefs/defaults.h"
#include "textengine/buffer/smart_string.h"
#include "library/tzr.h"

const char kDefaultSmartPairs[] = "<>\"\"{}[]()**__``";

uint64_t bufferOptionWord(const StoragePreferences &p, bool trackingChanges) {
    uint64_t word = SMART_STRING_UNDO | SMART_STRING_PLACEHOLDER_TAB | SMART_STRING_STATISTICS |
                    SMART_STRING_MIRROR;
    struct Bit {
        bool on;
        uint64_t bits;
    };
    const Bit bits[] = {
        {p.useUndoHistoryMode, SMART_STRING_LINEAR_UNDO},
        {p.smartExpansion, SMART_STRING_EXPANSIONS},
        {p.requireDelimiter, SMART_STRING_EXPANSION_DELIMITER},
        {p.preserveDelimiter, SMART_STRING_KEEP_DELIMITER},
        {p.enableSmartPairs, SMART_STRING_SMART_PAIRS},
        {p.typeOverPeriods, SMART_STRING_TYPE_OVER_PERIODS},
        {p.smartEnterBlockquote, SMART_STRING_SMART_ENTER | SMART_STRING_ENTER_BLOCKQUOTE},
        {p.smartEnterIndent, SMART_STRING_SMART_ENTER | SMART_STRING_ENTER_INDENT},
        {p.smartEnterList, SMART_STRING_SMART_ENTER | SMART_STRING_ENTER_LIST},
        {p.smartEnterList2x, SMART_STRING_ENTER_LIST_2X},
        {p.smartEnterListSame, SMART_STRING_ENTER_LIST_SAME},
        {p.smartEnterHeaderTitleCase, SMART_STRING_SMART_ENTER | SMART_STRING_ENTER_HEADING |
                                          SMART_STRING_ENTER_HEADING_TC},
        {p.smartEnterHeaderHash, SMART_STRING_SMART_ENTER | SMART_STRING_ENTER_HEADING |
                                     SMART_STRING_ENTER_HEADING_HASH},
        {p.smartEnterTable, SMART_STRING_SMART_ENTER | SMART_STRING_ENTER_TABLE},
        {p.smartTab, SMART_STRING_SMART_TAB},
        {trackingChanges, SMART_STRING_CHANGE_TRACKING},
    };
    for (const Bit &bit : bits)
        if (bit.on)
            word |= bit.bits;
    return word;
}

uint64_t engineExtensionWord(const StoragePreferences &p) {
    uint64_t word = 0;
    if (p.extSmart)
        word |= TZR_EXT_SMART;
    if (p.extNotes)
        word |= TZR_EXT_NOTES;
    if (p.extRandomFoot)
        word |= TZR_EXT_RANDOM_FOOT;
    if (p.extNoLabels)
        word |= TZR_EXT_NO_LABELS;
    if (p.extCritic)
        word |= TZR_EXT_CRITIC;
    if (p.extCriticAccept)
        word |= TZR_EXT_CRITIC | TZR_EXT_CRITIC_ACCEPT;
    if (p.extCriticReject)
        word |= TZR_EXT_CRITIC | TZR_EXT_CRITIC_REJECT;
    if ((word & TZR_EXT_CRITIC_ACCEPT) && (word & TZR_EXT_CRITIC_REJECT))
        word &= ~uint64_t(TZR_EXT_CRITIC_ACCEPT | TZR_EXT_CRITIC_REJECT);
    if (p.extTransclude)
        word |= TZR_EXT_TRANSCLUDE;
    if (p.extCompatibility)
        word = 0x121;
    if (p.extComplete)
        word |= TZR_EXT_COMPLETE;
    if (p.extSnippet)
        word |= TZR_EXT_SNIPPET;
    return word;
}

uint32_t coalesceLevel(const StoragePreferences &p) {
    uint32_t level = uint32_t(uint64_t(p.coalesceLevel) & 0xFFFFFFFFu);
    return level <= 3 ? level : 3;
}

namespace {

using Flag = bool StoragePreferences::*;

struct FlagKey {
    const char *key;
    Flag flag;
};

const FlagKey kFlagKeys[] = {
    {"useUndoHistoryMode", &StoragePreferences::useUndoHistoryMode},
    {"REQUIRE_DELIMITER", &StoragePreferences::requireDelimiter},
    {"SMART_EXPANSION", &StoragePreferences::smartExpansion},
    {"PRESERVE_DELIMITER", &StoragePreferences::preserveDelimiter},
    {"enableSmartPairs", &StoragePreferences::enableSmartPairs},
    {"typeOverPeriods", &StoragePreferences::typeOverPeriods},
    {"SMART_ENTER_BLOCKQUOTE", &StoragePreferences::smartEnterBlockquote},
    {"SMART_ENTER_INDENT", &StoragePreferences::smartEnterIndent},
    {"SMART_ENTER_LIST", &StoragePreferences::smartEnterList},
    {"SMART_ENTER_LIST_2X", &StoragePreferences::smartEnterList2x},
    {"SMART_ENTER_LIST_SAME", &StoragePreferences::smartEnterListSame},
    {"SMART_ENTER_HEADER_TC", &StoragePreferences::smartEnterHeaderTitleCase},
    {"SMART_ENTER_HEADER_HASH", &StoragePreferences::smartEnterHeaderHash},
    {"SMART_ENTER_TABLE", &StoragePreferences::smartEnterTable},
    {"SMART_TAB", &StoragePreferences::smartTab},
    {"EXT_SMART", &StoragePreferences::extSmart},
    {"EXT_NOTES", &StoragePreferences::extNotes},
    {"EXT_RANDOM_FOOT", &StoragePreferences::extRandomFoot},
    {"EXT_NO_LABELS", &StoragePreferences::extNoLabels},
    {"EXT_CRITIC", &StoragePreferences::extCritic},
    {"EXT_CRITIC_ACCEPT", &StoragePreferences::extCriticAccept},
    {"EXT_CRITIC_REJECT", &StoragePreferences::extCriticReject},
    {"EXT_TRANSCLUDE", &StoragePreferences::extTransclude},
    {"EXT_COMPATIBILITY", &StoragePreferences::extCompatibility},
    {"EXT_COMPLETE", &StoragePreferences::extComplete},
    {"EXT_SNIPPET", &StoragePreferences::extSnippet},
    {"useElasticTabstops", &StoragePreferences::useElasticTabstops},
};

}  // namespace

StoragePreferences readStoragePreferences(const PreferenceLookup &value) {
    StoragePreferences p;
    if (!value)
        return p;
    auto read = [&](const char *key, QMetaType::Type kind) {
        return value(QString::fromLatin1(key), QMetaType(kind));
    };
    for (const FlagKey &entry : kFlagKeys) {
        QVariant v = read(entry.key, QMetaType::Bool);
        if (v.isValid())
            p.*entry.flag = v.toBool();
    }
    if (QVariant v = read("smartPairCharacters", QMetaType::QString); v.isValid() && !v.isNull())
        p.smartPairCharacters = v.toString();
    if (QVariant v = read("COALESCE_LEVEL", QMetaType::LongLong); v.isValid())
        p.coalesceLevel = v.toLongLong();
    if (QVariant v = read("defaultFontName", QMetaType::QString); v.isValid() && !v.toString().isEmpty())
        p.defaultFontName = v.toString();
    if (QVariant v = read("defaultFontSize", QMetaType::Double); v.isValid())
        p.defaultFontSize = v.toDouble();
    if (QVariant v = read("lineHeight", QMetaType::Double); v.isValid())
        p.lineHeight = v.toDouble();
    if (QVariant v = read("defaultTextAlignment", QMetaType::LongLong); v.isValid())
        p.defaultTextAlignment = v.toInt();
    CriticCommentPreferences &comment = p.criticComment;
    if (QVariant v = read("markupInsertStamp", QMetaType::Bool); v.isValid())
        comment.insertStamp = v.toBool();
    if (QVariant v = read("markupComment", QMetaType::QString); v.isValid())
        comment.author = v.toString();
    if (QVariant v = read("markupInsertDateStamp", QMetaType::Bool); v.isValid())
        comment.insertDateStamp = v.toBool();
    if (QVariant v = read("markupDateFormat", QMetaType::QString); v.isValid())
        comment.dateFormat = v.toString();
    if (QVariant v = read("tzrEmphasisMarker", QMetaType::LongLong); v.isValid())
        p.emphasisMarker = v.toLongLong();
    if (QVariant v = read("tzrStrongMarker", QMetaType::LongLong); v.isValid())
        p.strongMarker = v.toLongLong();
    return p;
}

StoragePreferences readStoragePreferences(const platform::Defaults &defaults) {
    return readStoragePreferences([&defaults](const QString &key, QMetaType kind) -> QVariant {
        if (!defaults.objectForKey(key).isValid())
            return QVariant();
        switch (kind.id()) {
        case QMetaType::Bool:
            return defaults.boolForKey(key);
        case QMetaType::LongLong:
            return defaults.integerForKey(key);
        case QMetaType::Double:
            return defaults.doubleForKey(key);
        default:
            return defaults.stringForKey(key);
        }
    });
}

const ObservedPreference kObservedPreferences[31] = {
    {"COALESCE_LEVEL", PreferenceReaction::CoalesceLevel},
    {"enableSmartPairs", PreferenceReaction::Extensions},
    {"smartPairCharacters", PreferenceReaction::SmartPairs},
    {"typeOverPeriods", PreferenceReaction::ExtensionsThenSmartPairs},
    {"useElasticTabstops", PreferenceReaction::Highlighting},
    {"EXT_SMART", PreferenceReaction::EngineRebuild},
    {"EXT_NOTES", PreferenceReaction::EngineRebuild},
    {"EXT_RANDOM_FOOT", PreferenceReaction::EngineRebuild},
    {"EXT_NO_LABELS", PreferenceReaction::EngineRebuild},
    {"EXT_CRITIC", PreferenceReaction::EngineRebuild},
    {"EXT_CRITIC_ACCEPT", PreferenceReaction::EngineRebuild},
    {"EXT_CRITIC_REJECT", PreferenceReaction::EngineRebuild},
    {"EXT_TRANSCLUDE", PreferenceReaction::EngineRebuild},
    {"EXT_COMPATIBILITY", PreferenceReaction::EngineRebuild},
    {"EXT_COMPLETE", PreferenceReaction::EngineRebuild},
    {"EXT_SNIPPET", PreferenceReaction::EngineRebuild},
    {"SMART_ENTER_BLOCKQUOTE", PreferenceReaction::Extensions},
    {"SMART_ENTER_INDENT", PreferenceReaction::Extensions},
    {"SMART_ENTER_LIST", PreferenceReaction::Extensions},
    {"SMART_ENTER_LIST_2X", PreferenceReaction::Extensions},
    {"SMART_ENTER_LIST_SAME", PreferenceReaction::Extensions},
    {"SMART_ENTER_HEADER_TC", PreferenceReaction::Extensions},
    {"SMART_ENTER_HEADER_HASH", PreferenceReaction::Extensions},
    {"SMART_ENTER_TABLE", PreferenceReaction::Extensions},
    {"SMART_EXPANSION", PreferenceReaction::Extensions},
    {"REQUIRE_DELIMITER", PreferenceReaction::Extensions},
    {"PRESERVE_DELIMITER", PreferenceReaction::Extensions},
    {"markupInsertStamp", PreferenceReaction::Extensions},
    {"markupInsertDateStamp", PreferenceReaction::Extensions},
    {"markupDateFormat", PreferenceReaction::Extensions},
    {"markupComment", PreferenceReaction::Extensions},
};
