// KVXTextView: construction from the preferences, their observation,
// margins, zoom, the gutter and invisibles switches, copying, the selection
// memory and menu states. Caret, scrolling and positions are in
// kvx_text_view_scrolling.cpp.
#include "editor/view/kvx_text_view.h"

#include <QAction>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/view/find_bar.h"
#include "editor/view/kvx_layout_manager.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/line_numbers_ruler_view.h"
#include "editor/view/text_services.h"
#include "editor/storage/theme_styles.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "platform/services/grammar/grammar_service.h"
#include "platform/services/spelling/spell_service.h"
#include "platform/text/font_resolver.h"
#include "platform/text/pasteboard.h"

#include <optional>
#include <utility>

using namespace zoomgeometry;

namespace {

// The editor's vertical scroll bar, repainted only when what it shows
// changes. The layout settles the heights of a long text's blocks in idle
// slices, and each slice changes the scroll range a little (and the value,
// which keeps the text on screen still): a plain scroll bar repaints at
// every such change, though its handle seldom moves by a pixel. Every
// repaint of a widget in a window that holds a web view has the whole
// window composed again through OpenGL, which without a GPU (software
// rendering, a virtual display) takes tens of milliseconds of the cores:
// with a large text settling in the tab in front, the window was composed
// at every turn of the idle work, and a preview's page, which needs
// hundreds of turns of the event loop to load, took 4 to 13 s to show on
// two loaded cores, where it takes one or two once the bar is still.
//
// The bar looks again once the event that changed it is over, so that a
// change of the range and the change of the value that follows it are
// painted once, or not at all when the handle ends where it was. It
// compares with the look it last asked to be painted in: whatever paints it
// meanwhile (a picture taken of the window) paints it as it is, and any
// change after the asking is looked at again.
class SettlingScrollBar : public QScrollBar {
public:
    explicit SettlingScrollBar(Qt::Orientation orientation) : QScrollBar(orientation) {}

protected:
    void sliderChange(SliderChange change) override {
        if (change != SliderRangeChange && change != SliderValueChange) {
            QScrollBar::sliderChange(change);
            return;
        }
        m_changes |= change == SliderRangeChange ? kRange : kValue;
        if (m_lookQueued)
            return;
        m_lookQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_lookQueued = false;
                const int changes = std::exchange(m_changes, 0);
                const Look now = look();
                if (m_asked && *m_asked == now)
                    return;
                m_asked = now;
                if (changes & kRange)
                    QScrollBar::sliderChange(SliderRangeChange);
                if (changes & kValue)
                    QScrollBar::sliderChange(SliderValueChange);
            },
            Qt::QueuedConnection);
    }

private:
    // What the bar shows of its range and value: where its handle is, and
    // whether it can move either way at all.
    struct Look {
        QRect handle;
        bool atStart = false;
        bool atEnd = false;
        bool operator==(const Look &) const = default;
    };
    Look look() const {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
                value() <= minimum(), value() >= maximum()};
    }

    static constexpr int kRange = 1, kValue = 2;
    std::optional<Look> m_asked;  // as last asked to be painted
    int m_changes = 0;            // the kinds of change since the bar last looked
    bool m_lookQueued = false;
};

// The preferences the view follows while it lives.
const char *const kObservedKeys[] = {
    "lineLength",  "horizontalPadding", "verticalPadding", "typewriterHeight",
    "correctSpelling", "checkSpelling", "checkGrammar",    "smartCopyPaste",
    "smartQuotes", "smartDashes",       "smartLinks",      "smartTextReplacement",
};

}  // namespace

// While one lives, the view's own scrolling and relayouts do not move the
// remembered top line; when the last one goes, the top line is put back.
class TopLineHold {
public:
    explicit TopLineHold(KVXTextView *view) : m_view(view) { m_view->m_holdingTopLine++; }
    ~TopLineHold() {
        if (--m_view->m_holdingTopLine == 0)
            m_view->keepTopLineStill();
    }
    TopLineHold(const TopLineHold &) = delete;
    TopLineHold &operator=(const TopLineHold &) = delete;

private:
    KVXTextView *m_view;
};

// --- Construction ------------------------------------------------------------------

