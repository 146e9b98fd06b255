#include "editor/storage_preferences.h"

#include "smart_string.h"
#include "tzr.h"

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
