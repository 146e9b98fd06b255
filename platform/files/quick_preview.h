// A quick look at a file, in place of the system's previewer, which this
// platform does not have: text as text, pictures fitted to the view, HTML
// laid out (without following links or fetching anything), and for anything
// else what the file is: its name, kind, size and date.
//
//   auto *preview = new QuickPreview;
//   preview->setPreviewItem("/home/ann/notes/figure.png");
//   preview->setPreviewItem(QString());   // shows nothing
//
// Only the first kReadLimit bytes of a file are read, and only from regular
// files (a pipe or a device is described, never read). Main thread only.
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QTextBrowser;

namespace platform {

class QuickPreview : public QWidget {
    Q_OBJECT

public:
    // How a file is shown.
    enum class Kind { Nothing, Text, Image, Html, Facts };

    static constexpr qint64 kReadLimit = 512 * 1024;
    // Pictures are decoded no larger than this on either side.
    static constexpr int kLargestImageSide = 4096;

    explicit QuickPreview(QWidget *parent = nullptr);
    ~QuickPreview() override;

    // Shows the file at `path`; an empty path shows nothing.
    void setPreviewItem(const QString &path);
    QString previewItem() const { return path_; }
    Kind kind() const { return kind_; }

    // How a file would be shown, by its type (its content and name).
    static Kind kindForPath(const QString &path);
    // The lines that describe a file: name, kind, size (of files) and date.
    static QStringList factsAbout(const QString &path);

    // The views, for those who look.
    QPlainTextEdit *textView() const { return text_; }
    QLabel *imageView() const { return image_; }
    QTextBrowser *htmlView() const { return html_; }
    QLabel *factsView() const { return facts_; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showKind(Kind kind);
    bool showText(const QString &path, bool html);
    bool showImage(const QString &path);
    void showFacts(const QString &path);
    void fitImage();

    QString path_;
    Kind kind_ = Kind::Nothing;
    QStackedWidget *stack_;
    QWidget *blank_;
    QPlainTextEdit *text_;
    QLabel *image_;
    QTextBrowser *html_;
    QLabel *facts_;
    QPixmap picture_;
};

}  // namespace platform
