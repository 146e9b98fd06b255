// KVXTextView: the editor view a writer lives in, over a SmartTextStorage.
//
// It owns how text sits on screen and nothing about Markdown: the margins
// (a text column of the preferred line length centred in the view, the
// horizontal and vertical padding), the zoom (fixed steps, or an automatic
// zoom that fits the line length), typewriter scrolling (the caret line held
// at a fixed height of the visible area), keeping the caret visible, the
// invisible-character marks, the line-number gutter, plain and rich copies,
// the positions other views read, and a selection remembered across a
// replacement of the whole text. The Markdown editor builds on it.
//
// Coordinates. The view is never scaled: the zoom factor is folded into the
// storage's fonts and metrics (SmartTextStorage::setZoomFactor), into the
// margins and into the gutter. The padding and scrolling rules are stated in
// text coordinates (screen lengths divided by the zoom) and converted once,
// where a length is handed to Qt. The positions for other views are given
// in document pixels (the zoom included): a rectangle's y counts from the
// top of the text, below the padding above it.
//
// The text. The view shows the storage's document and never edits it;
// every edit goes through the storage. The storage must outlive the view.
//
// Threads: everything runs on the main thread, except viewHeight(), which
// any thread may read at any time.
#pragma once

#include <QFont>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QTextBlock>
#include <QTextEdit>

#include <atomic>
#include <memory>

#include "editor/view/selection_memory.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/zoom_geometry.h"

class FindBar;
class KVXLayoutManager;
class LineNumbersRulerView;
class QAction;
class QMimeData;
class TextServices;
namespace platform {
class Defaults;
}

