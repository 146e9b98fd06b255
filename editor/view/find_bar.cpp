#include "editor/view/find_bar.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <QToolButton>

#include <algorithm>

#include <memory>

#include "editor/view/kvx_text_view.h"
#include "editor/storage/text_units.h"
#include "textengine/buffer/multi_edit.h"
#include "textengine/buffer/smart_string.h"
#include "library/stack.h"

FindBar::FindBar(KVXTextView *view) : QWidget(view), m_view(view) {
    setAutoFillBackground(true);
    followWindowPalette();
    setFocusPolicy(Qt::StrongFocus);
    m_findField = new QLineEdit(this);
    m_findField->setPlaceholderText(tr("Find"));
    m_findField->setClearButtonEnabled(true);
    m_findField->setMinimumWidth(120);
    m_replaceField = new QLineEdit(this);
    m_replaceField->setPlaceholderText(tr("Replace with"));
    m_replaceField->setMinimumWidth(100);
    m_ignoreCase = new QCheckBox(tr("Ignore case"), this);
    m_ignoreCase->setChecked(true);
    m_ignoreCase->setFocusPolicy(Qt::NoFocus);
    m_status = new QLabel(this);
    auto button = [this](const QString &title, const QString &tip, auto slot) {
        auto *b = new QToolButton(this);
        b->setText(title);
        b->setToolTip(tip);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, slot);
        return b;
    };
    m_previous = button(QStringLiteral("\u25C0"), tr("Previous"), [this] { findPrevious(); });
    m_next = button(QStringLiteral("\u25B6"), tr("Next"), [this] { findNext(); });
    m_replaceButton = button(tr("Replace"), tr("Replace this match and find the next"), [this] { replace(); });
    m_allButton = button(tr("All"), tr("Replace every match"), [this] { replaceAll(); });
    m_doneButton = button(tr("Done"), tr("Close the find bar"), [this] { hideBar(); });
    // The status never takes less than its longest usual text, so that a
    // count appears whole however narrow the editor.
    m_status->setMinimumWidth(m_status->fontMetrics().horizontalAdvance(tr("%1 matches").arg(99999)));
    m_ignoreCase->setMinimumWidth(m_ignoreCase->sizeHint().width());

    // Two rows, finding and replacing, side by side where the editor is wide
    // enough for both and one above the other where it is not.
    m_findRow = new QHBoxLayout;
    m_findRow->setSpacing(kSpacing);
    m_findRow->addWidget(m_findField, 3);
    m_findRow->addWidget(m_previous);
    m_findRow->addWidget(m_next);
    m_findRow->addWidget(m_status);
    m_replaceRow = new QHBoxLayout;
    m_replaceRow->setSpacing(kSpacing);
    m_replaceRow->addWidget(m_replaceField, 2);
    m_replaceRow->addWidget(m_replaceButton);
    m_replaceRow->addWidget(m_allButton);
    m_replaceRow->addWidget(m_ignoreCase);
    m_rows = new QBoxLayout(QBoxLayout::LeftToRight, this);
    m_rows->setContentsMargins(6, 3, 6, 3);
    m_rows->setSpacing(kRowGap);
    m_rows->addLayout(m_findRow, 1);
    m_rows->addLayout(m_replaceRow, 1);
    arrange(true);

    // Finding as the search is typed: from where the current match begins,
    // so that a longer search keeps the match it extends.
    connect(m_findField, &QLineEdit::textEdited, this, [this] { findFromSelectionStart(); });
    // Return is taken before the fields see it: a line edit reports it and
    // then passes the key on to its parents, and the bar's parent is the
    // editor, which would type a line break over the match.
    m_findField->installEventFilter(this);
    m_replaceField->installEventFilter(this);
    connect(m_ignoreCase, &QCheckBox::toggled, this, [this] { updateStatus(); });
}

// --- Arrangement -------------------------------------------------------------------------

int FindBar::rowWidth(const QHBoxLayout *row) const {
    int width = 0;
    int widgets = 0;
    for (int i = 0; i < row->count(); i++)
        if (QWidget *widget = row->itemAt(i)->widget(); widget && widget != m_doneButton) {
            width += std::max(widget->minimumWidth(), widget->minimumSizeHint().width());
            widgets++;
        }
    return width + std::max(0, widgets - 1) * kSpacing;
}