KVXTextView::KVXTextView(SmartTextStorage *storage, platform::Defaults *defaults, QWidget *parent)
    : QTextEdit(parent), m_storage(storage), m_liveStorage(storage),
      m_defaults(defaults ? defaults : &platform::Defaults::standard()) {
    Q_ASSERT(m_storage);
    setVerticalScrollBar(new SettlingScrollBar(Qt::Vertical));
    setDocument(m_storage->document());
    m_storage->setShownIn(this);
    setAcceptRichText(false);
    setAutoFormatting(AutoNone);
    setUndoRedoEnabled(false);
    setTabChangesFocus(false);
    setLineWrapMode(WidgetWidth);
    // The text always wraps; a horizontal bar would only come and go as
    // margins change.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_viewHeight.store(float(viewport()->height()));

    configureSettings();
    configureObservers();
    m_textServices = std::make_unique<TextServices>(this, &platform::SpellService::shared(),
                                                    &platform::GrammarService::shared());
    m_textServices->setCheckSpelling(m_system.continuousSpellChecking);
    m_textServices->setCheckGrammar(m_system.grammarChecking);
    m_textServices->setDetectLinks(m_system.automaticLinkDetection);

    LazyDocumentLayout *layout = m_storage->documentLayout();
    connect(m_storage, &SmartTextStorage::textChanged, this, [this] { textDidChange(); });
    connect(layout, &LazyDocumentLayout::heightsSettled, this, [this] {
        m_settlePending = true;
        keepTopLineStill();
    });
    // Connected after QTextEdit's own handler, so the scroll range already
    // fits the new size when the top line is put back.
    connect(layout, &QAbstractTextDocumentLayout::documentSizeChanged, this, [this] {
        if (m_settlePending || m_caretLineOffset) {
            m_settlePending = false;
            keepTopLineStill();
        }
    });
    // Scrolled by other means than its own relayouts, the view keeps the
    // top line it then shows; the caret moved otherwise than to be shown,
    // its line is no longer held where it was.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (m_holdingTopLine == 0)
            m_caretLineOffset.reset();
        rememberTopLine();
    });
    connect(this, &QTextEdit::cursorPositionChanged, this, [this] {
        m_caretLineOffset.reset();
        keepCaretOutOfSplitCharacters();
    });

    // The view is its own scroll view: the gutter goes in at once.
    addRulerView();
}

KVXTextView::~KVXTextView() {
    // The find bar goes with the widget's children, after this view's own
    // part: what it tells of its going must not reach this view.
    if (m_findBar)
        disconnect(m_findBar, nullptr, this, nullptr);
}

void KVXTextView::configureSettings() {
    configureAppearanceSettings();
    configureLayoutSettings();
    monitorSystemSettings();
    replaceLayoutManager();
    adjustMargins();
}

void KVXTextView::configureAppearanceSettings() {
    m_typewriterMode = m_defaults->boolForKey(QStringLiteral("defaultTypewriterMode"));
    m_typewriterHeight = m_defaults->floatForKey(QStringLiteral("typewriterHeight"));
    m_showInvisibleCharacters = m_defaults->boolForKey(QStringLiteral("showInvisibleCharacters"));
}

void KVXTextView::configureLayoutSettings() {
    m_rawHorizontalPadding = m_defaults->floatForKey(QStringLiteral("horizontalPadding"));
    m_rawVerticalPadding = m_defaults->floatForKey(QStringLiteral("verticalPadding"));
    const double zoom = m_defaults->floatForKey(QStringLiteral("defaultZoom")) / 100.0;
    m_zoomFactor = 1.0;
    scaleBy(zoom > 0 ? float(zoom) : 1.0f);
    setDefaultFont(editorBaseFont(m_defaults->stringForKey(QStringLiteral("defaultFontName")),
                                  m_defaults->doubleForKey(QStringLiteral("defaultFontSize"))));
    m_autoZoom = m_defaults->boolForKey(QStringLiteral("defaultAutoZoom"));
    if (m_autoZoom)
        setZoomToOptimal();
}

