#include "window/sidebars/smart_text_info_view.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>

#include "editor/view/kvx_text_view.h"
#include "platform/runtime/dispatch.h"
#include "textengine/buffer/statistics.h"

namespace {

const QStringList kLongNames = {QStringLiteral("Words"), QStringLiteral("Characters"), QStringLiteral("Lines"),
                                QStringLiteral("Paragraphs")};
const QStringList kShortNames = {QStringLiteral("W"), QStringLiteral("C"), QStringLiteral("L"),
                                 QStringLiteral("P")};

// The margin on the bar's sides; the text stands in the middle of its height.
constexpr double kSideMargin = 10;
constexpr double kHUDMargin = 10;

QLabel *plainField() {
    auto *field = new QLabel;
    field->setTextInteractionFlags(Qt::NoTextInteraction);
    field->setAttribute(Qt::WA_TranslucentBackground);
    field->setWordWrap(false);
    return field;
}

QFont hudFont(const QWidget *widget) {
    QFont font = widget->font();
    font.setPointSizeF(13);
    font.setBold(true);
    return font;
}

}  // namespace

SmartTextInfoView::SmartTextInfoView(Form form, QWidget *parent) : MatryoshkaView(parent), m_form(form) {
    m_statusTextField = plainField();
    if (form == Form::Bar) {
        m_statusTextField->setAlignment(Qt::AlignCenter);
        // The field gives way first when the bar gets narrow.
        m_statusTextField->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        m_statusTextField->installEventFilter(this);
        initInset(m_statusTextField, QMarginsF(kSideMargin, 0, kSideMargin, 0));
        return;
    }
    m_statusTextField->setFont(hudFont(this));
    m_statusTextField->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_statusTextField->setText(QStringLiteral("Test"));
    QLabel *names = plainField();
    names->setFont(hudFont(this));
    names->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    names->setText(kLongNames.join(QStringLiteral(":\n")) + QStringLiteral(":\n\n"));
    // Names and numbers share the area: names on the left, numbers on the right.
    auto *columns = new QWidget;
    auto *grid = new QGridLayout(columns);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(m_statusTextField, 0, 0);
    grid->addWidget(names, 0, 0);
    initInset(columns, QMarginsF(kHUDMargin, kHUDMargin, kHUDMargin, kHUDMargin));
}

SmartTextInfoView::~SmartTextInfoView() {
    for (const QMetaObject::Connection &connection : m_linkConnections)
        disconnect(connection);
}

// --- Linking -------------------------------------------------------------------------------------------

KVXTextView *SmartTextInfoView::linkedTextView() const { return m_linkedTextView; }


void SmartTextInfoView::connectToTextView(KVXTextView *view) {
    if (!view || view == m_linkedTextView)
        return;
    if (m_linkedTextView)
        disconnectFromTextView(m_linkedTextView);
    m_linkedTextView = view;
    auto refresh = [this] { updateData(); };
    SmartTextStorage *storage = view->storage();
    m_linkConnections = {
        connect(view, &QTextEdit::selectionChanged, this, refresh),
        connect(view, &QTextEdit::cursorPositionChanged, this, refresh),
        connect(storage, &SmartTextStorage::textChanged, this, refresh),
        connect(storage, &SmartTextStorage::themeChanged, this,
                [this] { matchColorsWithTextView(m_linkedTextView); }),
    };
    matchColorsWithTextView(view);
    updateData();
}

void SmartTextInfoView::disconnectFromTextView(KVXTextView *view) {
    if (view && view == m_linkedTextView) {
        for (const QMetaObject::Connection &connection : std::exchange(m_linkConnections, {}))
            disconnect(connection);
        m_linkedTextView = nullptr;
    }
    updateData();
}

void SmartTextInfoView::matchColorsWithTextView(KVXTextView *view) {
    // In a floating panel the numbers keep the panel's colours.
    if (!view || m_form == Form::HUD)
        return;
    const ThemeColors colors = view->storage()->viewColors();
    setBackgroundColor(colors.background);
    QPalette palette = m_statusTextField->palette();
    palette.setColor(QPalette::WindowText, colors.text);
    m_statusTextField->setPalette(palette);
    update();
}

// --- Refreshing ------------------------------------------------------------------------------------------

void SmartTextInfoView::updateData() {
    platform::Dispatch::main(this, [this] { refresh(); });
}

SmartTextInfoView::Info SmartTextInfoView::currentInfo() const {
    Info info;
    KVXTextView *view = m_linkedTextView;
    if (!view) {
        info.position = QStringLiteral(" (0)");
        return info;
    }
    const CharRange selection = view->selectedRange();
    const SmartTextStorage *storage = view->storage();
    if (selection.length > 0) {
        // The selection's own bytes in the buffer, counted in one pass.
        const auto [start, length] = storage->byteRangeFromCharRange(selection);
        text_statistics(storage->str() + start, length, &info.characters, &info.words, &info.lines,
                        &info.paragraphs);
        info.suffix = QStringLiteral(" Selected Text");
        info.position = QStringLiteral(" (%1:%2)").arg(selection.location).arg(selection.end());
    } else {
        info.words = storage->wordCount();
        info.characters = storage->charCount();
        info.lines = storage->lineCount();
        info.paragraphs = storage->paraCount();
        info.position = QStringLiteral(" (%1)").arg(selection.location);
    }
    return info;
}

QString SmartTextInfoView::formatInfo(const QStringList &names, const Info &info) const {
    const QString words = QString::number(info.words), characters = QString::number(info.characters),
                  lines = QString::number(info.lines), paragraphs = QString::number(info.paragraphs);
    if (m_form == Form::HUD)
        return QStringLiteral("%1\n%2\n%3\n%4\n%5\n%6").arg(words, characters, lines, paragraphs, info.suffix,
                                                            info.position);
    return QStringLiteral("%1: %2 • %3: %4 • %5: %6 • %7: %8%9%10")
        .arg(names[0], words, names[1], characters, names[2], lines, names[3], paragraphs, info.suffix,
             info.position);
}

QString SmartTextInfoView::longInfo(const Info &info) const { return formatInfo(kLongNames, info); }

QString SmartTextInfoView::shortInfo(const Info &info) const { return formatInfo(kShortNames, info); }

void SmartTextInfoView::refresh() {
    const Info info = currentInfo();
    const QString longText = longInfo(info);
    const QFontMetrics metrics(m_statusTextField->font());
    const int width = m_statusTextField->width();
    m_statusText = metrics.horizontalAdvance(longText) > width ? shortInfo(info) : longText;
    m_statusTextField->setText(m_form == Form::HUD ? m_statusText
                                                 : metrics.elidedText(m_statusText, Qt::ElideRight, width));

    if (KVXTextView *view = m_linkedTextView;
        view && m_wordTargetEnabled && view->storage()->wordCount() >= m_targetWordCount) {
        m_wordTargetMet = true;
        platform::Dispatch::main(this, [this] { wordCountMet(); });
    }
    emit refreshed(m_statusText);
}

void SmartTextInfoView::setTargetWordCount(quint64 words) {
    m_targetWordCount = words;
    m_wordTargetEnabled = true;
    m_wordTargetMet = false;
}

bool SmartTextInfoView::event(QEvent *event) {
    // Shown again after being hidden: its counts may be old.
    if (event->type() == QEvent::ShowToParent)
        updateData();
    return MatryoshkaView::event(event);
}

bool SmartTextInfoView::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_statusTextField && event->type() == QEvent::Resize)
        updateData();
    return MatryoshkaView::eventFilter(watched, event);
}
