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
#include <QTextCursor>
#include <QTextDocument>

#include "editor/view/find_bar.h"
#include "editor/view/kvx_layout_manager.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/line_numbers_ruler_view.h"
#include "editor/storage/theme_styles.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "platform/text/font_resolver.h"
#include "platform/text/pasteboard.h"

using namespace zoomgeometry;

namespace {

// The preferences the view follows while it lives.
const char *const kObservedKeys[] = {
    "lineLength",  "horizontalPadding", "verticalPadding", "typewriterHeight",
    "correctSpelling", "checkSpelling", "smartCopyPaste",  "smartQuotes",
    "smartDashes", "smartLinks",        "smartTextReplacement",
};

}  // namespace

// While one lives, the view's own scrolling and relayouts do not move the
// remembered top line; when the last one goes, the top line is put back.
class TopLineHold {
public:
    explicit TopLineHold(KVXTextView *view) : view_(view) { view_->holdingTopLine_++; }
    ~TopLineHold() {
        if (--view_->holdingTopLine_ == 0)
            view_->keepTopLineStill();
    }
    TopLineHold(const TopLineHold &) = delete;
    TopLineHold &operator=(const TopLineHold &) = delete;

private:
    KVXTextView *view_;
};

// --- Construction ------------------------------------------------------------------

