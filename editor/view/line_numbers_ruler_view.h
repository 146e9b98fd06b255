// The gutter beside the editor's text: the number of every line (or of every
// paragraph: a non-empty line at the start of the text or after an empty
// line) at the height of its first line, on a plain background with a
// divider at its right edge.
//
// The ruler keeps an index of the numbered lines, rebuilt only after it was
// invalidated (a change of the text that can move the numbers, a zoom, a
// switch between lines and paragraphs), and looks the label of each visible
// line up in it by binary search. Lines are the text's lines: a wrapped line
// has one number, and the empty line after a final line feed has none.
// Its thickness fits the widest number; the editor places it in its left
// margin and keeps it there when the thickness changes (thicknessChanged).
//
// Lengths scale with the editor's zoom: the label font is drawn at its size
// times `zoomFactor`, and the thickness and spacings are multiplied by it.
#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QRectF>
#include <QWidget>

#include <vector>

class KVXTextView;
class QTextBlock;
class SmartTextStorage;
struct TextChange;

class LineNumbersRulerView : public QWidget {
    Q_OBJECT
public:
    static constexpr qsizetype kNotFound = -1;

    explicit LineNumbersRulerView(KVXTextView *client = nullptr, QWidget *parent = nullptr);

    KVXTextView *clientView() const { return m_client; }
    // The client's text storage, or null without a client.
    SmartTextStorage *currentTextStorage() const;
    // Follows the client's text from now on (nothing without a client).
    void setClientView(KVXTextView *client);

    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor &color);
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor &color);

    double zoomFactor() const { return m_zoomFactor; }
    void setZoomFactor(double zoom);
    // Multiplies the zoom factor by the width (the ruler scales with the
    // editor) and invalidates the index.
    void scaleUnitSquareToSize(double width, double height);

    bool isLineInformationValid() const { return m_valid; }
    bool isProcessing() const { return m_processing; }
    // The text changed in a way that can move the numbers: the index is
    // rebuilt before the next paint. With no argument, always.
    void clientTextStorageDidProcessEditing(const TextChange *change = nullptr);
    // Invalidates the index (the numbering switched between lines and
    // paragraphs) and repaints.
    void resetIndex();
    // Rebuilds the index and the thickness now.
    void updateLineInformation();

    // The entry of the numbered line that starts at `index` (its number
    // less one), or kNotFound when no numbered line starts there.
    qsizetype lineIndexForCharacterIndex(qsizetype index) const;
    qsizetype linesInIndex() const { return m_lines; }
    int ruleThickness() const { return m_thickness; }

    // The label font (at zoom 1) and colour.
    struct TextAttributes {
        QFont font;
        QColor color;
    };
    TextAttributes textAttributes() const { return {font(), m_textColor}; }

    // A label as it is drawn: its number and rectangle, in the ruler's
    // coordinates.
    struct Label {
        qsizetype number = 0;
        QRectF rect;
        bool operator==(const Label &) const = default;
    };
    // The labels drawn for a repaint of `rect` (the whole ruler by default).
    QList<Label> labelsInRect(QRectF rect = QRectF()) const;
    // The divider's rectangle at the right edge.
    QRectF dividerRect() const;

    QSize sizeHint() const override;

signals:
    void thicknessChanged(int thickness);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void textChanged(const TextChange &change);
    bool numbersParagraphs() const;
    QFont labelFont() const;

    KVXTextView *m_client = nullptr;
    QMetaObject::Connection m_textConnection;
    QMetaObject::Connection m_layoutConnection;
    QMetaObject::Connection m_scrollConnection;
    QColor m_textColor = Qt::darkGray;
    QColor m_backgroundColor = QColor::fromRgbF(0.9f, 0.9f, 0.9f, 1.0f);
    double m_zoomFactor = 1.0;
    bool m_valid = false;
    bool m_processing = false;
    // What the index holds: every line (block) below `m_lines`, or, when it
    // numbers paragraphs, or lines of which some are shown in parts, the
    // block numbers of `m_paragraphs` in order (the blocks that begin them).
    bool m_indexedParagraphs = false;
    bool m_indexedLines = false;
    std::vector<int> m_paragraphs;
    int m_indexedBlockCount = 0;
    qsizetype m_lines = 0;
    int m_thickness = 0;
};
