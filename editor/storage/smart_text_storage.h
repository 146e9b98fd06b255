// SmartTextStorage: the text model of a Markdown editor.
//
// The text lives in the text engine's buffer (the Smart String): UTF-8, with
// its own editing pipeline (smart pairs, smart enter, expansions, change
// tracking), undo and redo, statistics and the mirror text. Every edit,
// typed or programmatic, goes through the buffer; the buffer's change record
// then patches the displayed QTextDocument (its own undo is off) and the
// blocks around the change are parsed again with the storage's document
// engine and restyled from the theme. The document is never edited in any
// other way: it shows the buffer, position for position.
//
// Offsets: views count UTF-16 units (CharRange), the buffer counts bytes.
// Document positions are units of the buffer's text one to one: characters
// that Qt would turn into extra blocks (CR, U+2029, U+FDD0, U+FDD1) are shown
// as one visible character each instead. A block is a line of the text,
// except in a line too long for Qt to hold as one block: that one is shown
// in parts, a block each, and a block's end then stands for one of the
// line's characters (see "Long lines" below and line_parts.h).
//
// Styles: the storage keeps the attributes of every character itself
// (BlockStyle runs on each QTextBlock, values in its StyleTable) and pushes
// them to Qt as QTextLayout formats and QTextBlockFormats; the document's own
// character formats are never set. The document is laid out by a
// LazyDocumentLayout.
//
// Everything here runs on the thread the storage was made on (the GUI
// thread).
#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTextBlock>
#include <QTextFormat>
#include <QTextLayout>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "editor/storage/block_style.h"
#include "editor/storage/heading_row.h"
#include "editor/storage/storage_preferences.h"
#include "editor/storage/text_units.h"
#include "editor/storage/theme_styles.h"
#include "platform/runtime/idle_work.h"

struct _SString;
struct smart_string_change;
struct tzr_engine;
struct token;
struct header;
class QTextDocument;
class LazyDocumentLayout;
class ExtrasProvider;
namespace platform {
class Defaults;
}

// A range of UTF-16 units of the text.
struct CharRange {
    qsizetype location = 0;
    qsizetype length = 0;
    qsizetype end() const { return location + length; }
    bool operator==(const CharRange &) const = default;
};

// One change of the text, reported after the document was patched and
// restyled: what the buffer really did, in units and in bytes.
struct TextChange {
    qsizetype location = 0;        // units, in the old and the new text alike
    qsizetype removedLength = 0;   // units of the old text
    qsizetype insertedLength = 0;  // units of the new text
    size_t byteStart = 0;
    size_t bytesRemoved = 0;
    size_t bytesInserted = 0;
    bool operator==(const TextChange &) const = default;
};

// A run of one block's text with the attributes it shows, as `runs()` gives
// them (block-relative offsets); the paragraph attributes that the
// characters carry are given as values (`attrs.paragraph` is 0).
struct AttributeRun {
    int start = 0;
    int length = 0;
    CharAttrs attrs;
    ParaAttrs paragraph;
    bool operator==(const AttributeRun &) const = default;
};

class SmartTextStorage : public QObject {
    Q_OBJECT
public:
    // Undo tag bits: edits made for the user carry bit 1 and are what undo
    // and redo act on; a loaded text carries bit 2 and is never undone.
    static constexpr quint64 kUserEditTag = 1;
    static constexpr quint64 kLoadTag = 2;
    // A command's edit (line and section commands, markup toggles) carries
    // bit 8 as well, so that typing is never merged into its undo step, nor
    // it into the typing before.
    static constexpr quint64 kCommandTag = 8;

    // The preferences are read at once; "useUndoHistoryMode" and
    // "REQUIRE_DELIMITER" keep their values for the storage's life.
    explicit SmartTextStorage(const StoragePreferences &preferences = {},
                              ExtrasProvider *extras = nullptr, QObject *parent = nullptr);
    // Reads the user's preferences and observes them for its life.
    explicit SmartTextStorage(platform::Defaults &defaults, ExtrasProvider *extras = nullptr,
                              QObject *parent = nullptr);
    ~SmartTextStorage() override;

