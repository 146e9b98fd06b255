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
    QString previewItem() const { return m_path; }
    Kind kind() const { return m_kind; }

    // How a file would be shown, by its type (its content and name).
    static Kind kindForPath(const QString &path);
    // The lines that describe a file: name, kind, size (of files) and date.
    static QStringList factsAbout(const QString &path);

    // The views, for those who look.
    QPlainTextEdit *textView() const { return m_text; }
    QLabel *imageView() const { return m_image; }
    QTextBrowser *htmlView() const { return m_html; }
    QLabel *factsView() const { return m_facts; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showKind(Kind kind);
    bool showText(const QString &path, bool html);
    bool showImage(const QString &path);
    void showFacts(const QString &path);
    void fitImage();

    QString m_path;
    Kind m_kind = Kind::Nothing;
    QStackedWidget *m_stack;
    QWidget *m_blank;
    QPlainTextEdit *m_text;
    QLabel *m_image;
    QTextBrowser *m_html;
    QLabel *m_facts;
    QPixmap m_picture;
};

}  // namespace platform