class KVXTextView : public QTextEdit {
    Q_OBJECT
    Q_PROPERTY(bool showLineNumbers READ showLineNumbers WRITE setShowLineNumbers NOTIFY
                   showLineNumbersChanged)
    Q_PROPERTY(bool isLoading READ isLoading WRITE setIsLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(double zoomFactor READ zoomFactor NOTIFY zoomFactorChanged)

public:
    // A range that stands for none (the selection before any recentring).
    static constexpr CharRange kNoRange{-1, 0};

    // Shows `storage`'s document, configured from the preferences in
    // `defaults` (the standard store when null), read now and observed
    // while the view lives.
    explicit KVXTextView(SmartTextStorage *storage, platform::Defaults *defaults = nullptr,
                         QWidget *parent = nullptr);
    ~KVXTextView() override;

    SmartTextStorage *storage() const { return m_storage; }
    platform::Defaults &defaults() const { return *m_defaults; }
    KVXLayoutManager *layoutManager() const { return m_layoutManager.get(); }
    // The gutter (null before addRulerView).
    LineNumbersRulerView *verticalRulerView() const { return m_ruler; }
    // The find bar (made on first use).
    FindBar *findBar();

    // --- State ------------------------------------------------------------------

    double rawHorizontalPadding() const { return m_rawHorizontalPadding; }
    double rawVerticalPadding() const { return m_rawVerticalPadding; }
    double zoomFactor() const { return m_zoomFactor; }
    bool autoZoom() const { return m_autoZoom; }
    void setAutoZoom(bool on) { m_autoZoom = on; }
    bool typewriterMode() const { return m_typewriterMode; }
    void setTypewriterMode(bool on) { m_typewriterMode = on; }
    double typewriterHeight() const { return m_typewriterHeight; }
    bool showInvisibleCharacters() const { return m_showInvisibleCharacters; }
    bool showLineNumbers() const { return m_showLineNumbers; }
    void setShowLineNumbers(bool on);
    bool countParasNotLines() const { return m_countParasNotLines; }
    bool isLoading() const { return m_isLoading.load(); }
    // Becoming false lays the view out again.
    void setIsLoading(bool loading);

    // The editor's base font (preferences "defaultFontName" and
    // "defaultFontSize", else the serif face that stands in for Palatino at
    // 12 points); setting it measures the ideal column width again.
    QFont defaultFont() const { return m_defaultFont; }
    void setDefaultFont(const QFont &font);
    // The width of the configured line length in the default font, in text
    // coordinates; 10000 without a line length.
    double idealWidth() const { return m_idealWidth; }
    CharRange oldSelectedRange() const { return m_oldSelectedRange; }

    // The selection in UTF-16 units, and setting it.
    CharRange selectedRange() const;
    void setSelectedRange(CharRange range);

    // The text services' switches, as the preferences say: spelling and
    // grammar checked as the user types ("checkSpelling", "checkGrammar")
    // and addresses shown as links ("smartLinks") are the view's own
    // (textServices()); corrections and substitutions as the user types are
    // the Markdown editor's. The system's text replacement is kept but
    // nothing acts on it.
    struct SystemTextSettings {
        bool continuousSpellChecking = false;
        bool automaticSpellingCorrection = false;
        bool grammarChecking = false;
        bool automaticTextReplacement = true;
        bool smartInsertDelete = false;
        bool automaticQuoteSubstitution = false;
        bool automaticDashSubstitution = false;
        bool automaticLinkDetection = false;
    };
    const SystemTextSettings &systemTextSettings() const { return m_system; }
    // Misspelt words, faulty sentences and addresses marked in the text.
    TextServices *textServices() const { return m_textServices.get(); }

    // --- Margins ------------------------------------------------------------------

    // The horizontal margin and the vertical padding, in text coordinates.
    void setMarginsHoriz(double horizontal, double vertical);
    // The paddings in text coordinates.
    double horizontalPadding() const;
    double verticalPadding() const;
    // The margins the view's width, paddings, line length and zoom call for.
    void adjustMargins();
    void refreshLayout();
    // The visible height in pixels; safe from any thread, never waits.
    double viewHeight() const { return double(m_viewHeight.load(std::memory_order_relaxed)); }

    // --- Zoom ---------------------------------------------------------------------

    // Multiplies the zoom by `factor`, unless the factor is 0 or within half
    // a percent of 1.
    void scaleBy(float factor);
    void setZoomFactorTo(float zoom);
    void zoomIn();
    void zoomOut();
    void resetZoomFactor();
    void calculateIdealWidth();
    // The zoom at which the configured line length fills the view.
    void setZoomToOptimal();
    void toggleAutoZoom();

    // --- Caret and scrolling --------------------------------------------------------

    void makeCaretVisible();
    void locateOnCaret();
    void forceRecenterCaret();
    void centerCaretUsingTarget(bool useTarget);
    // The scroll point (text coordinates) that puts the range at the
    // typewriter height (`useTarget`) or the middle of the view.
    QPointF idealScrollPointForCenteringRange(CharRange range, bool useTarget) const;
    QPointF safeScrollPointForCenteringRange(CharRange range, bool useTarget) const;
    void centerRange(CharRange range, bool useTarget);
    void centerTopOfRange(CharRange range, bool useTarget);
    void centerBottomOfRange(CharRange range, bool useTarget);
    void tryToCenterRange(CharRange range, double oldContentInset);
    void toggleTypewriterMode();
    // The scroll position (text coordinates) now, and scrolling there.
    double scrollY() const;
    void scrollToY(double textY);

    // --- Positions for other views ----------------------------------------------------

    // Where the caret line's middle is, as a fraction of the visible height.
    double cursorPosition() const;
    double screenPositionForLocation(CharRange range) const;
    // The bounding rectangle of the range's glyphs (an empty range: its
    // caret line), in document pixels from the top of the text.
    QRectF offsetRectForLocation(CharRange range) const;
    // The range's first line's middle (y) and height as fractions of the
    // whole document's height; x and width in pixels.
    QRectF percentOffsetRectForRange(CharRange range) const;
    // The block at a y of the document (pixels), laid out as needed.
    QTextBlock blockAtDocumentY(qreal y) const;

    // --- Selection across a replacement of the text ---------------------------------------

    void saveSelection();
    void restoreSelection();
    const SelectionMemory &savedSelection() const { return m_savedSelection; }

    // --- Pasteboard -------------------------------------------------------------------

    QString stringFromPasteboard() const;
    void stringToPasteboard(const QString &text);
    // Puts the rich text of a range (HTML with plain text) on the pasteboard.
    void attributedStringToPasteboard(CharRange range);
    // The selection, or the whole text when nothing is selected, as plain
    // text (copy does the same) or as rich text.
    void copyAsPlainText();
    void copyAsRichText();
    void copy();
    // The real text of a range (not the document's display of it), and its
    // rich form: HTML in the storage's styles at zoom 1, with plain text.
    QString textOfRange(CharRange range) const;
    QMimeData *richTextOfRange(CharRange range) const;
    // The same rich text as a document of its own: the characters carry the
    // styles the storage shows (colours, fonts and paragraph formats, at zoom
    // 1) as real formats, which a copy of the shown document would lose
    // (they live in its layouts). What printing lays out on pages.
    std::unique_ptr<QTextDocument> richDocumentOfRange(CharRange range) const;

    // --- Gutter, invisibles and menus --------------------------------------------------------

    // Installs the gutter (once) and shows it as "showLineNumbers" says.
    void addRulerView();
    void toggleShowLineNumbers();
    void toggleShowParagraphNumbers();
    void toggleShowInvisibleCharacters();
    // Marks the menu item of an action ("toggleAutoZoom:") as on or off;
    // every item stays enabled.
    virtual bool validateUserInterfaceItem(const QString &action, QAction *item);

    // The text as the document has it: a completion only offered in its
    // list is not yet text, and the text it stands over is given instead.
    virtual QString committedString() const;
    // The same as UTF-8, as the buffer holds it (a copy of its bytes, without
    // the text in UTF-16), and whether it is `utf8` (compared with them).
    virtual QByteArray committedUtf8() const;
    virtual bool holdsCommittedUtf8(QByteArrayView utf8) const;
    // Takes back what is only offered (the list closes, the word typed comes
    // back), before the text is replaced or the view gives up the keyboard.
    virtual void withdrawOfferedText() {}

    // After every change of the text: keeps the selection within the text
    // and the caret in view (recentred in typewriter mode). A subclass that
    // places the caret itself after an edit does so, then calls this.
    virtual void textDidChange();

signals:
    void showLineNumbersChanged(bool shown);
    void isLoadingChanged(bool loading);
    void zoomFactorChanged(double zoom);

protected:
    // Keys, clicks and drops act on the whole text: a text still being laid
    // into the document is laid in all at once before they reach it.
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    void configureSettings();
    void configureAppearanceSettings();
    void configureLayoutSettings();
    void monitorSystemSettings();
    void replaceLayoutManager();
    void configureObservers();
    void preferenceChanged(const QString &key);
    void frameChanged();
    void applyZoom(double zoom);
    void updateViewportMargins();
    void rememberTopLine();
    void keepTopLineStill();
    void keepCaretOutOfSplitCharacters();
    friend class TopLineHold;
    QRectF documentRectForRange(CharRange range) const;
    double boundsHeight() const;
    CharRange rangeToCopy() const;
    zoomgeometry::ZoomGeometry geometry() const { return {m_zoomFactor}; }

    SmartTextStorage *m_storage;
    // The same storage while it exists: a window may drop it before the
    // view, which then has no text to lay in before an event.
    QPointer<SmartTextStorage> m_liveStorage;
    platform::Defaults *m_defaults;
    std::unique_ptr<KVXLayoutManager> m_layoutManager;
    LineNumbersRulerView *m_ruler = nullptr;
    FindBar *m_findBar = nullptr;

    double m_rawHorizontalPadding = 40;
    double m_rawVerticalPadding = 60;
    double m_zoomFactor = 1.0;
    bool m_autoZoom = false;
    bool m_typewriterMode = false;
    double m_typewriterHeight = 0.5;
    bool m_showInvisibleCharacters = false;
    bool m_showLineNumbers = false;
    bool m_countParasNotLines = false;
    std::atomic<bool> m_isLoading{false};
    QFont m_defaultFont;
    double m_idealWidth = zoomgeometry::kNoIdealWidth;
    CharRange m_oldSelectedRange = kNoRange;
    SelectionMemory m_savedSelection;
    SystemTextSettings m_system;
    std::unique_ptr<TextServices> m_textServices;
    std::atomic<float> m_viewHeight{0};
    // The first line shown and how far the view stands below its block's
    // top, kept while heights of blocks above it settle.
    int m_topBlock = 0;
    double m_topOffset = 0;
    int m_holdingTopLine = 0;
    bool m_settlePending = false;
    // Where the caret was last, and whether it is being put past a
    // character a part's end splits.
    int m_lastCaret = 0;
    bool m_placingCaret = false;
};
