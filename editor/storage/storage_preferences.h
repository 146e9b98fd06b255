// The preferences a text storage reads, as one value the caller fills in and
// hands over (at creation and whenever one changes). Keys are named as the
// user's preferences store them; the two words the storage builds from them
// (the text buffer's option word and the document engine's extension flags)
// are computed here.
#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <optional>

// What the CriticMarkup comment that follows a tracked change says.
struct CriticCommentPreferences {
    bool insertStamp = false;      // "markupInsertStamp": add a comment at all
    QString author;                // "markupComment"
    bool insertDateStamp = false;  // "markupInsertDateStamp"
    QString dateFormat;            // "markupDateFormat": strftime codes
    bool operator==(const CriticCommentPreferences &) const = default;
};

struct StoragePreferences {
    // Read once, when a storage is created: a later change reaches only
    // storages made afterwards.
    bool useUndoHistoryMode = false;  // "useUndoHistoryMode"
    bool requireDelimiter = false;    // "REQUIRE_DELIMITER"

    // The text buffer's editing steps.
    bool smartExpansion = false;        // "SMART_EXPANSION"
    bool preserveDelimiter = false;     // "PRESERVE_DELIMITER"
    bool enableSmartPairs = false;      // "enableSmartPairs"
    bool typeOverPeriods = false;       // "typeOverPeriods"
    bool smartEnterBlockquote = false;  // "SMART_ENTER_BLOCKQUOTE"
    bool smartEnterIndent = false;      // "SMART_ENTER_INDENT"
    bool smartEnterList = false;        // "SMART_ENTER_LIST"
    bool smartEnterList2x = false;      // "SMART_ENTER_LIST_2X"
    bool smartEnterListSame = false;    // "SMART_ENTER_LIST_SAME"
    bool smartEnterHeaderTitleCase = false;  // "SMART_ENTER_HEADER_TC"
    bool smartEnterHeaderHash = false;  // "SMART_ENTER_HEADER_HASH"
    bool smartEnterTable = false;       // "SMART_ENTER_TABLE"
    bool smartTab = false;              // "SMART_TAB"
    // "smartPairCharacters": opening and closing characters in pairs; unset
    // gives the eight default pairs.
    std::optional<QString> smartPairCharacters;
    // "COALESCE_LEVEL": 0-3 (its low 32 bits as unsigned); anything else is 3.
    qint64 coalesceLevel = 3;

    // The document engine's extensions.
    bool extSmart = false;             // "EXT_SMART"
    bool extNotes = false;             // "EXT_NOTES"
    bool extRandomFoot = false;        // "EXT_RANDOM_FOOT"
    bool extNoLabels = false;          // "EXT_NO_LABELS"
    bool extCritic = false;            // "EXT_CRITIC"
    bool extCriticAccept = false;      // "EXT_CRITIC_ACCEPT"
    bool extCriticReject = false;      // "EXT_CRITIC_REJECT"
    bool extTransclude = false;        // "EXT_TRANSCLUDE"
    bool extCompatibility = false;     // "EXT_COMPATIBILITY"
    bool extComplete = false;          // "EXT_COMPLETE"
    bool extSnippet = false;           // "EXT_SNIPPET"

    // Looks.
    QString defaultFontName = QStringLiteral("Palatino");  // "defaultFontName"
    double defaultFontSize = 12;                            // "defaultFontSize"
    double lineHeight = 0;             // "lineHeight": line-height multiple when the theme has none
    int defaultTextAlignment = 0;      // "defaultTextAlignment": 1 left, 2 right, 3 justified, 4 centred
    bool useElasticTabstops = false;   // "useElasticTabstops"

    // CriticMarkup and the emphasis toggles.
    CriticCommentPreferences criticComment;
    qint64 emphasisMarker = 0;         // "tzrEmphasisMarker": 0 "*", 1 "_"
    qint64 strongMarker = 0;           // "tzrStrongMarker": 0 "**", 1 "__"

    bool operator==(const StoragePreferences &) const = default;
};

// The eight default smart pairs, each opening character followed by its
// closing one.
extern const char kDefaultSmartPairs[];

// The text buffer's option word: 0xB01 (undo, placeholder Tab, statistics,
// mirror text) plus one group of bits per preference that is on; 0x400 when
// the buffer is already tracking changes.
uint64_t bufferOptionWord(const StoragePreferences &p, bool trackingChanges);

// The document engine's extension flags, built in the preferences' order:
// CriticMarkup accept and reject together leave only 0x200; compatibility
// replaces everything before it by 0x121.
uint64_t engineExtensionWord(const StoragePreferences &p);

// The undo coalescing level: 0-3 as given, 3 for anything else.
uint32_t coalesceLevel(const StoragePreferences &p);

// Reads the preferences through `value`, which gives a key's value (as the
// kind asked for, or as stored) or an invalid QVariant when it is unset; the
// field then keeps its default.
using PreferenceLookup = std::function<QVariant(const QString &key, QMetaType kind)>;
StoragePreferences readStoragePreferences(const PreferenceLookup &value);

namespace platform {
class Defaults;
}
// The same from the user's preferences, each key read by the preferences'
// own rules for its kind.
StoragePreferences readStoragePreferences(const platform::Defaults &defaults);

// What a storage does when an observed preference key changes.
enum class PreferenceReaction {
    CoalesceLevel,             // setCoalesceLevel
    Extensions,                // setExtensions: the buffer's option word
    SmartPairs,                // setSmartPairs
    ExtensionsThenSmartPairs,  // the pair tables add the period type-over
    Highlighting,              // applyHighlighting
    EngineRebuild,             // setTZRExtensions
};

struct ObservedPreference {
    const char *key;
    PreferenceReaction reaction;
};

// The 31 keys a storage observes, each with its reaction.
extern const ObservedPreference kObservedPreferences[31];
