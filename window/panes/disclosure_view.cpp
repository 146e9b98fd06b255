#include "window/panes/disclosure_view.h"

#include "window/window_log.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QToolButton>

DisclosureView::DisclosureView(QWidget *parent) : MatryoshkaView(parent) {}

DisclosureView::DisclosureView(const QString &title, QWidget *primaryView, Look look,
                               QWidget *parent)
    : MatryoshkaView(parent) {
    // The strip is the toggle pane on top, of fixed height; the content is the
    // permanent view under it and takes the rest.
    titleView_ = new MatryoshkaView(this);
    initPanes(Panes::BottomWithToggleByHeight, primaryView, titleView_, TitleHeight, false, 0.0);
    if (look == Look::FloatingPanel)
        addTitleforHUD(title);
    else
        addTitle(title);
    contentView_ = primaryView;
}

void DisclosureView::addTitle(const QString &title) {
    titleLabel_ = new QLabel(title);
    titleLabel_->setFrameShape(QFrame::Box);
    titleLabel_->setAlignment(Qt::AlignCenter);
    auto *row = new QHBoxLayout(titleView_);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(titleLabel_);
}

void DisclosureView::addTitleforHUD(const QString &title) {
    auto *button = new QToolButton;
    button->setCheckable(true);
    button->setChecked(true);
    button->setAutoRaise(true);
    button->setArrowType(Qt::DownArrow);
    button->setFixedSize(qRound(TitleHeight), qRound(TitleHeight));
    connect(button, &QAbstractButton::toggled, button,
            [button](bool on) { button->setArrowType(on ? Qt::DownArrow : Qt::RightArrow); });
    connect(button, &QAbstractButton::clicked, this, [this, button] { toggleDisclosure(button); });
    disclosureButton_ = button;

    titleLabel_ = new QLabel(title);
    titleLabel_->setFrameShape(QFrame::Box);
    titleLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = titleLabel_->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    titleLabel_->setPalette(palette);

    auto *row = new QHBoxLayout(titleView_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    row->addWidget(button);
    row->addWidget(titleLabel_, 1);
}

void DisclosureView::toggleDisclosure(QAbstractButton *sender) {
    qCInfo(lcWindow).noquote() << QStringLiteral("toggle %1").arg(debugText(sender));
    showContent(sender && sender->isChecked());
}

void DisclosureView::toggleDisclosureView() {
    if (contentView_)
        showContent(contentView_->isHidden());
}

// Hidden content takes no room in the view's preferred size, so a layout
// around the view can close it down to its strip; shown again, it asks for
// its own height back.
void DisclosureView::showContent(bool shown) {
    if (!contentView_)
        return;
    contentView_->setHidden(!shown);
    if (disclosureButton_) {
        const QSignalBlocker quiet(disclosureButton_);
        disclosureButton_->setChecked(shown);
        disclosureButton_->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    }
    updateGeometry();
}
