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
    m_titleView = new MatryoshkaView(this);
    initPanes(Panes::BottomWithToggleByHeight, primaryView, m_titleView, TitleHeight, false, 0.0);
    if (look == Look::FloatingPanel)
        addTitleforHUD(title);
    else
        addTitle(title);
    m_contentView = primaryView;
}

void DisclosureView::addTitle(const QString &title) {
    m_titleLabel = new QLabel(title);
    m_titleLabel->setFrameShape(QFrame::Box);
    m_titleLabel->setAlignment(Qt::AlignCenter);
    auto *row = new QHBoxLayout(m_titleView);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_titleLabel);
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
    m_disclosureButton = button;

    m_titleLabel = new QLabel(title);
    m_titleLabel->setFrameShape(QFrame::Box);
    m_titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = m_titleLabel->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    m_titleLabel->setPalette(palette);

    auto *row = new QHBoxLayout(m_titleView);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    row->addWidget(button);
    row->addWidget(m_titleLabel, 1);
}

void DisclosureView::toggleDisclosure(QAbstractButton *sender) {
    qCInfo(lcWindow).noquote() << QStringLiteral("toggle %1").arg(debugText(sender));
    showContent(sender && sender->isChecked());
}

void DisclosureView::toggleDisclosureView() {
    if (m_contentView)
        showContent(m_contentView->isHidden());
}

// Hidden content takes no room in the view's preferred size, so a layout
// around the view can close it down to its strip; shown again, it asks for
// its own height back.
void DisclosureView::showContent(bool shown) {
    if (!m_contentView)
        return;
    m_contentView->setHidden(!shown);
    if (m_disclosureButton) {
        const QSignalBlocker quiet(m_disclosureButton);
        m_disclosureButton->setChecked(shown);
        m_disclosureButton->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    }
    updateGeometry();
}
