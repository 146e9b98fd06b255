#include "editor/view/find_bar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include <memory>

#include "editor/view/kvx_text_view.h"
#include "editor/storage/text_units.h"
#include "multi_edit.h"
#include "smart_string.h"
#include "stack.h"

FindBar::FindBar(KVXTextView *view) : QWidget(view), view_(view) {
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    findField_ = new QLineEdit(this);
    findField_->setPlaceholderText(tr("Find"));
    findField_->setClearButtonEnabled(true);
    findField_->setMinimumWidth(120);
    replaceField_ = new QLineEdit(this);
    replaceField_->setPlaceholderText(tr("Replace with"));
    replaceField_->setMinimumWidth(100);
    ignoreCase_ = new QCheckBox(tr("Ignore case"), this);
    ignoreCase_->setChecked(true);
    ignoreCase_->setFocusPolicy(Qt::NoFocus);
    status_ = new QLabel(this);
    auto button = [this](const QString &title, const QString &tip, auto slot) {
        auto *b = new QToolButton(this);
        b->setText(title);
        b->setToolTip(tip);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, slot);
        return b;
    };
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(4);
    row->addWidget(findField_, 3);
    row->addWidget(button(QStringLiteral("\u25C0"), tr("Previous"), [this] { findPrevious(); }));
    row->addWidget(button(QStringLiteral("\u25B6"), tr("Next"), [this] { findNext(); }));
    row->addWidget(status_);
    row->addSpacing(8);
    row->addWidget(replaceField_, 2);
    row->addWidget(button(tr("Replace"), tr("Replace this match and find the next"), [this] { replace(); }));
    row->addWidget(button(tr("All"), tr("Replace every match"), [this] { replaceAll(); }));
    row->addWidget(ignoreCase_);
    row->addWidget(button(tr("Done"), tr("Close the find bar"), [this] { hideBar(); }));

    // Finding as the search is typed: from where the current match begins,
    // so that a longer search keeps the match it extends.
    connect(findField_, &QLineEdit::textEdited, this, [this] { findFromSelectionStart(); });
    // Return is taken before the fields see it: a line edit reports it and
    // then passes the key on to its parents, and the bar's parent is the
    // editor, which would type a line break over the match.
    findField_->installEventFilter(this);
    replaceField_->installEventFilter(this);
    connect(ignoreCase_, &QCheckBox::toggled, this, [this] { updateStatus(); });
}

bool FindBar::respondsToAction(const QString &) const { return false; }

void FindBar::performAction(const QString &, QObject *) {}

// A shortcut pressed in a field must not edit the text below, as a key typed
// there does not: the actions go past the editor (which is the bar's
// parent) to what holds it.
QWidget *FindBar::nextResponder() const { return view_->parentWidget(); }

QString FindBar::findString() const { return findField_->text(); }
void FindBar::setFindString(const QString &text) {
    findField_->setText(text);
    updateStatus();
}
QString FindBar::replaceString() const { return replaceField_->text(); }
void FindBar::setReplaceString(const QString &text) { replaceField_->setText(text); }
bool FindBar::ignoresCase() const { return ignoreCase_->isChecked(); }
void FindBar::setIgnoresCase(bool ignore) { ignoreCase_->setChecked(ignore); }

Qt::CaseSensitivity FindBar::caseSensitivity() const {
    return ignoresCase() ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

void FindBar::showBar() {
    show();
    findField_->setFocus();
    findField_->selectAll();
    updateStatus();
}

void FindBar::hideBar() {
    hide();
    view_->setFocus();
}

void FindBar::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    emit visibilityChanged(true);
}

void FindBar::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    emit visibilityChanged(false);
}

bool FindBar::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::KeyPress || (watched != findField_ && watched != replaceField_))
        return QWidget::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return QWidget::eventFilter(watched, event);
    if (watched == replaceField_)
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
    const QString text = view_->storage()->string();
    for (qsizetype at = text.indexOf(needle, 0, caseSensitivity()); at >= 0;
         at = text.indexOf(needle, at + needle.size(), caseSensitivity()))
        found.append({at, needle.size()});
    return found;
}

QString FindBar::status() const { return status_->text(); }

void FindBar::updateStatus() {
    if (findString().isEmpty()) {
        status_->clear();
        return;
    }
    const qsizetype count = matches().size();
    status_->setText(count == 0   ? tr("Not found")
                     : count == 1 ? tr("1 match")
                                  : tr("%1 matches").arg(count));
}

bool FindBar::isMatch(CharRange range) const {
    const QString needle = findString();
    return !needle.isEmpty() && range.length == needle.size() &&
           view_->textOfRange(range).compare(needle, caseSensitivity()) == 0;
}

void FindBar::select(CharRange range) {
    view_->setSelectedRange(range);
    view_->locateOnCaret();
}

bool FindBar::findNext() {
    const QString needle = findString();
    if (needle.isEmpty())
        return false;
    const QString text = view_->storage()->string();
    const CharRange selection = view_->selectedRange();
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
    const QString text = view_->storage()->string();
    const CharRange selection = view_->selectedRange();
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
    const CharRange selection = view_->selectedRange();
    view_->setSelectedRange({selection.location, 0});
    if (!findNext())
        view_->setSelectedRange(selection);
}

// The ranges (in order, not overlapping) replaced as one edit of the text
// buffer: one undo group, one change of the displayed text. The caret ends
// after the last replacement.
void FindBar::replaceRanges(const QList<CharRange> &ranges, const QString &replacement) {
    if (ranges.isEmpty())
        return;
    SmartTextStorage *storage = view_->storage();
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
    const CharRange selection = view_->selectedRange();
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