    // --- The text ------------------------------------------------------------------

    // The displayed document and its layout (owned by the storage).
    QTextDocument *document() const { return m_document; }
    LazyDocumentLayout *documentLayout() const { return m_layout; }

    // The text itself (UTF-16), made from the buffer once per change, and
    // whether it is `text` (compared piece by piece with the buffer's text
    // when it is not made: a long text is not made whole to be compared).
    QString string() const;
    bool textEquals(const QString &text) const;
    // Its length in UTF-16 units (= document positions).
    qsizetype length() const;
    // The buffer's UTF-8 text (borrowed) and its byte length.
    const char *str() const;
    size_t len() const;
    // The text buffer itself, for the editing operations that call the text
    // engine directly; each must end with updateBackingStoreForChange...
    _SString *buffer() const { return m_buffer; }

    // --- Editing -------------------------------------------------------------------

    // Replaces the whole text as one change that undo never reaches (tag 2).
    // A byte-order mark at the start of the text is dropped.
    void setInitialText(const QString &text);
    // The one primitive edit: the buffer's pipeline decides what is really
    // inserted (pairs, expansions, list continuation, change tracking, or a
    // refusal), and the document follows what it did. A range past the end
    // is clamped to the text.
    void replaceCharactersInRange(CharRange range, const QString &text);
    // The primitive edit as an undo step of its own: typing before or after
    // it is never merged into it (a spelling correction, a substitution), so
    // that one undo takes back exactly it.
    void replaceCharactersAsOwnStep(CharRange range, const QString &text);
    // The primitive edit for a CriticMarkup comment or highlight that the
    // user writes by command: while tracking changes, it is not marked as an
    // addition, nor the text it wraps as deleted; inside a change it is made
    // or refused as typing there would be. False when it was refused.
    bool replaceCharactersWithCriticNote(CharRange range, const QString &text);
    // Replaces a range by applying only its differences, as one change that
    // keeps the caret where its surrounding text is.
    void bulkReplaceCharactersInRange(CharRange range, const QString &text);
    // Patches the document after any edit of the buffer: `inserted` bytes at
    // `start` replaced `removed` bytes. An edit the document cannot follow
    // (a range that does not fit the buffer's text) resynchronises the whole
    // document from the buffer, with a log line.
    void updateBackingStoreForChangeAtByteOffset(size_t start, size_t removed, size_t inserted);

    // Undo and redo through the buffer (groups tagged kUserEditTag).
    bool undo();
    bool redo();
    bool canUndo() const;
    bool canRedo() const;
    void setLastUndoTags(quint64 tags);

    // --- Counts, caret and ranges ---------------------------------------------------

    quint64 charCount() const;
    quint64 wordCount() const;
    quint64 lineCount() const;
    quint64 paraCount() const;
    // The buffer's caret after the last edit, or nothing.
    std::optional<CharRange> caretRange() const;
    CharRange charRangeFromByteStart(size_t start, size_t length) const;
    // The paragraphs around a byte range, in units.
    CharRange paraRangeForByteOffset(size_t start, size_t length) const;
    // A unit range (clamped to the text) in bytes: {start, length}.
    std::pair<size_t, size_t> byteRangeFromCharRange(CharRange range) const;
    // The clipboard's plain text, or nothing.
    std::optional<QString> stringFromPasteboard() const;

    // --- Preferences --------------------------------------------------------------

    const StoragePreferences &preferences() const { return m_preferences; }
    // Takes new values and reacts to each one that changed as its key asks:
    // the option word, the pair characters, the coalescing level, a queued
    // engine rebuild or a full restyle. Font changes wait for
    // resetDefaultFont.
    void setPreferences(const StoragePreferences &preferences);
    void setExtrasProvider(ExtrasProvider *extras) { m_extras = extras; }
    // Follows the 31 observed keys of `defaults` (kObservedPreferences),
    // the emphasis markers, the line height, the alignment and the font:
    // each change is read again and reacted to as setPreferences does.
    void observeDefaults(platform::Defaults &defaults);
    void stopObservingDefaults();

