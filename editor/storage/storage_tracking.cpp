// The storage's document services over the text buffer: change tracking and
// the CriticMarkup marks around the selection, completion words, and the
// emphasis and strong toggles.
#include "editor/storage/smart_text_storage.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "textengine/typing/autocomplete.h"
#include "textengine/typing/change_tracking.h"
#include "editor/storage/critic_markup.h"
#include "editor/storage/storage_change.h"
#include "library/engine.h"
#include "textengine/transforms/markup_toggles.h"
#include "textengine/buffer/multi_edit.h"
#include "library/queries.h"
#include "textengine/buffer/smart_string.h"
#include "library/token_types.h"
#include "library/tzr.h"

namespace {

// A byte range the buffer found, as units; nothing for its "none".
std::optional<CharRange> foundRange(const SmartTextStorage &storage, size_t start, size_t length) {
    if (start == size_t(-1))
        return std::nullopt;
    return storage.charRangeFromByteStart(start, length);
}

// The lines of a newline-separated list from the buffer; the list is freed.
QStringList takeLines(char *list) {
    QStringList lines;
    if (!list)
        return lines;
    for (const QString &line : QString::fromUtf8(list).split(QLatin1Char('\n')))
        if (!line.isEmpty())
            lines.append(line);
    free(list);
    return lines;
}

// The marker a toggle uses by its preference: 0 and 1 choose, anything else
// chooses none.
const char *chosenMarker(qint64 preference, const char *zero, const char *one) {
    return preference == 0 ? zero : preference == 1 ? one : nullptr;
}

}  // namespace

// --- Command edits ---------------------------------------------------------------------

bool SmartTextStorage::commandEdit(const std::function<void(smart_string_change *)> &edit) {
    assertThread();
    Change change(kUserEditTag | kCommandTag);
    // Coalescing would merge a one-character command ("#" added to a
    // heading) into the typing before it.
    const uint32_t coalescing = m_buffer->coalesce_level;
    smart_string_set_coalesce_level(m_buffer, 0);
    edit(change.get());
    smart_string_set_coalesce_level(m_buffer, coalescing);
    patch(change.start(), change.removed(), change.inserted());
    return change.removed() || change.inserted();
}

// --- The comment template ----------------------------------------------------------------

QString SmartTextStorage::criticMarkupCommentDefault(const CriticCommentPreferences &preferences) {
    if (!preferences.insertStamp)
        return QString();
    // The buffer fills in the date when it writes the comment; the
    // separator stands even when the format gives no date text, except for
    // a format of one space, whose part would be nothing but blanks.
    QString date;
    if (preferences.insertDateStamp)
        date = QStringLiteral(" - ") + preferences.dateFormat;
    if (date == QLatin1String(" -  "))
        date.clear();
    return preferences.author + date;
}

void SmartTextStorage::setCriticCommentTemplate() {
    const QByteArray comment = criticMarkupCommentDefault(m_preferences.criticComment).toUtf8();
    smart_string_set_comment_template(m_buffer, comment.isEmpty() ? nullptr : comment.constData());
}

// --- Tracking and marks -----------------------------------------------------------------

void SmartTextStorage::startTrackingChanges() { smart_string_start_tracking_changes(m_buffer); }
void SmartTextStorage::stopTrackingChanges() { smart_string_stop_tracking_changes(m_buffer); }
void SmartTextStorage::toggleChangeTracking() { smart_string_toggle_change_tracking(m_buffer); }
bool SmartTextStorage::isTrackingChanges() const { return smart_string_is_tracking_changes(m_buffer); }

bool SmartTextStorage::replaceCharactersWithCriticNote(CharRange range, const QString &text) {
    assertThread();
    range = clamp(range);
    const QByteArray bytes = textunits::bufferBytes(text);
    auto [start, length] = byteRangeFromCharRange(range);
    Change change(kUserEditTag);
    smart_string_replace_with_note(m_buffer, start, length, bytes.constData(), change.get());
    patch(change.start(), change.removed(), change.inserted());
    return change.removed() || change.inserted();
}

std::optional<CharRange> SmartTextStorage::rangeOfCriticChangeIntersectingRange(CharRange range) {
    auto [start, length] = byteRangeFromCharRange(range);
    size_t found = size_t(-1), foundLength = 0;
    smart_string_change_intersecting_range(m_buffer, start, length, &found, &foundLength);
    return foundRange(*this, found, foundLength);
}

std::optional<CharRange> SmartTextStorage::rangeOfNextCriticChange(qsizetype position) {
    size_t found = size_t(-1), foundLength = 0;
    smart_string_next_change(m_buffer, byteRangeFromCharRange({position, 0}).first, &found,
                             &foundLength);
    return foundRange(*this, found, foundLength);
}

std::optional<CharRange> SmartTextStorage::rangeOfPreviousCriticChange(qsizetype position) {
    size_t found = size_t(-1), foundLength = 0;
    smart_string_previous_change(m_buffer, byteRangeFromCharRange({position, 0}).first, &found,
                                 &foundLength);
    return foundRange(*this, found, foundLength);
}

