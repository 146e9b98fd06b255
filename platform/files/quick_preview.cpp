#include "platform/files/quick_preview.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <optional>

#include "platform/files/file_kind.h"
#include "platform/files/native_path.h"

namespace platform {

namespace {

QMimeType mimeTypeOf(const QString &path) {
    // The content decides for files that can be read; others by their name.
    if (isNativeOnly(path)) {
        // Qt would look for another file: the content through the file itself.
        const QString name = QFileInfo(path).fileName();
        QFile file;
        if (isRegularFile(path) && openFile(file, path, QIODevice::ReadOnly))
            return QMimeDatabase().mimeTypeForFileNameAndData(name, &file);
        return QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    }
    return QMimeDatabase().mimeTypeForFile(path, isRegularFile(path) ? QMimeDatabase::MatchDefault
                                                                     : QMimeDatabase::MatchExtension);
}

bool inheritsAny(const QMimeType &type, std::initializer_list<const char *> names) {
    for (const char *name : names)
        if (type.inherits(QLatin1String(name)))
            return true;
    return false;
}

bool isReadableImageType(const QMimeType &type) {
    const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
    if (readable.contains(type.name().toLatin1()))
        return true;
    for (const QString &parent : type.allAncestors())
        if (parent.startsWith(QLatin1String("image/")) && readable.contains(parent.toLatin1()))
            return true;
    return false;
}

// The first bytes of a regular file, and whether there was more.
std::optional<QByteArray> readStart(const QString &path, bool *cut) {
    if (!isRegularFile(path))
        return std::nullopt;
    QFile file;
    if (!openFile(file, path, QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(QuickPreview::kReadLimit);
    if (cut)
        *cut = !file.atEnd();
    return bytes;
}

QString decoded(const QByteArray &bytes) {
    // A byte-order mark names the encoding; without one, UTF-8 (whose
    // mistakes show as replacement characters).
    const auto encoding = QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8);
    QStringDecoder decoder(encoding);
    return decoder.decode(bytes);
}

// HTML laid out as a page shows it, with pictures beside it on this machine
// and nothing else: no links followed, nothing fetched, and nothing read
// that is not a regular file of reasonable size.
class HtmlView : public QTextBrowser {
public:
    HtmlView() {
        setOpenLinks(false);
        setOpenExternalLinks(false);
    }
    QVariant loadResource(int type, const QUrl &name) override {
        // Something empty, never nothing: for nothing, the document would
        // read the file itself, whatever it is.
        const QVariant refused = QVariant(QByteArray());
        const QUrl url = document()->baseUrl().resolved(name);
        if (!url.isLocalFile())
            return refused;
        const std::optional<QByteArray> bytes = readStart(url.toLocalFile(), nullptr);
        if (!bytes)
            return refused;
        return type == QTextDocument::ImageResource ? QVariant(*bytes) : QVariant(decoded(*bytes));
    }
};

}  // namespace

QuickPreview::QuickPreview(QWidget *parent) : QWidget(parent) {
    m_stack = new QStackedWidget(this);
    m_blank = new QWidget;
    m_text = new QPlainTextEdit;
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_image = new QLabel;
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setMinimumSize(1, 1);
    m_image->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);  // a picture never widens the window
    m_html = new HtmlView;
    m_facts = new QLabel;
    m_facts->setAlignment(Qt::AlignCenter);
    m_facts->setWordWrap(true);
    m_facts->setTextFormat(Qt::RichText);
    m_facts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QWidget *view : {m_blank, static_cast<QWidget *>(m_text), static_cast<QWidget *>(m_image),
                          static_cast<QWidget *>(m_html), static_cast<QWidget *>(m_facts)})
        m_stack->addWidget(view);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
}

QuickPreview::~QuickPreview() = default;