    // The buffer's option word and the engine's extension flags now.
    uint64_t getExtensionConfiguration() const;
    uint64_t extensions() const { return engineExtensionWord(m_preferences); }
    void setExtensions();
    void setSmartPairs();
    void setExpansions();
    void setCoalesceLevel();
    void enableSmartPairs();
    void disableSmartPairs();
    // Rebuilds the document engine with the current extension flags: a hop
    // through a background thread that takes the engine's lock hands the
    // rebuild to the main thread, which then restyles the whole text. A
    // storage destroyed before then takes the rebuild with it.
    void setTZRExtensions();
    // Takes the default font from the preferences again and restyles.
    void resetDefaultFont();

    // The value of a metadata key of the current text, from its real UTF-8
    // (not the mirror text), or nothing.
    std::optional<QString> metadataForKey(const QString &key) const;

    // The storage's document engine (it parses the buffer's mirror text) and
    // the lock every reader of it holds.
    tzr_engine *engine() const { return m_engine; }
    std::mutex &engineMutex() const;

    // --- Themes and highlighting ------------------------------------------------------

    // Loads a theme file; on failure logs "Error loading theme '<path>'" and
    // the text stays unstyled (black on white). Restyles the whole text.
    bool applyThemeFromPath(const QString &path);
    const ThemeStyles &theme() const { return m_theme; }
    // The colours an editor view takes from the theme.
    ThemeColors viewColors() const { return m_theme.viewColors(); }
    QColor backgroundColor() const { return m_theme.backgroundColor(); }
    QColor foregroundColor() const { return m_theme.foregroundColor(); }
    QFont defaultFont() const { return m_defaultFont; }

    double zoomFactor() const { return m_zoomFactor; }
    // Folds a zoom factor into every font size and paragraph metric.
    void setZoomFactor(double zoom);

    // Restyles the whole text / the blocks around a range (widened to whole
    // top-level blocks of the last parse).
    void applyHighlighting();
    void applyHighlightingForCharRange(CharRange range);
    // A large text set by setInitialText is styled from its start: what a
    // window shows first at once, the rest in short idle slices, so that the
    // window need not wait for the whole text. Whether some text is still
    // waiting, and styling all of it now.
    bool isStylingAhead() const { return m_styledTo >= 0; }
    // The widget that shows the text: its styling ahead and the settling of
    // its heights go first while it is in front.
    void setShownIn(QWidget *widget);
    void finishStylingAhead();
    // Texts from this size on are styled ahead in slices.
    static constexpr qsizetype kStyleAheadBytes = 256 * 1024;
    // Such a text is also laid into the document from its start: a window
    // can show its first lines before Qt has made a block of every line.
    // The document then holds whole lines of the text's start, and the rest
    // goes in with the slices that style it, ahead of them. An edit or undo
    // meanwhile lays in all of it first. Only the document is partial: the
    // buffer, and all that reads the text from it (saving, the preview, the
    // counts), has the whole text throughout. Whether some text is not in
    // the document yet, how much is (in units), and laying in at least the
    // line of `position` (all of the text for a negative one).
    bool isLayingIn() const { return m_laidTo >= 0; }
    qsizetype laidInLength() const { return isLayingIn() ? m_laidTo : length(); }
    void layInThrough(qsizetype position);
    void finishLayingIn() { layInThrough(-1); }
    // How much is parsed at a time, and how long an idle slice lasts at most
    // (less when the turn of idle work it runs in ends sooner).
    static constexpr qsizetype kStyleAheadStretch = 32 * 1024;
    static constexpr int kStyleAheadSliceMilliseconds = 8;

