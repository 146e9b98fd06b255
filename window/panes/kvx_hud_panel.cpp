#include "window/panes/kvx_hud_panel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "editor/view/kvx_text_view.h"
#include "platform/prefs/defaults.h"
#include "window/sidebars/kvx_appearance_controller.h"
#include "window/sidebars/kvx_filter_sidebar.h"
#include "window/sidebars/smart_text_info_view.h"

namespace {

platform::Defaults &defaults() { return platform::Defaults::standard(); }

// The display panel's own dark look.
QPalette hudPalette(QPalette palette) {
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, QColor(38, 38, 38));
        palette.setColor(group, QPalette::WindowText, Qt::white);
        palette.setColor(group, QPalette::Base, QColor(58, 58, 58));
        palette.setColor(group, QPalette::Text, Qt::white);
        palette.setColor(group, QPalette::Button, QColor(64, 64, 64));
        palette.setColor(group, QPalette::ButtonText, Qt::white);
        palette.setColor(group, QPalette::PlaceholderText, QColor(160, 160, 160));
    }
    return palette;
}

}  // namespace

KVXHUDPanel::KVXHUDPanel(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    setPalette(hudPalette(palette()));
    resize(kContentSize);
    setMinimumSize(kMinimumSize);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    KVXAppearanceController::configureHUDAppearance(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &KVXHUDPanel::applicationStateChanged);
}

KVXHUDPanel::~KVXHUDPanel() = default;

void KVXHUDPanel::setHudTitle(const QString &title) {
    m_hudTitle = title;
    setWindowTitle(title);
}

void KVXHUDPanel::setContentView(QWidget *content) {
    if (content == m_content)
        return;
    delete m_content;
    m_content = content;
    if (content)
        layout()->addWidget(content);
}

// --- Linking -------------------------------------------------------------------------------------------

KVXTextView *KVXHUDPanel::linkedTextView() const { return m_linkedTextView; }


void KVXHUDPanel::connectToTextView(KVXTextView *view) {
    if (view == m_linkedTextView)
        return;
    if (m_linkedTextView)
        disconnectFromTextView();
    m_linkedTextView = view;
    if (auto *sidebar = qobject_cast<KVXFilterSidebar *>(m_content))
        sidebar->connectToTextView(view);
    else if (auto *info = qobject_cast<SmartTextInfoView *>(m_content))
        info->connectToTextView(view);
}

void KVXHUDPanel::disconnectFromTextView() {
    if (auto *sidebar = qobject_cast<KVXFilterSidebar *>(m_content); sidebar && m_linkedTextView)
        sidebar->disconnectFromTextView();
    else if (auto *info = qobject_cast<SmartTextInfoView *>(m_content))
        info->disconnectFromTextView(m_linkedTextView);
    m_linkedTextView = nullptr;
}

// --- Preferences ---------------------------------------------------------------------------------------

QString KVXHUDPanel::visibilityKey() const { return QStringLiteral("show%1HUD").arg(m_hudTitle); }
QString KVXHUDPanel::tempVisibilityKey() const { return QStringLiteral("tempShow%1HUD").arg(m_hudTitle); }
QString KVXHUDPanel::activateSearchKey() const { return QStringLiteral("activate%1HUDSearch").arg(m_hudTitle); }
QString KVXHUDPanel::frameSaveKey() const { return QStringLiteral("NSWindow Frame %1 1").arg(m_hudTitle); }

void KVXHUDPanel::storeHUDPosition() {
    const QRect frame = geometry();
    defaults().setObject(QStringLiteral("%1 %2 %3 %4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height()),
                         frameSaveKey());
}

void KVXHUDPanel::restoreHUDPosition() {
    const QStringList parts = defaults().stringForKey(frameSaveKey()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return;
    int numbers[4];
    for (int i = 0; i < 4; i++) {
        bool ok = false;
        numbers[i] = parts[i].toInt(&ok);
        if (!ok)
            return;
    }
    if (numbers[2] <= 0 || numbers[3] <= 0)
        return;
    setGeometry(numbers[0], numbers[1], std::max(numbers[2], kMinimumSize.width()),
                std::max(numbers[3], kMinimumSize.height()));
}

// --- Showing and hiding ----------------------------------------------------------------------------

void KVXHUDPanel::toggleVisibility() {
    if (isVisible()) {
        m_currentFirstResponder = focusWidget();
        if (m_content)
            m_content->hide();
        hide();
        defaults().setBool(false, visibilityKey());
        return;
    }
    m_hiddenWhileInactive = false;
    if (m_content)
        m_content->show();
    show();
    if (defaults().boolForKey(activateSearchKey())) {
        raise();
        activateWindow();
        focusNextChild();
        if (m_currentFirstResponder)
            m_currentFirstResponder->setFocus(Qt::OtherFocusReason);
    } else {
        lower();
    }
    defaults().setBool(true, visibilityKey());
}

void KVXHUDPanel::setHidesOnDeactivate(bool hides) {
    m_hidesOnDeactivate = hides;
    if (!hides && m_hiddenWhileInactive) {
        m_hiddenWhileInactive = false;
        show();
    }
}

void KVXHUDPanel::applicationStateChanged(Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive) {
        if (std::exchange(m_hiddenWhileInactive, false))
            show();
        return;
    }
    if (m_hidesOnDeactivate && isVisible()) {
        m_hiddenWhileInactive = true;
        hide();
    }
}

void KVXHUDPanel::closeEvent(QCloseEvent *event) {
    if (m_content)
        m_content->hide();
    QWidget::closeEvent(event);
}

void KVXHUDPanel::keyPressEvent(QKeyEvent *event) {
    // The panel works on the linked editor's text: its undo is the editor's.
    if (KVXTextView *editor = m_linkedTextView) {
        if (event->matches(QKeySequence::Undo))
            editor->storage()->undo();
        else if (event->matches(QKeySequence::Redo))
            editor->storage()->redo();
    }
    event->accept();
}
