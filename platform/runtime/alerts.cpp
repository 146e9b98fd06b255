#include "platform/runtime/alerts.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>

#include <algorithm>

#include <atomic>

#include "platform/runtime/dispatch.h"
#include "platform/runtime/log.h"

namespace platform {

namespace {

std::mutex s_handlerMutex;
Alerts::Handler s_handler;
std::atomic<bool> s_unattended{false};
// The alerts on screen, innermost last (main thread).
QList<QPointer<QMessageBox>> s_showing;

Alerts::Handler currentHandler() {
    std::lock_guard<std::mutex> lock(s_handlerMutex);
    return s_handler;
}

QStringList buttonsOf(const Alert &alert) {
    return alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
}

QString logLine(const Alert &alert) {
    QString line = QStringLiteral("Alert: %1 %2").arg(alert.messageText, alert.informativeText);
    if (!alert.note.isEmpty())
        line += u' ' + alert.note;
    return line;
}

// Whether a label could cut `text`: a label breaks lines only between
// words, and cuts off a run it cannot break (an address, say); a long text
// would not fit the screen.
bool needsWholeTextBox(const QString &text) {
    if (text.size() > 800)
        return true;
    qsizetype run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > 60)
            return true;
    }
    return false;
}

// Shows the informative text of `box` in full, in a box of its own that
// breaks lines between words, or anywhere in a run too long for a line, and
// scrolls, in place of its label.
void showWholeText(QMessageBox &box, const QString &text) {
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    const int index = label && grid ? grid->indexOf(label) : -1;
    if (index < 0)
        return;
    int row = 0, column = 0, rows = 0, columns = 0;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    auto *whole = new QPlainTextEdit(text, &box);
    whole->setObjectName(QStringLiteral("orvane_alert_whole_text"));
    whole->setReadOnly(true);
    whole->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QFontMetrics metrics(whole->font());
    const int width = metrics.averageCharWidth() * 64;
    const qsizetype lines = std::clamp<qsizetype>(metrics.horizontalAdvance(text) / width + 2, 2, 12);
    whole->setFixedSize(width + 2 * whole->frameWidth() + whole->verticalScrollBar()->sizeHint().width(),
                        int(lines) * metrics.lineSpacing() + 2 * whole->frameWidth() + 8);
    grid->removeWidget(label);
    label->hide();
    grid->addWidget(whole, row, column, rows, columns);
}

// On the main thread.
int show(const Alert &alert, QWidget *parent) {
    qCInfo(lcPlatform).noquote() << logLine(alert);
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) || s_unattended)
        return -1;  // no widgets to show it with, or nobody to answer; the log line above stays
    QMessageBox box(parent ? parent : QApplication::activeWindow());
    box.setIcon(alert.style == AlertStyle::Critical        ? QMessageBox::Critical
                : alert.style == AlertStyle::Informational ? QMessageBox::Information
                                                           : QMessageBox::Warning);
    box.setText(alert.messageText);
    const QString explanation =
        alert.note.isEmpty() ? alert.informativeText : alert.informativeText + QStringLiteral("\n\n") + alert.note;
    box.setInformativeText(explanation);
    const QStringList titles = buttonsOf(alert);
    QList<QAbstractButton *> buttons;
    for (const QString &title : titles) {
        const bool cancel = title == QLatin1String("Cancel");
        buttons.append(box.addButton(title, cancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
        if (cancel || titles.size() == 1)
            box.setEscapeButton(buttons.last());
    }
    box.setDefaultButton(static_cast<QPushButton *>(
        buttons.value(alert.defaultButton >= 0 && alert.defaultButton < buttons.size() ? alert.defaultButton : 0)));
    if (needsWholeTextBox(explanation))
        showWholeText(box, explanation);
    s_showing.append(&box);
    box.exec();
    s_showing.removeAll(&box);
    return int(buttons.indexOf(box.clickedButton()));
}

// On the main thread.
void showNotice(const Alert &alert, QWidget *parent) {
    qCInfo(lcPlatform).noquote() << QStringLiteral("Notice: %1 %2").arg(alert.messageText, alert.informativeText);
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) || s_unattended)
        return;
    auto *box = new QMessageBox(parent ? parent->window() : nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Shown, but never made the active window: the keys stay where they go.
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    box->setWindowModality(Qt::NonModal);
    box->setIcon(alert.style == AlertStyle::Critical        ? QMessageBox::Critical
                 : alert.style == AlertStyle::Informational ? QMessageBox::Information
                                                            : QMessageBox::Warning);
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    for (const QString &title : buttonsOf(alert))
        box->addButton(title, QMessageBox::AcceptRole);
    box->show();
}

}  // namespace

void Alerts::notice(const Alert &given, QWidget *parent) {
    Alert alert = given;
    alert.notice = true;
    if (Handler handler = currentHandler()) {
        handler(alert);
        return;
    }
    Dispatch::main([alert, window = QPointer<QWidget>(parent)] { showNotice(alert, window); });
}

void Alerts::simpleAlert(const QString &message, const QString &title) {
    Alert alert{title, message, {QStringLiteral("OK")}, AlertStyle::Warning};
    if (Handler handler = currentHandler()) {
        handler(alert);
        return;
    }
    Dispatch::main([alert] { show(alert, nullptr); });
}

int Alerts::runModal(const Alert &alert, QWidget *parent) {
    if (s_unattended) {
        qCInfo(lcPlatform).noquote() << logLine(alert);
        return -1;
    }
    if (Handler handler = currentHandler())
        return handler(alert);
    int choice = -1;
    Dispatch::mainSync([&] { choice = show(alert, parent); });
    return choice;
}

void Alerts::setUnattended(bool unattended) {
    s_unattended = unattended;
    if (!unattended)
        return;
    // Closed from the inside out: each box's own loop ends, and the code
    // that raised it goes on with no answer.
    auto closeShowing = [] {
        const QList<QPointer<QMessageBox>> showing = s_showing;
        for (auto it = showing.rbegin(); it != showing.rend(); ++it)
            if (*it)
                (*it)->done(-1);
    };
    QCoreApplication *application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread())
        closeShowing();
    else
        Dispatch::main(closeShowing);
}

bool Alerts::isUnattended() { return s_unattended; }

Alerts::Handler Alerts::setHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(s_handlerMutex);
    return std::exchange(s_handler, std::move(handler));
}

ScriptedAlerts::ScriptedAlerts(QList<int> answers) : m_answers(std::move(answers)) {
    m_previous = Alerts::setHandler([this](const Alert &alert) { return answer(alert); });
}

ScriptedAlerts::~ScriptedAlerts() { Alerts::setHandler(std::move(m_previous)); }

void ScriptedAlerts::addAnswers(const QList<int> &answers) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers += answers;
}

QList<Alert> ScriptedAlerts::shown() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_shown;
}

qsizetype ScriptedAlerts::count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_shown.size();
}

int ScriptedAlerts::answer(const Alert &alert) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shown.append(alert);
    if (alert.buttons.size() < 2 || m_answers.isEmpty())
        return 0;
    return m_answers.takeFirst();
}

}  // namespace platform