    // The attributes of one character; an index past the end is logged and
    // clamped to the last character.
    CharAttrs attributesAt(qsizetype index) const;
    // The runs a block shows, merged where neighbours are equal.
    QList<AttributeRun> runs(const QTextBlock &block) const;
    // The paragraph attributes a block shows, and whether its line feed is a
    // hard line break.
    ParaAttrs paragraphAttributes(const QTextBlock &block) const;
    bool hasHardBreak(const QTextBlock &block) const;
    // The type of the top-level token of the last parse that begins at the
    // block (0 for none; a loose list's is a list's).
    int blockStartType(const QTextBlock &block) const;
    // Whether a parse of the text may begin at the block: a top-level block
    // of the last parse begins there, or a place inside one where the parse
    // can be taken up again (an item of a list, a block of a quote's or an
    // item's contents, a line of a fence's code, a row of a table's body).
    // A block of megabytes is so parsed again from near a change rather than
    // from its start.
    bool beginsParse(const QTextBlock &block) const;
    // A parse of [from, to) from such a block, read inside the blocks the
    // last parse had open there; the caller frees the tree.
    token *parseFrom(qsizetype from, qsizetype to);

    // --- Long lines (storage_long_lines.cpp) -----------------------------------------

    // A line longer than lineparts::kLimit units is shown in parts (blocks)
    // of about lineparts::kMean units, cut at its spaces where it has
    // them: they are made as the text is shown, and cut again or joined
    // around each edit (the parts further away kept), so that no block
    // grows past kLimit units (but one of emoji of two units and nothing
    // else, which no place can end without splitting one).
    // Its first part is styled with the blocks around it, as any line; each
    // other part on its own, its text parsed inside the block-level tokens
    // (paragraph, heading, list item, code block ...) the part before it
    // left open, so that a keystroke in a line of any length restyles one
    // part. A change those tokens do not follow (the line's head edited into
    // a heading, a fence opened above it) styles the rest of the line again,
    // ahead, in idle slices.
    //
    // Whether a block's end stands for a character of its line (it is not
    // its line's last part), and whether it continues the line of the block
    // before it.
    bool endsInLine(const QTextBlock &block) const;
    bool continuesLine(const QTextBlock &block) const;
    // The character (as shown) that a part's end stands for; a null QChar
    // for a block that ends its line.
    QChar partEnd(const QTextBlock &block) const;
    // The first and the last part of the line that `block` belongs to
    // (`block` itself for a line in one block).
    std::pair<QTextBlock, QTextBlock> lineOf(const QTextBlock &block) const;
    // Where a part's end stands for a unit inside a character (a joiner
    // between two emoji, a presentation selector, a mark), the character (the
    // grapheme cluster) that `position` falls inside of, if it does; an empty
    // range at `position` otherwise. Qt, which knows the parts as blocks,
    // would stop the caret there: the view does not, and deletes such a
    // character whole, as in a line shown in one block.
    CharRange characterSplitAt(qsizetype position) const;
    // Whether the document may hold a line in parts (parts were made and
    // not all of them joined again).
    bool mayHaveLineParts() const { return m_partEnds > 0; }
    // How many units of the text the storage has parsed to style it since it
    // was made: a count of the work done, for tests.
    qint64 unitsParsed() const { return m_unitsParsed; }
    // How many units of long lines the storage has read to cut them into
    // parts again after edits: a count of the work done, for tests.
    qint64 unitsRecut() const { return m_unitsRecut; }
    // The parse a part of a long line after its first is styled from: its
    // text with the parts on either side, read in the tokens the part
    // before it left open. Gives the range parsed; the caller frees the
    // tree (null when the part cannot be read so).
    token *partParse(const QTextBlock &part, qsizetype *from, qsizetype *to);

    // --- Overlays (storage_overlays.cpp) ------------------------------------------------

