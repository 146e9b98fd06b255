#include "editor/storage/smart_text_storage.h"

#include <QClipboard>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>

#include <cstdlib>
#include <cstring>

#include "editor/editor_interfaces.h"
#include "editor/editor_log.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/storage/line_parts.h"
#include "editor/storage/storage_change.h"
#include "textengine/typing/expansions.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "textengine/buffer/multi_edit.h"
#include "textengine/typing/smart_pairs.h"
#include "textengine/buffer/smart_string.h"
#include "textengine/transforms/text_ranges.h"
#include "library/token.h"
#include "library/tzr.h"
#include "textengine/buffer/undo.h"

namespace {

const char kClipboardMarker[] = "%clipboard";
constexpr size_t kClipboardMarkerLength = sizeof kClipboardMarker - 1;

// Trees of whole-text passes are large enough that freeing them is worth a
// hop to a worker thread; small ones are freed at once.
constexpr size_t kFreeInBackground = 64 * 1024;

}  // namespace

struct SmartTextStorage::EngineGuard {
    std::mutex mutex;
    SmartTextStorage *storage = nullptr;  // null once the storage is gone
};

// --- Creation ----------------------------------------------------------------------------

SmartTextStorage::SmartTextStorage(const StoragePreferences &preferences, ExtrasProvider *extras,
                                   QObject *parent)
    : QObject(parent), m_preferences(preferences), m_extras(extras),
      m_engineGuard(std::make_shared<EngineGuard>()) {
    m_engineGuard->storage = this;
    m_buffer = smart_string_new("", getExtensionConfiguration());
    if (!m_buffer)
        qFatal("Out of memory while creating a text buffer");
    setCriticCommentTemplate();
    setSmartPairs();
    setExpansions();
    setCoalesceLevel();

    m_engine = tzr_engine_create_with_d_string(smart_string_mirror_text(m_buffer), extensions());

    m_document = new QTextDocument(this);
    m_document->setUndoRedoEnabled(false);
    // The editor view places the text itself (its margins are the layout's
    // padding), so the document adds no margin of its own.
    m_document->setDocumentMargin(0);
    m_layout = new LazyDocumentLayout(m_document);
    m_layout->setFormatHook([this](const QTextBlock &block) { formatForLayout(block); });
    m_layout->setPendingFormatsHook([this] { return m_styledTo; });
    m_document->setDocumentLayout(m_layout);
    loadDefaultFont();
    watchDocument();
    watchTabStops();
}

SmartTextStorage::SmartTextStorage(platform::Defaults &defaults, ExtrasProvider *extras,
                                   QObject *parent)
    : SmartTextStorage(readStoragePreferences(defaults), extras, parent) {
    observeDefaults(defaults);
}

void SmartTextStorage::setShownIn(QWidget *widget) {
    m_styleAheadTask.setWidget(widget);
    m_layout->setWidget(widget, 1);
}

SmartTextStorage::~SmartTextStorage() {
    stopObservingDefaults();
    // The engine reads the buffer's mirror text, so it goes first.
    {
        std::lock_guard<std::mutex> lock(m_engineGuard->mutex);
        m_engineGuard->storage = nullptr;
        tzr_engine_free(m_engine, false);
        m_engine = nullptr;
    }
    // The document goes before the buffer too: nothing may show a text that
    // no longer exists.
    delete m_document;
    m_document = nullptr;
    smart_string_free(m_buffer, true);
    m_buffer = nullptr;
}

void SmartTextStorage::assertThread() const {
    Q_ASSERT_X(QThread::currentThread() == thread(), "SmartTextStorage",
               "used off the thread it belongs to");
}

void SmartTextStorage::loadDefaultFont() {
    m_defaultFont = editorBaseFont(m_preferences.defaultFontName, m_preferences.defaultFontSize);
    const float size = float(m_defaultFont.pointSizeF());
    m_theme.setBaseFont(m_defaultFont.family(), size);
    configureTheme();
    QFont documentFont = m_defaultFont;
    documentFont.setPointSizeF(size * m_zoomFactor);
    m_document->setDefaultFont(documentFont);
}

