#include "editor/input/completion_popup.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>

namespace {

// Rows shown before the list scrolls.
constexpr int kVisibleRows = 8;

}  // namespace

CompletionPopup::CompletionPopup(QWidget *editor) : QListWidget(editor) {
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        hide();
        emit chosenWord(item->text(), textmovement::kReturn);
    });
}

void CompletionPopup::showCompletions(const QStringList &words, int selected, const QRect &caret) {
    clear();
    addItems(words);
    setCurrentRow(selected >= 0 && selected < words.size() ? selected : -1);
    const int rowHeight = qMax(sizeHintForRow(0), fontMetrics().height());
    const int rows = qMin<int>(kVisibleRows, int(words.size()));
    const int scrollBar = int(words.size()) > kVisibleRows ? verticalScrollBar()->sizeHint().width() : 0;
    const int width = sizeHintForColumn(0) + 2 * frameWidth() + scrollBar + 16;
    const QSize size(qMax(width, 120), rows * rowHeight + 2 * frameWidth());
    QPoint at = caret.bottomLeft() + QPoint(0, 2);
    // Above the caret when there is no room below it.
    if (const QScreen *screen = QGuiApplication::screenAt(caret.center())) {
        const QRect area = screen->availableGeometry();
        if (at.y() + size.height() > area.bottom())
            at.setY(caret.top() - size.height() - 2);
        at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() - size.width())));
    }
    setGeometry(QRect(at, size));
    show();
    raise();
}

QString CompletionPopup::currentWord() const {
    const QListWidgetItem *item = currentItem();
    return item ? item->text() : QString();
}

bool CompletionPopup::handleKey(const QKeyEvent *event) {
    if (!isVisible())
        return false;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        if (count() == 0)
            return true;
        const bool up = event->key() == Qt::Key_Up;
        const int row = currentRow() < 0 ? (up ? count() - 1 : 0)
                                         : qBound(0, currentRow() + (up ? -1 : 1), count() - 1);
        if (row != currentRow()) {
            setCurrentRow(row);
            emit highlightedWord(currentWord(), up ? textmovement::kUp : textmovement::kDown);
        }
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab: {
        const QString word = currentWord();
        hide();
        if (word.isEmpty())
            emit cancelled();
        else
            emit chosenWord(word, event->key() == Qt::Key_Tab ? textmovement::kTab
                                                               : textmovement::kReturn);
        return true;
    }
    case Qt::Key_Escape:
        hide();
        emit cancelled();
        return true;
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
        // A modifier alone is no choice yet.
        return false;
    default:
        hide();
        return false;
    }
}