    // Formats shown over a block's styles (a misspelt word's underline, an
    // address shown as a link), merged into its layout's formats after the
    // style runs and tagged with kOverlayProperty. Setting them is a change
    // of formats alone: no undo step, and no edit of the displayed text. A
    // restyle of the block drops them; the parse listener is told of every
    // restyle. Ranges are block-relative. Like the styles, they are kept by
    // the storage and reach the block's QTextLayout when it is laid out.
    static constexpr int kOverlayProperty = QTextFormat::UserProperty + 0x5C0;
    void setOverlayFormats(const QTextBlock &block, QList<QTextLayout::FormatRange> overlays);
    QList<QTextLayout::FormatRange> overlayFormats(const QTextBlock &block) const;
    // Told of the parse each restyle makes of `range` (whole blocks), after
    // the blocks there were styled and before the tree is freed, inside the
    // document's edit block of the change that caused it, with the numbers
    // of the blocks whose formats it set anew, in order (the edited blocks
    // and those whose styles changed: they lost their overlays; the others
    // keep theirs). One listener; an empty function removes it.
    using ParseListener = std::function<void(const token *root, CharRange range, const QList<int> &restyledBlocks)>;
    void setParseListener(ParseListener listener) { m_parseListener = std::move(listener); }

    // --- Change tracking, CriticMarkup and completions (storage_tracking.cpp) ---------

    // The comment the buffer adds after each change it marks while tracking:
    // an expansion template (strftime codes are filled in at each use), empty
    // for none.
    static QString criticMarkupCommentDefault(const CriticCommentPreferences &preferences);
    // Hands the template of the current preferences to the buffer.
    void setCriticCommentTemplate();

    void startTrackingChanges();
    void stopTrackingChanges();
    void toggleChangeTracking();
    bool isTrackingChanges() const;

    // The CriticMarkup mark that a range touches, and the mark at or after
    // (before) a position, wrapping around the text; nothing when none.
    std::optional<CharRange> rangeOfCriticChangeIntersectingRange(CharRange range);
    std::optional<CharRange> rangeOfNextCriticChange(qsizetype position);
    std::optional<CharRange> rangeOfPreviousCriticChange(qsizetype position);
    // Whether an edit of `range` may go on while tracking: 1 as typed, 0
    // refused (it touches markers, a deletion, a highlight or the old half of
    // a substitution), -1 when it touches no mark. Only whether the
    // replacement is empty matters.
    int canEditRange(CharRange range, qsizetype replacementLength);

    // The document's words that fuzzily match the text of `range`, best
    // first, without that text itself; empty when none. The selected index
    // is set to 0.
    QStringList completionsForPartialWordRange(CharRange range, int *indexOfSelectedItem);
    // The same, keeping only the words that begin with the text of `range`
    // (ignoring case), for a label; when none is left, the index is -1.
    QStringList labelCompletionsForPartialWordRange(CharRange range, int *indexOfSelectedItem);
    // Adds the document's reference and note labels and its heading titles
    // (read from the real text) to the completion words.
    void addReferencesToAutoComplete();
    void addHeadersToAutoComplete(const header *toc);
    // Adds citation keys ("#key"), as the references sidebar lists them.
    void addBibtexToAutoComplete(const QSet<QString> &citeKeys);

    // Toggles emphasis (type 115) or strong (type 125) markers around the
    // range, with the markers the preferences choose, as one undoable edit;
    // the buffer's caret then holds the new selection. Other types, and a
    // marker preference other than 0 and 1, change nothing.
    void addMarkupType(int type, CharRange range);
    void addStrongToRange(CharRange range);
    void addEmphToRange(CharRange range);

    // --- Structural edits (storage_structure.cpp) -------------------------------------

    // Line commands on the lines of a range, each one undoable edit that
    // leaves the new selection in the buffer's caret.
    enum ShiftAction {
        ShiftOutdent = 1,
        ShiftIndent = 2,
        ShiftLinesUp = 3,
        ShiftLinesDown = 4,
        HeadingRemoveHash = 10,
        HeadingAddHash = 11,
    };
    // Any other action code changes nothing.
    void shiftRange(CharRange range, int action);
    void shiftRangeLeft(CharRange range);
    void shiftRangeRight(CharRange range);
    void shiftRangeUp(CharRange range);
    void shiftRangeDown(CharRange range);
    // One "#" less (the heading goes up a level) or more; a line that is no
    // ATX heading, or would stop being one, stays as it is.
    void decreaseLine(CharRange range);
    void increaseLine(CharRange range);