KVXTextView::KVXTextView(SmartTextStorage *storage, platform::Defaults *defaults, QWidget *parent)
    : QTextEdit(parent), storage_(storage),
      defaults_(defaults ? defaults : &platform::Defaults::standard()) {
    Q_ASSERT(storage_);
    setDocument(storage_->document());
    setAcceptRichText(false);
    setAutoFormatting(AutoNone);
    setUndoRedoEnabled(false);
    setTabChangesFocus(false);
    setLineWrapMode(WidgetWidth);
    // The text always wraps; a horizontal bar would only come and go as
    // margins change.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewHeight_.store(float(viewport()->height()));

    configureSettings();
    configureObservers();

    LazyDocumentLayout *layout = storage_->documentLayout();
    connect(storage_, &SmartTextStorage::textChanged, this, [this] { textDidChange(); });
    connect(layout, &LazyDocumentLayout::heightsSettled, this, [this] {
        settlePending_ = true;
        keepTopLineStill();
    });
    // Connected after QTextEdit's own handler, so the scroll range already
    // fits the new size when the top line is put back.
    connect(layout, &QAbstractTextDocumentLayout::documentSizeChanged, this, [this] {
        if (settlePending_) {
            settlePending_ = false;
            keepTopLineStill();
        }
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { rememberTopLine(); });

    // The view is its own scroll view: the gutter goes in at once.
    addRulerView();
}

KVXTextView::~KVXTextView() = default;

void KVXTextView::configureSettings() {
    configureAppearanceSettings();
    configureLayoutSettings();
    monitorSystemSettings();
    replaceLayoutManager();
    adjustMargins();
}

void KVXTextView::configureAppearanceSettings() {
    typewriterMode_ = defaults_->boolForKey(QStringLiteral("defaultTypewriterMode"));
    typewriterHeight_ = defaults_->floatForKey(QStringLiteral("typewriterHeight"));
    showInvisibleCharacters_ = defaults_->boolForKey(QStringLiteral("showInvisibleCharacters"));
}

void KVXTextView::configureLayoutSettings() {
    rawHorizontalPadding_ = defaults_->floatForKey(QStringLiteral("horizontalPadding"));
    rawVerticalPadding_ = defaults_->floatForKey(QStringLiteral("verticalPadding"));
    const double zoom = defaults_->floatForKey(QStringLiteral("defaultZoom")) / 100.0;
    zoomFactor_ = 1.0;
    scaleBy(zoom > 0 ? float(zoom) : 1.0f);
    setDefaultFont(editorBaseFont(defaults_->stringForKey(QStringLiteral("defaultFontName")),
                                  defaults_->doubleForKey(QStringLiteral("defaultFontSize"))));
    autoZoom_ = defaults_->boolForKey(QStringLiteral("defaultAutoZoom"));
    if (autoZoom_)
        setZoomToOptimal();
}

void KVXTextView::monitorSystemSettings() {
    system_.continuousSpellChecking = defaults_->boolForKey(QStringLiteral("checkSpelling"));
    system_.automaticSpellingCorrection = defaults_->boolForKey(QStringLiteral("correctSpelling"));
    system_.grammarChecking = defaults_->boolForKey(QStringLiteral("checkGrammar"));
    system_.automaticTextReplacement = true;
}

void KVXTextView::replaceLayoutManager() {
    layoutManager_ = std::make_unique<KVXLayoutManager>(this);
}

void KVXTextView::configureObservers() {
    QStringList keys;
    for (const char *key : kObservedKeys)
        keys.append(QString::fromLatin1(key));
    defaults_->observe(keys, this,
                       [this](const QString &key, const QVariant &) { preferenceChanged(key); });
}

void KVXTextView::preferenceChanged(const QString &key) {
    auto is = [&key](const char *name) { return key == QLatin1String(name); };
    auto on = [this, &key] { return defaults_->boolForKey(key); };
    if (is("horizontalPadding")) {
        rawHorizontalPadding_ = defaults_->floatForKey(key);
        adjustMargins();
    } else if (is("verticalPadding")) {
        rawVerticalPadding_ = defaults_->floatForKey(key);
        adjustMargins();
    } else if (is("lineLength")) {
        calculateIdealWidth();
        adjustMargins();
    } else if (is("typewriterHeight")) {
        typewriterHeight_ = defaults_->floatForKey(key);
        configureAppearanceSettings();
        if (typewriterMode_) {
            adjustMargins();
            tryToCenterRange(selectedRange(), verticalPadding());
        }
    } else if (is("correctSpelling")) {
        system_.automaticSpellingCorrection = on();
    } else if (is("checkSpelling")) {
        system_.continuousSpellChecking = on();
    } else if (is("smartCopyPaste")) {
        system_.smartInsertDelete = on();
    } else if (is("smartQuotes")) {
        system_.automaticQuoteSubstitution = on();
    } else if (is("smartDashes")) {
        system_.automaticDashSubstitution = on();
    } else if (is("smartLinks")) {
        system_.automaticLinkDetection = on();
    } else if (is("smartTextReplacement")) {
        system_.automaticTextReplacement = on();
    }
}

// The flag may be set from any thread; the relayout runs on the view's own.
void KVXTextView::setIsLoading(bool loading) {
    if (isLoading_.exchange(loading) == loading)
        return;
    emit isLoadingChanged(loading);
    if (!loading)
        platform::Dispatch::performOnMain([view = QPointer<KVXTextView>(this)] {
            if (view)
                view->refreshLayout();
        });
}

void KVXTextView::setDefaultFont(const QFont &font) {
    defaultFont_ = font;
    calculateIdealWidth();
    if (layoutManager_) {
        layoutManager_->setFont();
        adjustMargins();
    }
}

// --- Margins -------------------------------------------------------------------------

double KVXTextView::horizontalPadding() const {
    return zoomgeometry::horizontalPadding(rawHorizontalPadding_, zoomFactor_);
}

double KVXTextView::verticalPadding() const {
    double visible = viewHeight();
    if (visible == 0)
        visible = height();
    return zoomgeometry::verticalPadding(rawVerticalPadding_, zoomFactor_, typewriterMode_,
                                         typewriterHeight_, visible);
}

void KVXTextView::setMarginsHoriz(double horizontal, double vertical) {
    const ZoomGeometry g = geometry();
    LazyDocumentLayout *layout = storage_->documentLayout();
    TopLineHold hold(this);
    layout->setHorizontalPadding(g.toScreen(horizontal), g.toScreen(horizontal));
    layout->setVerticalPadding(g.toScreen(vertical), g.toScreen(vertical));
    refreshLayout();
}

void KVXTextView::adjustMargins() {
    const double width = geometry().toText(viewport()->width());
    setMarginsHoriz(horizontalMargin(width, horizontalPadding(), idealWidth_), verticalPadding());
}

void KVXTextView::refreshLayout() {
    viewport()->update();
    if (ruler_ && showLineNumbers_)
        ruler_->update();
}

// --- Zoom --------------------------------------------------------------------------------

void KVXTextView::scaleBy(float factor) {
    if (!zoomStepApplies(factor))
        return;
    applyZoom(zoomFactor_ * double(factor));
}

// The one place a zoom reaches the text: fonts and metrics through the
// storage, the gutter, the marks and the margins.
void KVXTextView::applyZoom(double zoom) {
    if (zoom == zoomFactor_ || zoom <= 0)
        return;
    const double ratio = zoom / zoomFactor_;
    {
        TopLineHold hold(this);
        topOffset_ *= ratio;
        zoomFactor_ = zoom;
        storage_->setZoomFactor(zoom);
        if (ruler_)
            ruler_->setZoomFactor(zoom);
        if (layoutManager_)
            layoutManager_->setFont();
        adjustMargins();
    }
    emit zoomFactorChanged(zoom);
}

void KVXTextView::setZoomFactorTo(float zoom) {
    const double target = zoom <= 0 ? 1.0 : double(zoom);
    scaleBy(float(target / zoomFactor_));
}

// Automatic zoom goes off first: the relayout of a zoom may resize the
// view, which must not fit the zoom to the width again.
void KVXTextView::zoomIn() {
    autoZoom_ = false;
    scaleBy(1.1f);
}

void KVXTextView::zoomOut() {
    autoZoom_ = false;
    scaleBy(1.0f / 1.1f);
}

void KVXTextView::resetZoomFactor() {
    if (autoZoom_) {
        setZoomToOptimal();
        refreshLayout();
        return;
    }
    setZoomFactorTo(1.0f);
    // A remainder below the smallest step is dropped too.
    applyZoom(1.0);
    if (ruler_) {
        ruler_->setZoomFactor(1.0);
        ruler_->clientTextStorageDidProcessEditing();
    }
    setZoomFactorTo(float(defaults_->floatForKey(QStringLiteral("defaultZoom")) / 100.0));
    adjustMargins();
}

void KVXTextView::calculateIdealWidth() {
    QFont font = defaultFont_;
    if (font.family().isEmpty())
        font = platform::FontResolver::font(QStringLiteral("Palatino"), 14);
    const double sample =
        QFontMetricsF(font).horizontalAdvance(QString::fromLatin1(kWidthSample));
    idealWidth_ = zoomgeometry::idealWidth(sample, defaults_->floatForKey(QStringLiteral("lineLength")));
}

void KVXTextView::setZoomToOptimal() {
    const double lineLength = defaults_->floatForKey(QStringLiteral("lineLength"));
    if (lineLength == 0) {
        setZoomFactorTo(float(defaults_->floatForKey(QStringLiteral("defaultZoom")) / 100.0));
        return;
    }
    const ZoomGeometry g = geometry();
    const double ruler = ruler_ && showLineNumbers_ ? g.toText(ruler_->ruleThickness()) : 0;
    const double factor = optimalZoomFactor(g.toText(viewport()->width()), ruler,
                                            horizontalPadding(), idealWidth_);
    scaleBy(float(factor));
}

void KVXTextView::toggleAutoZoom() {
    autoZoom_ = !autoZoom_;
    defaults_->setBool(autoZoom_, QStringLiteral("defaultAutoZoom"));
    resetZoomFactor();
}

// --- Gutter and invisibles ------------------------------------------------------------------

void KVXTextView::addRulerView() {
    if (ruler_)
        return;
    ruler_ = new LineNumbersRulerView(this, this);
    ruler_->setZoomFactor(zoomFactor_);
    connect(ruler_, &LineNumbersRulerView::thicknessChanged, this, [this] {
        updateViewportMargins();
        if (autoZoom_)
            setZoomToOptimal();
    });
    // New windows open with the last choice of numbering.
    countParasNotLines_ = defaults_->boolForKey(QStringLiteral("countParasNotLines"));
    ruler_->updateLineInformation();
    setShowLineNumbers(defaults_->boolForKey(QStringLiteral("showLineNumbers")));
}

void KVXTextView::setShowLineNumbers(bool on) {
    const bool changed = on != showLineNumbers_;
    showLineNumbers_ = on;
    if (ruler_) {
        ruler_->setVisible(on);
        updateViewportMargins();
    }
    if (changed)
        emit showLineNumbersChanged(on);
}

void KVXTextView::updateViewportMargins() {
    const int left = ruler_ && showLineNumbers_ ? ruler_->ruleThickness() : 0;
    const int top = findBar_ && findBar_->isVisible() ? findBar_->sizeHint().height() : 0;
    setViewportMargins(left, top, 0, 0);
    const QRect area = contentsRect();
    if (ruler_)
        ruler_->setGeometry(area.left(), area.top() + top, left, viewport()->height());
    if (findBar_)
        findBar_->setGeometry(area.left(), area.top(), left + viewport()->width(), top);
}

void KVXTextView::toggleShowLineNumbers() {
    const bool wasParagraphs = countParasNotLines_;
    countParasNotLines_ = false;
    defaults_->setBool(false, QStringLiteral("countParasNotLines"));
    if (wasParagraphs && ruler_)
        ruler_->resetIndex();
    setShowLineNumbers(wasParagraphs ? true : !showLineNumbers_);
    defaults_->setBool(showLineNumbers_, QStringLiteral("showLineNumbers"));
}

void KVXTextView::toggleShowParagraphNumbers() {
    const bool wasParagraphs = countParasNotLines_;
    countParasNotLines_ = true;
    defaults_->setBool(true, QStringLiteral("countParasNotLines"));
    if (!wasParagraphs && ruler_)
        ruler_->resetIndex();
    setShowLineNumbers(!wasParagraphs ? true : !showLineNumbers_);
    defaults_->setBool(showLineNumbers_, QStringLiteral("showLineNumbers"));
}

void KVXTextView::toggleShowInvisibleCharacters() {
    showInvisibleCharacters_ = !showInvisibleCharacters_;
    defaults_->setBool(showInvisibleCharacters_, QStringLiteral("showInvisibleCharacters"));
    layoutManager_->toggleShowInvisibles();
}

bool KVXTextView::validateUserInterfaceItem(const QString &action, QAction *item) {
    if (!item)
        return true;
    std::optional<bool> state;
    if (action == QLatin1String("toggleAutoZoom:"))
        state = autoZoom_;
    else if (action == QLatin1String("toggleTypewriterMode:"))
        state = typewriterMode_;
    else if (action == QLatin1String("toggleShowLineNumbers:"))
        state = showLineNumbers_ && !countParasNotLines_;
    else if (action == QLatin1String("toggleShowParagraphNumbers:"))
        state = showLineNumbers_ && countParasNotLines_;
    if (state) {
        item->setCheckable(true);
        item->setChecked(*state);
    }
    return true;
}

FindBar *KVXTextView::findBar() {
    if (!findBar_) {
        findBar_ = new FindBar(this);
        findBar_->hide();
        connect(findBar_, &FindBar::visibilityChanged, this, [this] { updateViewportMargins(); });
    }
    return findBar_;
}

// --- Selection -------------------------------------------------------------------------------

CharRange KVXTextView::selectedRange() const {
    const QTextCursor cursor = textCursor();
    return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

void KVXTextView::setSelectedRange(CharRange range) {
    const qsizetype n = storage_->length();
    const qsizetype start = qBound<qsizetype>(0, range.location, n);
    const qsizetype end = qBound<qsizetype>(start, range.end(), n);
    QTextCursor cursor(document());
    cursor.setPosition(int(start));
    cursor.setPosition(int(end), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void KVXTextView::saveSelection() { savedSelection_.save(storage_->string(), selectedRange()); }

void KVXTextView::restoreSelection() {
    setSelectedRange(savedSelection_.restore(storage_->str(), storage_->len()));
}

// --- Pasteboard --------------------------------------------------------------------------------

QString KVXTextView::stringFromPasteboard() const {
    return platform::Pasteboard::string().value_or(QString());
}

void KVXTextView::stringToPasteboard(const QString &text) { platform::Pasteboard::setString(text); }

void KVXTextView::attributedStringToPasteboard(CharRange range) {
    platform::Pasteboard::setMimeData(richTextOfRange(range));
}

QString KVXTextView::textOfRange(CharRange range) const {
    const QString text = storage_->string();
    const qsizetype start = qBound<qsizetype>(0, range.location, text.size());
    return text.mid(start, qBound<qsizetype>(0, range.length, text.size() - start));
}

std::unique_ptr<QTextDocument> KVXTextView::richDocumentOfRange(CharRange range) const {
    const QString text = storage_->string();
    const qsizetype from = qBound<qsizetype>(0, range.location, text.size());
    const qsizetype to = qBound<qsizetype>(from, range.end(), text.size());
    auto rich = std::make_unique<QTextDocument>();
    rich->setDefaultFont(storage_->defaultFont());
    QTextCursor cursor(rich.get());
    const QTextDocument *shown = storage_->document();
    bool first = true;
    for (QTextBlock block = shown->findBlock(int(from)); block.isValid() && block.position() <= to;
         block = block.next()) {
        const QTextBlockFormat paragraph = blockFormatFor(storage_->paragraphAttributes(block), 1);
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
        const QList<AttributeRun> runs = storage_->runs(block);
        if (runs.isEmpty())
            insert(start, end, QTextCharFormat());
        for (const AttributeRun &run : runs)
            insert(start + run.start, start + run.start + run.length, charFormatFor(run.attrs, 1));
    }
    return rich;
}

QMimeData *KVXTextView::richTextOfRange(CharRange range) const {
    const QString text = storage_->string();
    const qsizetype from = qBound<qsizetype>(0, range.location, text.size());
    const qsizetype to = qBound<qsizetype>(from, range.end(), text.size());
    auto *data = new QMimeData;
    data->setHtml(richDocumentOfRange(range)->toHtml());
    data->setText(text.mid(from, to - from));
    return data;
}

// What the copy commands take: the selection, or the whole text when
// nothing is selected.
CharRange KVXTextView::rangeToCopy() const {
    const CharRange range = selectedRange();
    return range.length > 0 ? range : CharRange{0, storage_->length()};
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
    if (typewriterMode_ && defaults_->boolForKey(QStringLiteral("typewriterFollowsSelection"))) {
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
        viewHeight_.store(float(viewport()->height()), std::memory_order_relaxed);
        updateViewportMargins();
        if (autoZoom_)
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
    layoutManager_->drawGlyphsForGlyphRange(&painter, QRectF(event->rect()).translated(offset));
}