void KVXTextView::monitorSystemSettings() {
    m_system.continuousSpellChecking = m_defaults->boolForKey(QStringLiteral("checkSpelling"));
    m_system.automaticSpellingCorrection = m_defaults->boolForKey(QStringLiteral("correctSpelling"));
    m_system.grammarChecking = m_defaults->boolForKey(QStringLiteral("checkGrammar"));
    m_system.automaticTextReplacement = true;
    m_system.smartInsertDelete = m_defaults->boolForKey(QStringLiteral("smartCopyPaste"));
    m_system.automaticQuoteSubstitution = m_defaults->boolForKey(QStringLiteral("smartQuotes"));
    m_system.automaticDashSubstitution = m_defaults->boolForKey(QStringLiteral("smartDashes"));
    m_system.automaticLinkDetection = m_defaults->boolForKey(QStringLiteral("smartLinks"));
}

void KVXTextView::replaceLayoutManager() {
    m_layoutManager = std::make_unique<KVXLayoutManager>(this);
}

void KVXTextView::configureObservers() {
    QStringList keys;
    for (const char *key : kObservedKeys)
        keys.append(QString::fromLatin1(key));
    m_defaults->observe(keys, this,
                       [this](const QString &key, const QVariant &) { preferenceChanged(key); });
}

void KVXTextView::preferenceChanged(const QString &key) {
    auto is = [&key](const char *name) { return key == QLatin1String(name); };
    auto on = [this, &key] { return m_defaults->boolForKey(key); };
    if (is("horizontalPadding")) {
        m_rawHorizontalPadding = m_defaults->floatForKey(key);
        adjustMargins();
    } else if (is("verticalPadding")) {
        m_rawVerticalPadding = m_defaults->floatForKey(key);
        adjustMargins();
    } else if (is("lineLength")) {
        calculateIdealWidth();
        adjustMargins();
    } else if (is("typewriterHeight")) {
        const bool wasTypewriter = m_typewriterMode;
        const bool hadInvisibles = m_showInvisibleCharacters;
        m_typewriterHeight = m_defaults->floatForKey(key);
        configureAppearanceSettings();
        // The switches read again show at once, as their menu items say.
        if (m_showInvisibleCharacters != hadInvisibles && m_layoutManager)
            m_layoutManager->toggleShowInvisibles();
        if (m_typewriterMode) {
            adjustMargins();
            tryToCenterRange(selectedRange(), verticalPadding());
        } else if (wasTypewriter) {
            adjustMargins();
        }
    } else if (is("correctSpelling")) {
        m_system.automaticSpellingCorrection = on();
    } else if (is("checkSpelling")) {
        m_system.continuousSpellChecking = on();
        m_textServices->setCheckSpelling(m_system.continuousSpellChecking);
    } else if (is("checkGrammar")) {
        m_system.grammarChecking = on();
        m_textServices->setCheckGrammar(m_system.grammarChecking);
        // Turned on where it cannot be: the user is told, once.
        if (m_system.grammarChecking)
            m_textServices->tellWhenGrammarCannotBeChecked();
    } else if (is("smartCopyPaste")) {
        m_system.smartInsertDelete = on();
    } else if (is("smartQuotes")) {
        m_system.automaticQuoteSubstitution = on();
    } else if (is("smartDashes")) {
        m_system.automaticDashSubstitution = on();
    } else if (is("smartLinks")) {
        m_system.automaticLinkDetection = on();
        m_textServices->setDetectLinks(m_system.automaticLinkDetection);
    } else if (is("smartTextReplacement")) {
        m_system.automaticTextReplacement = on();
    }
}

// The flag may be set from any thread; the relayout runs on the view's own.
void KVXTextView::setIsLoading(bool loading) {
    if (m_isLoading.exchange(loading) == loading)
        return;
    emit isLoadingChanged(loading);
    if (!loading)
        platform::Dispatch::performOnMain([view = QPointer<KVXTextView>(this)] {
            if (view)
                view->refreshLayout();
        });
}

void KVXTextView::setDefaultFont(const QFont &font) {
    m_defaultFont = font;
    calculateIdealWidth();
    if (m_layoutManager) {
        m_layoutManager->setFont();
        adjustMargins();
    }
}

// --- Margins -------------------------------------------------------------------------

double KVXTextView::horizontalPadding() const {
    return zoomgeometry::horizontalPadding(m_rawHorizontalPadding, m_zoomFactor);
}

double KVXTextView::verticalPadding() const {
    double visible = viewHeight();
    if (visible == 0)
        visible = height();
    return zoomgeometry::verticalPadding(m_rawVerticalPadding, m_zoomFactor, m_typewriterMode,
                                         m_typewriterHeight, visible);
}