    // Selection commands: they put the new selection in the buffer's caret
    // and leave the text alone.
    void increaseSelection(CharRange range);
    void decreaseSelection(CharRange range);
    void moveSelectionToPreviousParagraph(CharRange range);
    void moveSelectionToNextParagraph(CharRange range);

    // Moves the sections of `headings` (in the order given) as one undoable
    // edit: onto a heading (they become its last sub-sections), before it or
    // after it; the first destination given counts. Heading levels follow
    // the new place. Rows that do not fit the text as it is now (an older
    // generation, a heading no longer at its offset, overlapping sections),
    // or a destination inside a moved section, refuse the whole move, and
    // nothing changes. True when the text was changed.
    bool moveToCHeadings(const std::vector<HeadingRow> &headings, const HeadingRow *ontoHeading,
                         const HeadingRow *beforeHeading, const HeadingRow *afterHeading);

    // Moves the text of `range` to `destination` (a position of the text as
    // it is now, outside the range) as one undoable edit: text dragged within
    // an editor. Smart pairs and expansions stay out of it; change tracking
    // marks it as usual. Gives where the moved text (with its marks) is
    // afterwards, which the buffer's caret then holds; nothing when nothing
    // moved (editor/storage/storage_move.cpp).
    std::optional<CharRange> moveCharactersInRange(CharRange range, qsizetype destination);

    // Counts the changes of the text: it grows with every edit, undo and
    // redo, so that offsets read from the text can be told from stale ones.
    quint64 editGeneration() const { return m_editGeneration; }

    // --- Elastic tab stops (storage_tab_stops.cpp) --------------------------------

    // With "useElasticTabstops", the columns of every run of consecutive
    // lines that hold tabs line up: a column's stop sits one gap (15 x zoom)
    // past its widest cell, measured in the fonts the text shows. Each
    // restyle realigns the tab block around the restyled lines.
    //
    // The whole text / the tab blocks around a range (from the start of the
    // block that holds or touches its first line to the end of the one that
    // holds or touches its last line). From any thread: the work is done on
    // the storage's thread.
    void alignTabStops();
    void alignTabStopsInRange(CharRange range);
    // Places the stops of columns `depth` and deeper for the lines of
    // `range`; depth 1 first drops what the lines had. Columns deeper than
    // kMaxTabDepth keep the fixed stops of the layout.
    void configureTabStopsDepth(int depth, CharRange range);
    // The width of the widest cell `cell` (from 1) among the lines of `range`
    // that end it with a tab, at least 15 x zoom; 0 for a cell below 1.
    qreal widthOfCell(int cell, CharRange range) const;
    static constexpr int kMaxTabDepth = 256;
    // The elastic stops of a block, in pixels from the text column's left
    // edge, and the indent its wrapped lines get from them (none: the
    // paragraph's own).
    QList<qreal> tabStops(const QTextBlock &block) const;
    std::optional<qreal> tabHeadIndent(const QTextBlock &block) const;

signals:
    // After every patch of the document, with what really changed.
    void textChanged(const TextChange &change);
    // After the blocks of `range` were restyled, still inside the document's
    // edit block of the change that caused it: a listener that adjusts block
    // formats there (elastic tab stops) joins the same layout pass.
    void restyled(CharRange range);
    // A new theme was loaded (or failed to load).
    void themeChanged();

private:
    class Change;
    class StylingPass;

    void assertThread() const;
    CharRange clamp(CharRange range) const;
    void patch(size_t start, size_t removed, size_t inserted, bool restyle = true);
    void resynchronise(const char *reason);
    void forgetString();
    void expandClipboard(size_t *start, size_t *removed, size_t *inserted);
    void freeTree(token *root);
    // The styles and overlays of a block into its QTextLayout, at once or
    // as a change of the document of its own (storage_overlays.cpp).
    void pushFormats(const QTextBlock &block);
    void pushFormatsAsChange(const QTextBlock &block);
    void formatForLayout(const QTextBlock &block);
    QTextCharFormat sharedOverlayFormat(const QTextCharFormat &format);
    static constexpr qsizetype kSharedOverlayFormats = 32;
    void rebuildEngine(uint64_t flags);
    void loadDefaultFont();
    void configureTheme();
    void watchDocument();