int FindBar::singleRowWidth() const {
    const QMargins margins = m_rows->contentsMargins();
    return margins.left() + rowWidth(m_findRow) + kRowGap + rowWidth(m_replaceRow) + kSpacing +
           m_doneButton->sizeHint().width() + margins.right();
}

bool FindBar::fitsOneRow(int width) const { return width >= singleRowWidth(); }

// Done ends the one row, or the row of finding where there are two.
void FindBar::arrange(bool oneRow) {
    QHBoxLayout *home = oneRow ? m_replaceRow : m_findRow;
    if (m_oneRow == oneRow && home->indexOf(m_doneButton) >= 0)
        return;
    m_oneRow = oneRow;
    m_findRow->removeWidget(m_doneButton);
    m_replaceRow->removeWidget(m_doneButton);
    home->addWidget(m_doneButton);
    m_rows->setDirection(oneRow ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    updateGeometry();
}

bool FindBar::hasHeightForWidth() const { return true; }

int FindBar::heightForWidth(int width) const {
    const QMargins margins = m_rows->contentsMargins();
    const int find = m_findRow->sizeHint().height();
    const int replace = m_replaceRow->sizeHint().height();
    const int rows = fitsOneRow(width) ? std::max(find, replace) : find + kRowGap + replace;
    return margins.top() + rows + margins.bottom();
}

void FindBar::resizeEvent(QResizeEvent *event) {
    const bool oneRow = fitsOneRow(event->size().width());
    const bool changed = oneRow != m_oneRow;
    arrange(oneRow);
    QWidget::resizeEvent(event);
    // The editor makes room for the bar's new height.
    if (changed)
        emit heightChanged();
}

bool FindBar::respondsToAction(const QString &) const { return false; }

void FindBar::performAction(const QString &, QObject *) {}

// A shortcut pressed in a field must not edit the text below, as a key typed
// there does not: the actions go past the editor (which is the bar's
// parent) to what holds it.
QWidget *FindBar::nextResponder() const { return m_view->parentWidget(); }

QString FindBar::findString() const { return m_findField->text(); }
void FindBar::setFindString(const QString &text) {
    m_findField->setText(text);
    updateStatus();
}
QString FindBar::replaceString() const { return m_replaceField->text(); }
void FindBar::setReplaceString(const QString &text) { m_replaceField->setText(text); }
bool FindBar::ignoresCase() const { return m_ignoreCase->isChecked(); }
void FindBar::setIgnoresCase(bool ignore) { m_ignoreCase->setChecked(ignore); }

Qt::CaseSensitivity FindBar::caseSensitivity() const {
    return ignoresCase() ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

void FindBar::showBar() {
    show();
    m_findField->setFocus();
    m_findField->selectAll();
    updateStatus();
}

void FindBar::hideBar() {
    hide();
    m_view->setFocus();
}

void FindBar::showEvent(QShowEvent *event) {
    // The bar may have moved to another window (a tab moved out) since.
    followWindowPalette();
    QWidget::showEvent(event);
    emit visibilityChanged(true);
}

void FindBar::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
        followWindowPalette();
}

void FindBar::followWindowPalette() {
    if (m_followingPalette)
        return;
    QWidget *top = window();
    QPalette colours = top && top != this ? top->palette() : QApplication::palette(this);
    // Every colour set here, so that none comes down from the editor's theme.
    colours.setResolveMask(~QPalette::ResolveMask(0));
    if (colours == palette() && palette().resolveMask() == colours.resolveMask())
        return;
    m_followingPalette = true;
    setPalette(colours);
    m_followingPalette = false;
}

void FindBar::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    emit visibilityChanged(false);
}

bool FindBar::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::KeyPress || (watched != m_findField && watched != m_replaceField))
        return QWidget::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return QWidget::eventFilter(watched, event);
    if (watched == m_replaceField)
        replace();
    else if (key->modifiers() & Qt::ShiftModifier)
        findPrevious();
    else
        findNext();
    key->accept();
    return true;
}

// What the fields leave ends here rather than going on to the editor.
void FindBar::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape)
        hideBar();
    event->accept();
}

void FindBar::keyReleaseEvent(QKeyEvent *event) { event->accept(); }