void KVXTextView::setMarginsHoriz(double horizontal, double vertical) {
    const ZoomGeometry g = geometry();
    LazyDocumentLayout *layout = m_storage->documentLayout();
    TopLineHold hold(this);
    layout->setHorizontalPadding(g.toScreen(horizontal), g.toScreen(horizontal));
    layout->setVerticalPadding(g.toScreen(vertical), g.toScreen(vertical));
    refreshLayout();
}

void KVXTextView::adjustMargins() {
    const double width = geometry().toText(viewport()->width());
    setMarginsHoriz(horizontalMargin(width, horizontalPadding(), m_idealWidth), verticalPadding());
}

void KVXTextView::refreshLayout() {
    viewport()->update();
    if (m_ruler && m_showLineNumbers)
        m_ruler->update();
}

// --- Zoom --------------------------------------------------------------------------------

void KVXTextView::scaleBy(float factor) {
    if (!zoomStepApplies(factor))
        return;
    applyZoom(m_zoomFactor * double(factor));
}

// The one place a zoom reaches the text: fonts and metrics through the
// storage, the gutter, the marks and the margins.
void KVXTextView::applyZoom(double zoom) {
    if (zoom == m_zoomFactor || zoom <= 0)
        return;
    const double ratio = zoom / m_zoomFactor;
    {
        TopLineHold hold(this);
        m_topOffset *= ratio;
        m_zoomFactor = zoom;
        m_storage->setZoomFactor(zoom);
        if (m_ruler)
            m_ruler->setZoomFactor(zoom);
        if (m_layoutManager)
            m_layoutManager->setFont();
        adjustMargins();
    }
    emit zoomFactorChanged(zoom);
}

void KVXTextView::setZoomFactorTo(float zoom) {
    const double target = zoom <= 0 ? 1.0 : double(zoom);
    scaleBy(float(target / m_zoomFactor));
}

// Automatic zoom goes off first: the relayout of a zoom may resize the
// view, which must not fit the zoom to the width again.
void KVXTextView::zoomIn() {
    m_autoZoom = false;
    scaleBy(1.1f);
}

void KVXTextView::zoomOut() {
    m_autoZoom = false;
    scaleBy(1.0f / 1.1f);
}

void KVXTextView::resetZoomFactor() {
    if (m_autoZoom) {
        setZoomToOptimal();
        refreshLayout();
        return;
    }
    setZoomFactorTo(1.0f);
    // A remainder below the smallest step is dropped too.
    applyZoom(1.0);
    if (m_ruler) {
        m_ruler->setZoomFactor(1.0);
        m_ruler->clientTextStorageDidProcessEditing();
    }
    setZoomFactorTo(float(m_defaults->floatForKey(QStringLiteral("defaultZoom")) / 100.0));
    adjustMargins();
}

void KVXTextView::calculateIdealWidth() {
    QFont font = m_defaultFont;
    if (font.family().isEmpty())
        font = platform::FontResolver::font(QStringLiteral("Palatino"), 14);
    const double sample =
        QFontMetricsF(font).horizontalAdvance(QString::fromLatin1(kWidthSample));
    m_idealWidth = zoomgeometry::idealWidth(sample, m_defaults->floatForKey(QStringLiteral("lineLength")));
}

void KVXTextView::setZoomToOptimal() {
    const double lineLength = m_defaults->floatForKey(QStringLiteral("lineLength"));
    if (lineLength == 0) {
        setZoomFactorTo(float(m_defaults->floatForKey(QStringLiteral("defaultZoom")) / 100.0));
        return;
    }
    const ZoomGeometry g = geometry();
    const double ruler = m_ruler && m_showLineNumbers ? g.toText(m_ruler->ruleThickness()) : 0;
    const double factor = optimalZoomFactor(g.toText(viewport()->width()), ruler,
                                            horizontalPadding(), m_idealWidth);
    scaleBy(float(factor));
}

void KVXTextView::toggleAutoZoom() {
    m_autoZoom = !m_autoZoom;
    m_defaults->setBool(m_autoZoom, QStringLiteral("defaultAutoZoom"));
    resetZoomFactor();
}

// --- Gutter and invisibles ------------------------------------------------------------------

