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
#include "textengine/buffer/multi_edit.h"
#include "textengine/buffer/smart_string.h"
#include "library/stack.h"

FindBar::FindBar(KVXTextView *view) : QWidget(view), m_view(view) {
    setAutoFillBackground(true);
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
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(4);
    row->addWidget(m_findField, 3);
    row->addWidget(button(QStringLiteral("\u25C0"), tr("Previous"), [this] { findPrevious(); }));
    row->addWidget(button(QStringLiteral("\u25B6"), tr("Next"), [this] { findNext(); }));
    row->addWidget(m_status);
    row->addSpacing(8);
    row->addWidget(m_replaceField, 2);
    row->addWidget(button(tr("Replace"), tr("Replace this match and find the next"), [this] { replace(); }));
    row->addWidget(button(tr("All"), tr("Replace every match"), [this] { replaceAll(); }));
    row->addWidget(m_ignoreCase);
    row->addWidget(button(tr("Done"), tr("Close the find bar"), [this] { hideBar(); }));

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
    QWidget::showEvent(event);
    emit visibilityChanged(true);
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