    // Elastic tab stops (storage_tab_stops.cpp)
    class CellMeasure;
    void watchTabStops();
    void restyledForTabStops(CharRange range);
    void clearTabStops();
    void configureTabStops(int depth, const QTextBlock &first, const QTextBlock &last);
    // The first and the last block of a range's lines.
    std::pair<QTextBlock, QTextBlock> blocksOf(CharRange range) const;

    // Highlighting (storage_highlight.cpp)
    //
    // Where a parse may begin: a top-level block of the type `type`, or
    // (`type` 0) a place inside one whose opening lines are `opening` (see
    // BlockStyle::opening).
    struct ParseStart {
        qsizetype position = 0;
        quint16 type = 0;
        quint32 opening = 0;
    };
    // Those of a parse of [from, to) that `root` is; a parse taken up inside
    // a block (`within`) begins no top-level block at `from`.
    std::vector<ParseStart> parseStarts(const token *root, qsizetype from, qsizetype to, bool within);
    // Parses [from, to) inside the blocks that `opening` opened (none: at
    // the top), counting the units parsed.
    token *parseText(qsizetype from, qsizetype to, quint32 opening);
    quint32 openingOf(const QTextBlock &block) const;
    // The index + 1 of a list of opening lines, added when new.
    quint32 openingIndex(const unsigned short *types, size_t levels);
    // Records at `block` where the parse `starts` says a parse may begin.
    void recordStart(const QTextBlock &block, const std::vector<ParseStart> &starts);
    void restyleAround(qsizetype start, qsizetype insertedEnd);
    // `editEnd`: where the edit's new text ends (a restyle that stops at the
    // end of a long line's first part styles the parts after it that the
    // edit reached).
    void restyle(const QTextBlock &first, const QTextBlock &editFirst, const QTextBlock &editLast,
                 qsizetype end, qsizetype editEnd = -1);
    // Gives the numbers of the blocks whose formats it set. A `window` parse
    // is of a part of a long line on its own (its blocks get no record of a
    // top-level token); `newContexts` gets the first parts of long lines
    // whose open tokens changed.
    QList<int> styleRange(token *root, qsizetype from, qsizetype to, int forceFirst, int forceLast,
                          bool window = false, QList<int> *newContexts = nullptr,
                          const std::vector<ParseStart> *starts = nullptr, bool within = false);
    void clearStyles(const QTextBlock &first, const QTextBlock &last);
    bool blankLineBefore(qsizetype position) const;
    // Styles the text that waits, from m_styledTo, for about `milliseconds`
    // (all of it for a negative budget).
    void styleAhead(int milliseconds);
    // Styles the next stretch of the text that waits; false once none does.
    bool styleNextStretch();
    // Restyles one part of a long line (not its first) on its own; false
    // when the part before it holds no record of the tokens to read it in.
    bool restylePart(const QTextBlock &part);
    // Restyles the parts from `part` that an edit ending at `editEnd`
    // reached, with those on either side; gives the line after theirs when
    // the edit reached it too, to be restyled as any edit there.
    QTextBlock restyleParts(QTextBlock part, qsizetype editEnd);
    // Records the block-level tokens that `root`, a parse through the end of
    // the first part of a long line, leaves open there; true when they
    // differ from the part's last record. `top` goes along the chain of
    // top-level tokens as the parts come in order.
    bool recordLineContext(const QTextBlock &part, const token *root, const token **top);
    // The text from `position` on is styled again ahead, in slices.
    void styleAheadFrom(qsizetype position);