void KVXTextView::addRulerView() {
    if (m_ruler)
        return;
    m_ruler = new LineNumbersRulerView(this, this);
    m_ruler->setZoomFactor(m_zoomFactor);
    connect(m_ruler, &LineNumbersRulerView::thicknessChanged, this, [this] {
        updateViewportMargins();
        if (m_autoZoom)
            setZoomToOptimal();
    });
    // New windows open with the last choice of numbering.
    m_countParasNotLines = m_defaults->boolForKey(QStringLiteral("countParasNotLines"));
    m_ruler->updateLineInformation();
    setShowLineNumbers(m_defaults->boolForKey(QStringLiteral("showLineNumbers")));
}

void KVXTextView::setShowLineNumbers(bool on) {
    const bool changed = on != m_showLineNumbers;
    m_showLineNumbers = on;
    if (m_ruler) {
        m_ruler->setVisible(on);
        updateViewportMargins();
    }
    if (changed)
        emit showLineNumbersChanged(on);
}

void KVXTextView::updateViewportMargins() {
    const int left = m_ruler && m_showLineNumbers ? m_ruler->ruleThickness() : 0;
    // The bar spans the gutter and the text; its height depends on that width
    // (one row or two), which no margin changes.
    const int barWidth = viewportMargins().left() + viewport()->width();
    const int top = m_findBar && m_findBar->isVisible() ? m_findBar->heightForWidth(barWidth) : 0;
    setViewportMargins(left, top, 0, 0);
    const QRect area = contentsRect();
    if (m_ruler)
        m_ruler->setGeometry(area.left(), area.top() + top, left, viewport()->height());
    if (m_findBar)
        m_findBar->setGeometry(area.left(), area.top(), barWidth, top);
}

void KVXTextView::toggleShowLineNumbers() {
    const bool wasParagraphs = m_countParasNotLines;
    m_countParasNotLines = false;
    m_defaults->setBool(false, QStringLiteral("countParasNotLines"));
    if (wasParagraphs && m_ruler)
        m_ruler->resetIndex();
    setShowLineNumbers(wasParagraphs ? true : !m_showLineNumbers);
    m_defaults->setBool(m_showLineNumbers, QStringLiteral("showLineNumbers"));
}

void KVXTextView::toggleShowParagraphNumbers() {
    const bool wasParagraphs = m_countParasNotLines;
    m_countParasNotLines = true;
    m_defaults->setBool(true, QStringLiteral("countParasNotLines"));
    if (!wasParagraphs && m_ruler)
        m_ruler->resetIndex();
    setShowLineNumbers(!wasParagraphs ? true : !m_showLineNumbers);
    m_defaults->setBool(m_showLineNumbers, QStringLiteral("showLineNumbers"));
}

void KVXTextView::toggleShowInvisibleCharacters() {
    m_showInvisibleCharacters = !m_showInvisibleCharacters;
    m_defaults->setBool(m_showInvisibleCharacters, QStringLiteral("showInvisibleCharacters"));
    m_layoutManager->toggleShowInvisibles();
}

bool KVXTextView::validateUserInterfaceItem(const QString &action, QAction *item) {
    if (!item)
        return true;
    std::optional<bool> state;
    if (action == QLatin1String("toggleAutoZoom:"))
        state = m_autoZoom;
    else if (action == QLatin1String("toggleTypewriterMode:"))
        state = m_typewriterMode;
    else if (action == QLatin1String("toggleShowLineNumbers:"))
        state = m_showLineNumbers && !m_countParasNotLines;
    else if (action == QLatin1String("toggleShowParagraphNumbers:"))
        state = m_showLineNumbers && m_countParasNotLines;
    else if (action == QLatin1String("toggleShowInvisibleCharacters:"))
        state = m_showInvisibleCharacters;
    if (state) {
        item->setCheckable(true);
        item->setChecked(*state);
    }
    return true;
}

FindBar *KVXTextView::findBar() {
    if (!m_findBar) {
        m_findBar = new FindBar(this);
        m_findBar->hide();
        connect(m_findBar, &FindBar::visibilityChanged, this, [this] { updateViewportMargins(); });
        connect(m_findBar, &FindBar::heightChanged, this, [this] { updateViewportMargins(); });
    }
    return m_findBar;
}