QList<CharRange> FindBar::matches() const {
    QList<CharRange> found;
    const QString needle = findString();
    if (needle.isEmpty())
        return found;
    const QString text = m_view->storage()->string();
    for (qsizetype at = text.indexOf(needle, 0, caseSensitivity()); at >= 0;
         at = text.indexOf(needle, at + needle.size(), caseSensitivity()))
        found.append({at, needle.size()});
    return found;
}

QString FindBar::status() const { return m_status->text(); }

void FindBar::updateStatus() {
    if (findString().isEmpty()) {
        m_status->clear();
        return;
    }
    const qsizetype count = matches().size();
    m_status->setText(count == 0   ? tr("Not found")
                     : count == 1 ? tr("1 match")
                                  : tr("%1 matches").arg(count));
}

bool FindBar::isMatch(CharRange range) const {
    const QString needle = findString();
    return !needle.isEmpty() && range.length == needle.size() &&
           m_view->textOfRange(range).compare(needle, caseSensitivity()) == 0;
}

void FindBar::select(CharRange range) {
    m_view->setSelectedRange(range);
    m_view->locateOnCaret();
}

bool FindBar::findNext() {
    const QString needle = findString();
    if (needle.isEmpty())
        return false;
    const QString text = m_view->storage()->string();
    const CharRange selection = m_view->selectedRange();
    qsizetype at = text.indexOf(needle, selection.end(), caseSensitivity());
    if (at < 0)
        at = text.indexOf(needle, 0, caseSensitivity());
    updateStatus();
    if (at < 0)
        return false;
    select({at, needle.size()});
    return true;
}

bool FindBar::findPrevious() {
    const QString needle = findString();
    if (needle.isEmpty())
        return false;
    const QString text = m_view->storage()->string();
    const CharRange selection = m_view->selectedRange();
    qsizetype at = -1;
    if (selection.location > 0)
        at = text.lastIndexOf(needle, selection.location - 1, caseSensitivity());
    if (at < 0)
        at = text.lastIndexOf(needle, -1, caseSensitivity());
    updateStatus();
    if (at < 0)
        return false;
    select({at, needle.size()});
    return true;
}

void FindBar::findFromSelectionStart() {
    const CharRange selection = m_view->selectedRange();
    m_view->setSelectedRange({selection.location, 0});
    if (!findNext())
        m_view->setSelectedRange(selection);
}

// The ranges (in order, not overlapping) replaced as one edit of the text
// buffer: one undo group, one change of the displayed text. The caret ends
// after the last replacement.
void FindBar::replaceRanges(const QList<CharRange> &ranges, const QString &replacement) {
    if (ranges.isEmpty())
        return;
    SmartTextStorage *storage = m_view->storage();
    const QByteArray bytes = textunits::bufferBytes(replacement);
    stack *edits = stack_new(int(qMax<qsizetype>(ranges.size(), 1)));
    if (!edits)
        return;
    for (const CharRange &range : ranges) {
        auto [start, length] = storage->byteRangeFromCharRange(range);
        if (heading_record *edit = smart_string_heading_record_new(start, length, bytes.constData()))
            stack_push(edits, edit);
    }
    stack_sort(edits, smart_string_heading_record_compare);
    std::unique_ptr<smart_string_change, void (*)(smart_string_change *)> change(
        smart_string_change_new(), smart_string_change_free);
    if (change) {
        change->tags = SmartTextStorage::kUserEditTag;
        smart_string_apply_edits(storage->buffer(), edits, change.get(), 0);
    }
    smart_string_diff_edits_free(edits);
    if (!change)
        return;
    const size_t end = change->new_end;
    storage->updateBackingStoreForChangeAtByteOffset(
        change->start, change->removed_length, change->new_end - change->new_start);
    select({storage->charRangeFromByteStart(end, 0).location, 0});
}

bool FindBar::replace() {
    const CharRange selection = m_view->selectedRange();
    if (!isMatch(selection))
        return false;
    replaceRanges({selection}, replaceString());
    findNext();
    return true;
}

int FindBar::replaceAll() {
    const QList<CharRange> found = matches();
    replaceRanges(found, replaceString());
    updateStatus();
    return int(found.size());
}