    // Long lines (storage_long_lines.cpp)
    // The text shown from byte `from` (a line's start or where a part
    // begins) to the end of the line at or after `from + want` bytes, or,
    // where that line runs on far past it, to the end of a part of it; with
    // its long lines in parts. Gives the byte where it ends.
    size_t shownChunk(const char *text, size_t length, size_t from, size_t want, QString *shown);
    // Cuts the lines around document positions [from, to] into parts again
    // (after an edit there; `fromByte` is where `from` begins), keeping the
    // ends their text does not decide; gives where parts' ends came or went.
    std::vector<qsizetype> fitLineParts(qsizetype from, qsizetype to, size_t fromByte);
    void recutLine(qsizetype lineStart, qsizetype lineEnd, qsizetype start, qsizetype past, CharRange edit,
                   const textunits::UnitAnchor &near, std::vector<qsizetype> *moved);
    // The display text of units [from, from + length) of the text, and of
    // the one unit at `position`.
    QString shownText(qsizetype from, qsizetype length) const;
    QString shownUnit(qsizetype position) const { return shownText(position, 1); }

    // Runs one command's edit of the buffer as an undo step of its own and
    // patches the document; true when the text changed (storage_tracking.cpp).
    bool commandEdit(const std::function<void(smart_string_change *)> &edit);

    // Section moves (storage_structure.cpp)
    bool sectionMoveFits(const std::vector<HeadingRow> &headings, const HeadingRow &target,
                         bool onto, qsizetype position) const;
    bool headingRowFits(const HeadingRow &row) const;
    void recursivelyShiftLevelOfHeading(const HeadingRow &heading, int amount,
                                        std::string &section, size_t offset) const;

    StoragePreferences m_preferences;
    ExtrasProvider *m_extras = nullptr;
    _SString *m_buffer = nullptr;
    tzr_engine *m_engine = nullptr;
    // The engine's lock, shared with rebuilds in flight, which learn
    // through it whether the storage still exists.
    struct EngineGuard;
    std::shared_ptr<EngineGuard> m_engineGuard;
    QMetaObject::Connection m_observation;
    QTextDocument *m_document = nullptr;
    LazyDocumentLayout *m_layout = nullptr;
    ThemeStyles m_theme;
    StyleTable m_styles;
    QFont m_defaultFont;
    double m_zoomFactor = 1.0;
    mutable textunits::UnitAnchor m_anchor;
    mutable QString m_string;
    mutable bool m_stringValid = false;
    bool m_patching = false;
    bool m_resyncQueued = false;
    quint64 m_editGeneration = 0;
    ParseListener m_parseListener;
    bool m_hasTabStops = false;  // some block holds elastic stops
    // Where the text that has not been styled yet begins (a block start), or
    // -1 when all of it has been; and what styles it while the program idles.
    qsizetype m_styledTo = -1;
    platform::IdleTask m_styleAheadTask{[this](QDeadlineTimer deadline) {
        styleAhead(int(qBound(qint64(1), deadline.remainingTime(), qint64(kStyleAheadSliceMilliseconds))));
        return isStylingAhead();
    }};
    // While the document holds only the start of the text: the text as it
    // was set (the buffer has changed already when an edit of it reaches
    // the document, which must first hold the text the edit was made to),
    // and how many of its units and bytes the document holds (-1: all).
    QByteArray m_layIn;
    qsizetype m_laidTo = -1;
    size_t m_laidToByte = 0;
    bool m_tabDepthLogged = false;
    // Formats that overlays share (sharedOverlayFormat).
    QList<QTextCharFormat> m_overlayFormats;
    // Parts' ends made and not joined again since the text was last set
    // (parts an edit removed are still counted): none means no block is a
    // part.
    qsizetype m_partEnds = 0;
    // The line that shownChunk last cut in part: the text and the byte it
    // begins at, its units, and a byte in it with the units before it.
    struct ChunkLine {
        const char *text = nullptr;
        size_t start = 0;
        size_t units = 0;
        size_t byte = 0;
        size_t unitsBefore = 0;
    } m_chunkLine;
    qint64 m_unitsParsed = 0;
    qint64 m_unitsRecut = 0;
    // The lists of opening lines that places inside top-level blocks take
    // (BlockStyle::opening), each once.
    QList<QList<quint16>> m_openings;
    QHash<QList<quint16>, quint32> m_openingIndex;
};
