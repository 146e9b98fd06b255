// Text dragged to another place of the same editor: its removal and its
// insertion as one change of the buffer.
#include <string>

#include "editor/storage/smart_text_storage.h"
#include "editor/storage/storage_change.h"
#include "textengine/buffer/multi_edit.h"
#include "textengine/buffer/smart_string.h"

std::optional<CharRange> SmartTextStorage::moveCharactersInRange(CharRange range,
                                                                 qsizetype destination) {
    assertThread();
    range = clamp(range);
    destination = qBound<qsizetype>(0, destination, length());
    if (range.length == 0 || (destination >= range.location && destination <= range.end()))
        return std::nullopt;
    const auto [start, count] = byteRangeFromCharRange(range);
    const size_t to = byteRangeFromCharRange({destination, 0}).first;
    const std::string moved(str() + start, count);

    heading_record *removal = smart_string_heading_record_new(start, count, "");
    heading_record *insertion = smart_string_heading_record_new(to, 0, moved.c_str());
    stack *edits = stack_new(2);
    // Highest position first, as a multi-edit takes them.
    stack_push(edits, to > start ? insertion : removal);
    stack_push(edits, to > start ? removal : insertion);
    const size_t insertionIndex = to > start ? 0 : 1;

    std::optional<std::pair<size_t, size_t>> placed;  // bytes of the text after the move
    bool half = false;
    const bool changed = commandEdit([&](smart_string_change *change) {
        const uint64_t options =
            smart_string_get_options(m_buffer) &
            ~uint64_t(SMART_STRING_SMART_PAIRS | SMART_STRING_EXPANSIONS | SMART_STRING_PLACEHOLDER_TAB);
        smart_string_apply_edits(m_buffer, edits, change, options);
        if (change->result_count != 2)
            return;
        const smart_string_edit_result *result = change->results[insertionIndex];
        const size_t inserted = result->new_end - result->new_start;
        const bool removed = change->results[1 - insertionIndex]->removed_length > 0;
        if (inserted == 0 || !removed || result->caret_start < inserted) {
            half = inserted > 0 || removed;
            return;
        }
        placed = {result->caret_start - inserted, inserted};
        smart_string_set_caret(m_buffer, placed->first, placed->second);
    });
    smart_string_heading_records_free(removal);
    smart_string_heading_records_free(insertion);
    stack_free(edits);
    // Change tracking may refuse one half of the move; the other half alone
    // would lose or double the text, so it is taken back.
    if (half && changed)
        undo();
    if (!placed)
        return std::nullopt;
    return charRangeFromByteStart(placed->first, placed->second);
}