// --- Selection -------------------------------------------------------------------------------

CharRange KVXTextView::selectedRange() const {
    const QTextCursor cursor = textCursor();
    return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

void KVXTextView::setSelectedRange(CharRange range) {
    const qsizetype n = m_storage->length();
    const qsizetype start = qBound<qsizetype>(0, range.location, n);
    const qsizetype end = qBound<qsizetype>(start, range.end(), n);
    // The selected text, and a stretch after it to scroll it into the
    // middle of the view, must be in the document to be selected.
    m_storage->layInThrough(end + SmartTextStorage::kStyleAheadStretch);
    QTextCursor cursor(document());
    cursor.setPosition(int(start));
    cursor.setPosition(int(end), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

// A part of a long line may end inside a character (at a joiner between two
// emoji, a presentation selector): Qt's caret, which takes the parts for
// blocks, would stop there, by a key, a click or a selection. It goes on past
// the character the way it moved (to the nearer side when it did not), and
// a selection's anchor to the side away from the caret, so that the
// selection holds the character whole.
void KVXTextView::keepCaretOutOfSplitCharacters() {
    QTextCursor cursor = textCursor();
    const int position = cursor.position(), anchor = cursor.anchor();
    const int last = m_lastCaret;
    m_lastCaret = position;
    if (m_placingCaret || !m_liveStorage || !m_liveStorage->mayHaveLineParts())
        return;
    // Past the character at `at` that way (-1, +1), or to its nearer side (0).
    auto outside = [this](int at, int way) {
        const CharRange character = m_storage->characterSplitAt(at);
        if (character.length == 0)
            return at;
        const bool forward = way != 0 ? way > 0 : at - character.location > character.end() - at;
        return int(forward ? character.end() : character.location);
    };
    const int placed = outside(position, position == last ? 0 : position > last ? 1 : -1);
    const int anchored = anchor == position ? placed : outside(anchor, anchor < position ? -1 : 1);
    if (placed == position && anchored == anchor)
        return;
    m_placingCaret = true;
    cursor.setPosition(anchored);
    cursor.setPosition(placed, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    m_placingCaret = false;
    m_lastCaret = placed;
}

void KVXTextView::saveSelection() { m_savedSelection.save(m_storage->string(), selectedRange()); }

void KVXTextView::restoreSelection() {
    setSelectedRange(m_savedSelection.restore(m_storage->str(), m_storage->len()));
}

// --- Pasteboard --------------------------------------------------------------------------------

QString KVXTextView::stringFromPasteboard() const {
    return platform::Pasteboard::string().value_or(QString());
}

void KVXTextView::stringToPasteboard(const QString &text) { platform::Pasteboard::setString(text); }

void KVXTextView::attributedStringToPasteboard(CharRange range) {
    platform::Pasteboard::setMimeData(richTextOfRange(range));
}

// Made from the buffer's bytes of the range alone: a word checked as it is
// ended must not turn a long text into UTF-16 whole after every edit.
QString KVXTextView::textOfRange(CharRange range) const {
    const auto [start, length] = m_storage->byteRangeFromCharRange(range);
    return textunits::realText(m_storage->str() + start, length);
}

std::unique_ptr<QTextDocument> KVXTextView::richDocumentOfRange(CharRange range) const {
    const QString text = m_storage->string();
    const qsizetype from = qBound<qsizetype>(0, range.location, text.size());
    const qsizetype to = qBound<qsizetype>(from, range.end(), text.size());
    auto rich = std::make_unique<QTextDocument>();
    rich->setDefaultFont(m_storage->defaultFont());
    QTextCursor cursor(rich.get());
    const QTextDocument *shown = m_storage->document();
    bool first = true;
    for (QTextBlock block = shown->findBlock(int(from)); block.isValid() && block.position() <= to;
         block = block.next()) {
        const QTextBlockFormat paragraph = blockFormatFor(m_storage->paragraphAttributes(block), 1);
        if (first)
            cursor.setBlockFormat(paragraph);
        else
            cursor.insertBlock(paragraph);
        first = false;
        const qsizetype start = block.position();
        const qsizetype end = start + block.length() - 1;
        auto insert = [&](qsizetype a, qsizetype b, const QTextCharFormat &format) {
            a = qMax(a, from);
            b = qMin(b, to);
            if (b > a)
                cursor.insertText(text.mid(a, b - a), format);
        };
        const QList<AttributeRun> runs = m_storage->runs(block);
        if (runs.isEmpty())
            insert(start, end, QTextCharFormat());
        for (const AttributeRun &run : runs)
            insert(start + run.start, start + run.start + run.length, charFormatFor(run.attrs, 1));
    }
    return rich;
}

QMimeData *KVXTextView::richTextOfRange(CharRange range) const {
    const QString text = m_storage->string();
    const qsizetype from = qBound<qsizetype>(0, range.location, text.size());
    const qsizetype to = qBound<qsizetype>(from, range.end(), text.size());
    auto *data = new QMimeData;
    data->setHtml(richDocumentOfRange(range)->toHtml());
    data->setText(text.mid(from, to - from));
    return data;
}

QString KVXTextView::committedString() const { return m_storage->string(); }

QByteArray KVXTextView::committedUtf8() const { return QByteArray(m_storage->str(), qsizetype(m_storage->len())); }

bool KVXTextView::holdsCommittedUtf8(QByteArrayView utf8) const {
    return QByteArrayView(m_storage->str(), qsizetype(m_storage->len())) == utf8;
}

// What the copy commands take: the selection, or the whole text when
// nothing is selected.
CharRange KVXTextView::rangeToCopy() const {
    const CharRange range = selectedRange();
    return range.length > 0 ? range : CharRange{0, m_storage->length()};
}

void KVXTextView::copyAsPlainText() { stringToPasteboard(textOfRange(rangeToCopy())); }

void KVXTextView::copyAsRichText() { attributedStringToPasteboard(rangeToCopy()); }

void KVXTextView::copy() { copyAsPlainText(); }

QMimeData *KVXTextView::createMimeDataFromSelection() const {
    auto *data = new QMimeData;
    data->setText(textOfRange(selectedRange()));
    return data;
}

// --- Events ---------------------------------------------------------------------------------------

bool KVXTextView::event(QEvent *event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::InputMethod:
        if (m_liveStorage)
            m_liveStorage->finishLayingIn();
        break;
    default:
        break;
    }
    return QTextEdit::event(event);
}

bool KVXTextView::viewportEvent(QEvent *event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::DragEnter:
    case QEvent::Drop:
        if (m_liveStorage)
            m_liveStorage->finishLayingIn();
        break;
    default:
        break;
    }
    return QTextEdit::viewportEvent(event);
}

void KVXTextView::keyPressEvent(QKeyEvent *event) {
    if (event == QKeySequence::Copy) {
        copy();
        event->accept();
        return;
    }
    if (event == QKeySequence::Find) {
        findBar()->showBar();
        event->accept();
        return;
    }
    if (event == QKeySequence::FindNext || event == QKeySequence::FindPrevious) {
        if (event == QKeySequence::FindNext)
            findBar()->findNext();
        else
            findBar()->findPrevious();
        event->accept();
        return;
    }
    if (m_typewriterMode && m_defaults->boolForKey(QStringLiteral("typewriterFollowsSelection"))) {
        switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
            centerCaretUsingTarget(true);
            break;
        default:
            break;
        }
    }
    QTextEdit::keyPressEvent(event);
}

void KVXTextView::resizeEvent(QResizeEvent *event) {
    {
        TopLineHold hold(this);
        QTextEdit::resizeEvent(event);
        m_viewHeight.store(float(viewport()->height()), std::memory_order_relaxed);
        updateViewportMargins();
        if (m_autoZoom)
            setZoomToOptimal();
        adjustMargins();
    }
    makeCaretVisible();
}

void KVXTextView::changeEvent(QEvent *event) {
    // QTextEdit would give the document the widget's font; the storage
    // decides the document's font (and folds the zoom into it).
    if (event->type() == QEvent::FontChange) {
        QAbstractScrollArea::changeEvent(event);
        return;
    }
    QTextEdit::changeEvent(event);
}

void KVXTextView::paintEvent(QPaintEvent *event) {
    QTextEdit::paintEvent(event);
    const QPointF offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    QPainter painter(viewport());
    painter.translate(-offset);
    m_layoutManager->drawGlyphsForGlyphRange(&painter, QRectF(event->rect()).translated(offset));
}