int SmartTextStorage::canEditRange(CharRange range, qsizetype replacementLength) {
    auto [start, length] = byteRangeFromCharRange(range);
    return smart_string_can_edit_range(m_buffer, start, length,
                                       size_t(qMax<qsizetype>(0, replacementLength)));
}

// --- Completions ------------------------------------------------------------------------

QStringList SmartTextStorage::completionsForPartialWordRange(CharRange range,
                                                             int *indexOfSelectedItem) {
    if (indexOfSelectedItem)
        *indexOfSelectedItem = 0;
    range = clamp(range);
    const QString partial = string().mid(range.location, range.length);
    addReferencesToAutoComplete();
    QStringList words = takeLines(smart_string_autocomplete_fuzzy(m_buffer, partial.toUtf8().constData()));
    words.removeAll(partial);
    return words;
}

QStringList SmartTextStorage::labelCompletionsForPartialWordRange(CharRange range,
                                                                  int *indexOfSelectedItem) {
    if (indexOfSelectedItem)
        *indexOfSelectedItem = 0;
    range = clamp(range);
    const QString partial = string().mid(range.location, range.length).toLower();
    addReferencesToAutoComplete();
    QStringList words = takeLines(smart_string_autocomplete_fuzzy(m_buffer, partial.toUtf8().constData()));
    words.removeIf([&partial](const QString &word) { return !word.toLower().startsWith(partial); });
    if (words.isEmpty() && indexOfSelectedItem)
        *indexOfSelectedItem = -1;
    return words;
}

// The storage's own engine parses the mirror text, where every character
// outside ASCII reads "x": labels and titles would come back as "xber" for
// "Über". They are read from a throwaway engine over the real text instead,
// which needs none of the storage engine's lock.
void SmartTextStorage::addReferencesToAutoComplete() {
    assertThread();
    tzr_engine *e = tzr_engine_create_with_string(str(), extensions());
    if (!e)
        return;
    // The export registers the link and note definitions; its text is not
    // needed.
    free(tzr_engine_convert(e, TZR_FORMAT_HTML));
    if (stack *labels = tzr_engine_reference_labels(e)) {
        for (size_t i = 0; i < labels->size; i++)
            smart_string_autocomplete_add(m_buffer, static_cast<const char *>(labels->element[i]));
        string_stack_free(labels);
    }
    header *toc = tzr_engine_toc_entries(e);
    addHeadersToAutoComplete(toc);
    toc_entry_free(toc);
    tzr_engine_free(e, true);
}

void SmartTextStorage::addHeadersToAutoComplete(const header *toc) {
    // Each entry, its sub-entries, then its next sibling: depth first,
    // without recursion over long chains of siblings.
    std::vector<const header *> pending;
    if (toc)
        pending.push_back(toc);
    while (!pending.empty()) {
        const header *entry = pending.back();
        pending.pop_back();
        if (entry->title && *entry->title)
            smart_string_autocomplete_add(m_buffer, entry->title);
        if (entry->next)
            pending.push_back(entry->next);
        if (entry->child)
            pending.push_back(entry->child);
    }
}

void SmartTextStorage::addBibtexToAutoComplete(const QSet<QString> &citeKeys) {
    for (const QString &key : citeKeys)
        smart_string_autocomplete_add(m_buffer, key.toUtf8().constData());
}

// --- Emphasis and strong ------------------------------------------------------------------

void SmartTextStorage::addMarkupType(int type, CharRange range) {
    assertThread();
    const char *marker = nullptr;
    if (type == PAIR_EMPH)
        marker = chosenMarker(m_preferences.emphasisMarker, "*", "_");
    else if (type == PAIR_STRONG)
        marker = chosenMarker(m_preferences.strongMarker, "**", "__");
    // No marker: a toggle would add or strip empty markers, which is no
    // change the user asked for.
    if (!marker)
        return;

    auto [start, length] = byteRangeFromCharRange(range);
    tzr_engine *e = tzr_engine_create_with_string(str(), extensions());
    if (!e)
        return;
    size_t selectionStart = 0, selectionLength = 0;
    char *replacement = markup_toggle_on_range(e, &start, &length, &selectionStart,
                                               &selectionLength, marker, marker,
                                               type == PAIR_STRONG, type == PAIR_EMPH);
    tzr_engine_free(e, true);
    if (!replacement)
        return;

    commandEdit([&, start = start, length = length](smart_string_change *change) {
        const size_t before = len();
        const size_t replacementLength = strlen(replacement);
        smart_string_bulk_replace(m_buffer, start, length, replacement, change);
        // The selection is that of the text as the toggle wrote it; when the
        // buffer made something else of the edit (change tracking marks it
        // up), the caret stays where the bulk edit anchored it.
        if (len() == before - length + replacementLength &&
            memcmp(str() + start, replacement, replacementLength) == 0)
            smart_string_set_caret(m_buffer, selectionStart, selectionLength);
    });
    free(replacement);
}

void SmartTextStorage::addStrongToRange(CharRange range) { addMarkupType(PAIR_STRONG, range); }
void SmartTextStorage::addEmphToRange(CharRange range) { addMarkupType(PAIR_EMPH, range); }