QuickPreview::Kind QuickPreview::kindForPath(const QString &path) {
    if (path.isEmpty())
        return Kind::Nothing;
    if (!isRegularFile(path))
        return Kind::Facts;
    const QMimeType type = mimeTypeOf(path);
    if (inheritsAny(type, {"text/html", "application/xhtml+xml"}))
        return Kind::Html;
    if (isReadableImageType(type))
        return Kind::Image;
    if (type.inherits(QStringLiteral("text/plain")))
        return Kind::Text;
    return Kind::Facts;
}

QStringList QuickPreview::factsAbout(const QString &path) {
    // Told by the bytes of the path: Qt's own look would miss a name that is
    // not UTF-8.
    const PathStatus info = pathStatus(path);
    const QString name = displayablePath(QFileInfo(path).fileName());
    QStringList facts{name.isEmpty() ? displayablePath(path) : name};
    if (!info.exists && !pathStatus(path, false).isSymLink)
        return facts << QStringLiteral("The file is no longer there.");
    const QLocale locale;
    facts << (info.isDir ? QStringLiteral("Folder") : mimeTypeOf(path).comment());
    if (info.isFile)
        facts << locale.formattedDataSize(info.size);
    facts << QStringLiteral("Modified %1").arg(locale.toString(info.lastModified, QLocale::LongFormat));
    return facts;
}

void QuickPreview::setPreviewItem(const QString &path) {
    m_path = path;
    m_picture = QPixmap();
    m_text->clear();
    m_html->clear();
    m_image->clear();
    Kind kind = kindForPath(path);
    // A file that cannot be shown as its kind is described instead.
    if ((kind == Kind::Text && !showText(path, false)) || (kind == Kind::Html && !showText(path, true)) ||
        (kind == Kind::Image && !showImage(path)))
        kind = Kind::Facts;
    if (kind == Kind::Facts)
        showFacts(path);
    showKind(kind);
}

void QuickPreview::showKind(Kind kind) {
    m_kind = kind;
    QWidget *views[] = {m_blank, m_text, m_image, m_html, m_facts};
    m_stack->setCurrentWidget(views[int(kind)]);
}

bool QuickPreview::showText(const QString &path, bool html) {
    bool cut = false;
    const std::optional<QByteArray> bytes = readStart(path, &cut);
    if (!bytes)
        return false;
    if (html) {
        if (cut)
            return false;  // half a page would show as a broken one
        m_html->document()->setBaseUrl(QUrl::fromLocalFile(path));
        m_html->setHtml(decoded(*bytes));
        return true;
    }
    m_text->setPlainText(cut ? decoded(*bytes) + QStringLiteral("\n…") : decoded(*bytes));
    return true;
}

bool QuickPreview::showImage(const QString &path) {
    if (!isRegularFile(path))
        return false;
    QFile file;
    QImageReader reader;
    if (isNativeOnly(path)) {  // Qt would read another file
        if (!openFile(file, path, QIODevice::ReadOnly))
            return false;
        reader.setDevice(&file);
    } else {
        reader.setFileName(path);
    }
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kLargestImageSide || size.height() > kLargestImageSide))
        reader.setScaledSize(size.scaled(kLargestImageSide, kLargestImageSide, Qt::KeepAspectRatio));
    const QImage picture = reader.read();
    if (picture.isNull())
        return false;
    m_picture = QPixmap::fromImage(picture);
    fitImage();
    return true;
}

void QuickPreview::showFacts(const QString &path) {
    QStringList lines = factsAbout(path);
    for (QString &line : lines)
        line = line.toHtmlEscaped();
    lines.first() = QStringLiteral("<b>%1</b>").arg(lines.first());
    m_facts->setText(lines.join(QStringLiteral("<br>")));
}

void QuickPreview::fitImage() {
    if (m_picture.isNull())
        return;
    // The room the views share (the picture's view may not be laid out yet).
    const QSize room = m_stack->contentsRect().size();
    // Fitted to the view, never enlarged.
    if (m_picture.width() <= room.width() && m_picture.height() <= room.height())
        m_image->setPixmap(m_picture);
    else
        m_image->setPixmap(m_picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void QuickPreview::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    fitImage();
}

}  // namespace platform