void SmartTextStorage::configureTheme() {
    m_theme.setLineHeightPreference(float(m_preferences.lineHeight));
    m_theme.setDefaultAlignment(m_preferences.defaultTextAlignment);
}

// A change of the document that did not come from a patch is an edit that
// went around the buffer: the two would drift apart, so the document is put
// back in step with the buffer (on the next turn, outside Qt's own edit).
void SmartTextStorage::watchDocument() {
    connect(m_document, &QTextDocument::contentsChange, this,
            [this](int from, int removed, int added) {
                if (m_patching || m_resyncQueued)
                    return;
                if (removed == added && added <= 65536) {
                    // A change of formats alone keeps the text: look.
                    QTextBlock block = m_document->findBlock(from);
                    const qsizetype start = block.position();
                    QString shown;
                    for (; block.isValid() && block.position() <= from + added; block = block.next()) {
                        // A block's end stands for a line end, or for a
                        // character of a line shown in parts.
                        if (!shown.isEmpty() || block.position() > start) {
                            const QChar end = partEnd(block.previous());
                            shown += end.isNull() ? QChar(QLatin1Char('\n')) : end;
                        }
                        shown += block.text();
                    }
                    auto [byte, bytes] =
                        byteRangeFromCharRange({start, qsizetype(shown.size())});
                    if (textunits::displayText(str() + byte, bytes) == shown)
                        return;
                }
                qCWarning(lcEditor, "unrouted edit of the displayed text at %d (-%d +%d)", from,
                          removed, added);
                m_resyncQueued = true;
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        m_resyncQueued = false;
                        resynchronise("unrouted edit");
                    },
                    Qt::QueuedConnection);
            });
}

// --- The text ---------------------------------------------------------------------------

// The text in UTF-16 is made again after a change: the old one goes at
// once, rather than holding twice the size of a long text until then.
void SmartTextStorage::forgetString() {
    m_stringValid = false;
    m_string = QString();
}

QString SmartTextStorage::string() const {
    if (!m_stringValid) {
        m_string = textunits::realText(str(), len());
        m_stringValid = true;
    }
    return m_string;
}

// Piece by piece, each piece made as string() makes the whole text, so that
// both answers agree whatever the bytes.
bool SmartTextStorage::textEquals(const QString &text) const {
    if (m_stringValid)
        return m_string == text;
    constexpr size_t kPiece = 64 * 1024;
    const char *bytes = str();
    const size_t n = len();
    qsizetype at = 0;
    for (size_t from = 0; from < n;) {
        size_t to = qMin(n, from + kPiece);
        while (to < n && (static_cast<unsigned char>(bytes[to]) & 0xC0) == 0x80)
            to++;
        const QString piece = textunits::realText(bytes + from, to - from);
        if (QStringView(text).mid(at, piece.size()) != piece)
            return false;
        at += piece.size();
        from = to;
    }
    return at == text.size();
}

qsizetype SmartTextStorage::length() const {
    return qsizetype(smart_string_mirror_text(m_buffer)->length);
}

const char *SmartTextStorage::str() const { return smart_string_text(m_buffer); }

size_t SmartTextStorage::len() const { return smart_string_length(m_buffer); }

CharRange SmartTextStorage::clamp(CharRange range) const {
    const qsizetype n = length();
    range.location = qBound<qsizetype>(0, range.location, n);
    range.length = qBound<qsizetype>(0, range.length, n - range.location);
    return range;
}

std::pair<size_t, size_t> SmartTextStorage::byteRangeFromCharRange(CharRange range) const {
    range = clamp(range);
    const char *text = str();
    const size_t n = len();
    if (size_t(length()) == n)  // ASCII: bytes are units
        return {size_t(range.location), size_t(range.length)};
    size_t start = m_anchor.byteAt(text, n, size_t(range.location));
    // The anchor stays at the start: the edit that follows leaves the text
    // before it alone, so the anchor still holds afterwards.
    textunits::UnitAnchor probe = m_anchor;
    size_t end = probe.byteAt(text, n, size_t(range.end()));
    return {start, end - start};
}

CharRange SmartTextStorage::charRangeFromByteStart(size_t start, size_t length) const {
    const char *text = str();
    const size_t n = len();
    start = qMin(start, n);
    length = qMin(length, n - start);
    if (size_t(this->length()) == n)
        return {qsizetype(start), qsizetype(length)};
    size_t units = m_anchor.unitsAt(text, n, start);
    return {qsizetype(units), qsizetype(textunits::unitsIn(text + start, length))};
}

// --- Editing ----------------------------------------------------------------------------

void SmartTextStorage::setInitialText(const QString &text) {
    assertThread();
    QByteArray bytes = textunits::bufferBytes(text);
    // The mark that says "this file is UTF-8" is no part of the text.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    Change change(kLoadTag);
    smart_string_replace(m_buffer, 0, len(), bytes.constData(), change.get());
    patch(change.start(), change.removed(), change.inserted());
}

void SmartTextStorage::replaceCharactersInRange(CharRange range, const QString &text) {
    assertThread();
    range = clamp(range);
    QByteArray bytes = textunits::bufferBytes(text);
    if (range.location == 0 && bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    auto [start, length] = byteRangeFromCharRange(range);
    Change change(kUserEditTag);
    smart_string_replace(m_buffer, start, length, bytes.constData(), change.get());
    size_t s = change.start(), r = change.removed(), n = change.inserted();
    if (text.size() == 1 && n != 1)
        expandClipboard(&s, &r, &n);
    patch(s, r, n);
}

void SmartTextStorage::replaceCharactersAsOwnStep(CharRange range, const QString &text) {
    assertThread();
    range = clamp(range);
    const QByteArray bytes = textunits::bufferBytes(text);
    auto [start, length] = byteRangeFromCharRange(range);
    commandEdit([&, start = start, length = length](smart_string_change *change) {
        smart_string_replace(m_buffer, start, length, bytes.constData(), change);
    });
}

// An expansion typed with one character may leave "%clipboard" in what it
// inserted: the clipboard's text takes its place, as a second edit of the
// buffer. The document is then patched once, over both edits together, from
// what the buffer really did in each (the second edit runs the pipeline too,
// which may change or refuse it).
void SmartTextStorage::expandClipboard(size_t *start, size_t *removed, size_t *inserted) {
    const char *text = str();
    const char *found = strstr(text + *start, kClipboardMarker);
    if (!found)
        return;
    const size_t marker = size_t(found - text);
    if (marker >= *start + *inserted)
        return;
    std::optional<QString> pasted = stringFromPasteboard();
    if (!pasted)
        return;
    const size_t caretStart = smart_string_caret_start(m_buffer);
    const size_t caretLength = smart_string_caret_length(m_buffer);
    QByteArray bytes = textunits::bufferBytes(*pasted);
    Change second(kUserEditTag);
    smart_string_replace(m_buffer, marker, kClipboardMarkerLength, bytes.constData(), second.get());
    const size_t s2 = second.start(), r2 = second.removed(), n2 = second.inserted();
    // Both edits as one change of the text before the first.
    const size_t s1 = *start, r1 = *removed, n1 = *inserted;
    const size_t from = qMin(s1, s2);
    const size_t to = qMax(s1 + n1, s2 + r2);
    *start = from;
    *removed = to - from - n1 + r1;
    *inserted = to - from - r2 + n2;
    size_t caret = caretStart;
    if (caret != size_t(-1) && caret > marker)
        caret = caret + n2 - r2;
    smart_string_set_caret(m_buffer, caret, caretLength);
}

void SmartTextStorage::bulkReplaceCharactersInRange(CharRange range, const QString &text) {
    assertThread();
    range = clamp(range);
    QByteArray bytes = textunits::bufferBytes(text);
    auto [start, length] = byteRangeFromCharRange(range);
    Change change(kUserEditTag);
    smart_string_bulk_replace(m_buffer, start, length, bytes.constData(), change.get());
    patch(change.start(), change.removed(), change.inserted());
}

void SmartTextStorage::updateBackingStoreForChangeAtByteOffset(size_t start, size_t removed,
                                                               size_t inserted) {
    assertThread();
    patch(start, removed, inserted);
}

// The document follows one change of the buffer: `inserted` bytes at
// `start` now stand where `removed` bytes stood. The text before `start` is
// the same before and after, so its unit count (and the anchor at or before
// it) still holds; the removed units follow from the two lengths.
void SmartTextStorage::patch(size_t start, size_t removed, size_t inserted, bool restyle) {
    // The change is of the whole text, which the document must then hold.
    finishLayingIn();
    const char *text = str();
    const size_t n = len();
    const size_t oldUnits = size_t(m_document->characterCount() - 1);
    const size_t newUnits = size_t(length());
    forgetString();
    if (removed || inserted)
        m_editGeneration++;
    if (start > n || inserted > n - start)
        return resynchronise("change outside the text");
    m_anchor.forgetFrom(start);
    const size_t unitStart = m_anchor.unitsAt(text, n, start);
    const size_t insertedUnits = textunits::unitsIn(text + start, inserted);
    if (oldUnits + insertedUnits < newUnits)
        return resynchronise("change longer than the text");
    const size_t removedUnits = oldUnits + insertedUnits - newUnits;
    if (unitStart + removedUnits > oldUnits)
        return resynchronise("change outside the displayed text");
    // A large text that replaces the whole text is styled from its start:
    // what a window shows first now, the rest while the program idles. Only
    // its first lines go into the document now, the rest as it is styled.
    const bool ahead =
        restyle && m_theme.isLoaded() && start == 0 && inserted == n && inserted >= size_t(kStyleAheadBytes);
    size_t shownBytes = inserted;
    QString shown;
    if (unitStart == 0 && removedUnits == oldUnits)
        m_partEnds = 0;
    if (ahead)
        shownBytes = shownChunk(text, n, 0, size_t(kStyleAheadStretch), &shown);
    else
        shown = textunits::displayText(text + start, shownBytes);
    if (shownBytes == inserted ? size_t(shown.size()) != insertedUnits : size_t(shown.size()) > insertedUnits)
        return resynchronise("text conversion failed");

    TextChange change{qsizetype(unitStart), qsizetype(removedUnits), qsizetype(insertedUnits),
                      start,                removed,                 inserted};
    if (ahead) {
        restyle = false;
        m_styledTo = 0;
        if (shownBytes < inserted) {
            m_layIn = QByteArray(text, qsizetype(n));
            m_laidTo = shown.size();
            m_laidToByte = shownBytes;
            // The layout settles as it will for the whole text.
            m_layout->setExpectedBlocks(size_t(lineCount()));
        }
    }
    // An edit in the text that waits to be styled is styled when its turn
    // comes; one before it moves where that text begins. An edit of the
    // line that text begins with may change how the block before it ends,
    // and whether a parse may begin there: the styling ahead then begins
    // again before it.
    bool waitingLineEdited = false;
    if (!ahead && isStylingAhead()) {
        if (qsizetype(unitStart) >= m_styledTo) {
            restyle = false;
            const QTextBlock waiting = m_document->findBlock(int(m_styledTo));
            waitingLineEdited = waiting.isValid() && qsizetype(unitStart) < waiting.position() + waiting.length();
        } else {
            m_styledTo = qMax(qsizetype(unitStart), m_styledTo + qsizetype(insertedUnits) - qsizetype(removedUnits));
        }
    }
    if (removedUnits || insertedUnits) {
        m_patching = true;
        QTextCursor cursor(m_document);
        cursor.beginEditBlock();
        cursor.setPosition(int(unitStart));
        cursor.setPosition(int(unitStart + removedUnits), QTextCursor::KeepAnchor);
        if (shown.isEmpty())
            cursor.removeSelectedText();
        else
            cursor.insertText(shown);
        std::vector<qsizetype> moved;
        if (!ahead)
            moved = fitLineParts(qsizetype(unitStart), qsizetype(unitStart + insertedUnits), start);
        if (waitingLineEdited) {
            const QTextBlock before = m_document->findBlock(int(m_styledTo)).previous();
            if (before.isValid())
                styleAheadFrom(before.position());
        }
        if (restyle) {
            restyleAround(qsizetype(unitStart), qsizetype(unitStart + insertedUnits));
            // Parts whose ends moved away from the edit (near the end of a
            // line that grew or shrank) are styled as they now stand.
            for (qsizetype at : moved)
                if (at < qsizetype(unitStart) || at > qsizetype(unitStart + insertedUnits))
                    restyleAround(at, at + 1);
        }
        cursor.endEditBlock();
        m_patching = false;
    }
    if (m_document->characterCount() - 1 != laidInLength())
        return resynchronise("displayed length differs from the text's");
    if (ahead) {
        styleAhead(0);
        if (isStylingAhead())
            m_styleAheadTask.schedule();
    }
    emit textChanged(change);
}

// Appends to the document the lines of the text it does not hold yet, up to
// the line of `position` or all of them. They are its own change, as a
// restyle is, and no change of the text.
void SmartTextStorage::layInThrough(qsizetype position) {
    if (!isLayingIn() || (position >= 0 && position < m_laidTo))
        return;
    const char *text = m_layIn.constData();
    const size_t n = size_t(m_layIn.size());
    size_t want = n - m_laidToByte;
    if (position >= 0) {
        textunits::UnitAnchor anchor;
        anchor.moveTo(m_laidToByte, size_t(m_laidTo));
        want = anchor.byteAt(text, n, size_t(position)) - m_laidToByte;
    }
    QString shown;
    const size_t cut = shownChunk(text, n, m_laidToByte, want, &shown);
    const bool wasPatching = m_patching;
    m_patching = true;
    QTextCursor cursor(m_document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(shown);
    m_patching = wasPatching;
    if (cut < n) {
        m_laidTo += shown.size();
        m_laidToByte = cut;
        return;
    }
    m_laidTo = -1;
    m_laidToByte = 0;
    m_layIn = QByteArray();
    m_layout->setExpectedBlocks(0);
}

// Puts the whole document back in step with the buffer and restyles it. The
// buffer's text is the truth; whatever the document showed is dropped.
void SmartTextStorage::resynchronise(const char *reason) {
    qCWarning(lcEditor, "displayed text resynchronised from the text buffer: %s", reason);
    m_laidTo = -1;
    m_laidToByte = 0;
    m_layIn = QByteArray();
    m_layout->setExpectedBlocks(0);
    forgetString();
    m_editGeneration++;
    m_anchor.reset();
    const qsizetype shownBefore = m_document->characterCount() - 1;
    m_patching = true;
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    QString shown = textunits::displayText(str(), len());
    m_partEnds = lineparts::cutLines(shown);
    cursor.insertText(shown);
    restyleAround(0, length());
    cursor.endEditBlock();
    m_patching = false;
    emit textChanged(TextChange{0, shownBefore, length(), 0, 0, len()});
}

bool SmartTextStorage::undo() {
    assertThread();
    size_t start = 0, removed = 0, inserted = 0;
    bool found = smart_string_undo(m_buffer, &start, &removed, &inserted, kUserEditTag);
    patch(start, removed, inserted);
    return found;
}

bool SmartTextStorage::redo() {
    assertThread();
    size_t start = 0, removed = 0, inserted = 0;
    bool found = smart_string_redo(m_buffer, &start, &removed, &inserted, kUserEditTag);
    patch(start, removed, inserted);
    return found;
}

bool SmartTextStorage::canUndo() const { return smart_string_can_undo(m_buffer, kUserEditTag); }
bool SmartTextStorage::canRedo() const { return smart_string_can_redo(m_buffer, kUserEditTag); }
void SmartTextStorage::setLastUndoTags(quint64 tags) { smart_string_set_last_undo_tags(m_buffer, tags); }

// --- Counts, caret and ranges ------------------------------------------------------------

quint64 SmartTextStorage::charCount() const { return smart_string_char_count(m_buffer); }
quint64 SmartTextStorage::wordCount() const { return smart_string_word_count(m_buffer); }
quint64 SmartTextStorage::lineCount() const { return smart_string_line_count(m_buffer); }
quint64 SmartTextStorage::paraCount() const { return smart_string_paragraph_count(m_buffer); }

std::optional<CharRange> SmartTextStorage::caretRange() const {
    size_t start = size_t(-1), length = size_t(-1);
    smart_string_caret_unit_range(m_buffer, &start, &length);
    if (start == size_t(-1))
        return std::nullopt;
    return CharRange{qsizetype(start), qsizetype(length == size_t(-1) ? 0 : length)};
}

CharRange SmartTextStorage::paraRangeForByteOffset(size_t start, size_t length) const {
    size_t from = 0, count = 0;
    smart_string_paragraph_range(m_buffer, start, length, &from, &count);
    if (from == size_t(-1))
        return {};
    return charRangeFromByteStart(from, count);
}

std::optional<QString> SmartTextStorage::stringFromPasteboard() const {
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

// --- Preferences ------------------------------------------------------------------------

uint64_t SmartTextStorage::getExtensionConfiguration() const {
    bool tracking = m_buffer && (smart_string_get_options(m_buffer) & SMART_STRING_CHANGE_TRACKING);
    return bufferOptionWord(m_preferences, tracking);
}

void SmartTextStorage::setPreferences(const StoragePreferences &next) {
    assertThread();
    StoragePreferences old = m_preferences;
    m_preferences = next;
    // Latched at creation.
    m_preferences.useUndoHistoryMode = old.useUndoHistoryMode;
    m_preferences.requireDelimiter = old.requireDelimiter;
    const StoragePreferences &p = m_preferences;

    if (p.coalesceLevel != old.coalesceLevel)
        setCoalesceLevel();
    bool options = p.enableSmartPairs != old.enableSmartPairs ||
                   p.typeOverPeriods != old.typeOverPeriods ||
                   p.smartEnterBlockquote != old.smartEnterBlockquote ||
                   p.smartEnterIndent != old.smartEnterIndent ||
                   p.smartEnterList != old.smartEnterList ||
                   p.smartEnterList2x != old.smartEnterList2x ||
                   p.smartEnterListSame != old.smartEnterListSame ||
                   p.smartEnterHeaderTitleCase != old.smartEnterHeaderTitleCase ||
                   p.smartEnterHeaderHash != old.smartEnterHeaderHash ||
                   p.smartEnterTable != old.smartEnterTable || p.smartTab != old.smartTab ||
                   p.smartExpansion != old.smartExpansion ||
                   p.preserveDelimiter != old.preserveDelimiter ||
                   p.criticComment != old.criticComment;
    if (options)
        setExtensions();
    if (p.smartPairCharacters != old.smartPairCharacters || p.typeOverPeriods != old.typeOverPeriods)
        setSmartPairs();
    if (extensions() != engineExtensionWord(old))
        setTZRExtensions();
    bool looks = p.lineHeight != old.lineHeight ||
                 p.defaultTextAlignment != old.defaultTextAlignment ||
                 p.useElasticTabstops != old.useElasticTabstops;
    if (looks) {
        configureTheme();
        applyHighlighting();
    }
}

void SmartTextStorage::observeDefaults(platform::Defaults &defaults) {
    stopObservingDefaults();
    QStringList keys;
    for (const ObservedPreference &observed : kObservedPreferences)
        keys.append(QString::fromLatin1(observed.key));
    // The emphasis toggles read their markers when they run: followed too.
    keys << QStringLiteral("tzrEmphasisMarker") << QStringLiteral("tzrStrongMarker");
    // So are the looks: line height and alignment restyle here at once; the
    // font is kept current for the editor view, which asks for it
    // (resetDefaultFont) once it knows the font exists. This observer is
    // made before any view of the storage, so it hears a change first.
    keys << QStringLiteral("lineHeight") << QStringLiteral("defaultTextAlignment") << QStringLiteral("defaultFontName")
         << QStringLiteral("defaultFontSize");
    // Tab's list indenting is a bit of the option word like Return's steps,
    // switched in the same preferences pane.
    keys << QStringLiteral("SMART_TAB");
    platform::Defaults *store = &defaults;
    m_observation = defaults.observe(keys, this, [this, store](const QString &key, const QVariant &) {
        setPreferences(readStoragePreferences(*store));
        // The CriticMarkup comment's keys are not among the storage's own
        // values; they still rebuild the option word.
        for (const ObservedPreference &observed : kObservedPreferences)
            if (key == QLatin1String(observed.key) &&
                observed.reaction == PreferenceReaction::Extensions)
                setExtensions();
    });
}

void SmartTextStorage::stopObservingDefaults() {
    if (m_observation)
        QObject::disconnect(m_observation);
    m_observation = {};
}

void SmartTextStorage::setExtensions() {
    smart_string_set_options(m_buffer, getExtensionConfiguration());
    setCriticCommentTemplate();
}

void SmartTextStorage::setSmartPairs() {
    QByteArray pairs = m_preferences.smartPairCharacters
                           ? m_preferences.smartPairCharacters->toUtf8()
                           : QByteArray(kDefaultSmartPairs);
    smart_string_set_pairs(m_buffer, pairs.constData());
}

void SmartTextStorage::setExpansions() {
    if (!m_extras)
        return;
    for (const QString &path : m_extras->expansionFilePaths())
        smart_string_load_expansions(m_buffer, QFile::encodeName(path).constData());
}

void SmartTextStorage::setCoalesceLevel() {
    smart_string_set_coalesce_level(m_buffer, coalesceLevel(m_preferences));
}

void SmartTextStorage::enableSmartPairs() {
    smart_string_set_options(m_buffer, smart_string_get_options(m_buffer) | SMART_STRING_SMART_PAIRS);
}

void SmartTextStorage::disableSmartPairs() {
    smart_string_set_options(m_buffer, smart_string_get_options(m_buffer) & ~uint64_t(SMART_STRING_SMART_PAIRS));
}

std::mutex &SmartTextStorage::engineMutex() const { return m_engineGuard->mutex; }

void SmartTextStorage::setTZRExtensions() {
    const uint64_t flags = extensions();
    std::shared_ptr<EngineGuard> guard = m_engineGuard;
    platform::Dispatch::background([guard, flags] {
        // Under the lock the storage cannot go away; once it is handed to
        // the main thread, a storage destroyed meanwhile drops the block.
        std::lock_guard<std::mutex> lock(guard->mutex);
        if (SmartTextStorage *storage = guard->storage)
            platform::Dispatch::main(storage, [storage, flags] { storage->rebuildEngine(flags); });
    });
}

void SmartTextStorage::rebuildEngine(uint64_t flags) {
    {
        std::lock_guard<std::mutex> lock(m_engineGuard->mutex);
        tzr_engine_free(m_engine, false);
        m_engine = tzr_engine_create_with_d_string(smart_string_mirror_text(m_buffer), flags);
    }
    applyHighlighting();
}

void SmartTextStorage::resetDefaultFont() {
    QFont old = m_defaultFont;
    loadDefaultFont();
    if (m_defaultFont != old)
        applyHighlighting();
}

std::optional<QString> SmartTextStorage::metadataForKey(const QString &key) const {
    // The storage's engine parses the mirror text, where every non-ASCII
    // character is "x": a value is read from the real text instead.
    char *value = tzr_string_metavalue_for_key(str(), key.toUtf8().constData());
    if (!value)
        return std::nullopt;
    QString result = QString::fromUtf8(value);
    free(value);
    return result;
}

// --- Themes ----------------------------------------------------------------------------

bool SmartTextStorage::applyThemeFromPath(const QString &path) {
    assertThread();
    bool loaded = m_theme.load(path);
    configureTheme();
    applyHighlighting();
    emit themeChanged();
    return loaded;
}

void SmartTextStorage::setZoomFactor(double zoom) {
    if (zoom <= 0 || zoom == m_zoomFactor)
        return;
    m_zoomFactor = zoom;
    m_styles.setZoom(zoom);
    QFont documentFont = m_defaultFont;
    documentFont.setPointSizeF(m_defaultFont.pointSizeF() * zoom);
    m_document->setDefaultFont(documentFont);
    applyHighlighting();
}

void SmartTextStorage::freeTree(token *root) {
    if (!root)
        return;
    if (root->len < kFreeInBackground) {
        token_tree_free(root);
        return;
    }
    platform::Dispatch::background([root] { token_tree_free(root); });
}
