// The thin line between two panes of a MatryoshkaView, which the user drags
// to share the space differently.
#pragma once

#include <QColor>
#include <QWidget>

class DividerView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)

public:
    // A line one or two pixels thick is hard to hit, so the divider takes the
    // pointer this far to either side of the line it draws, over the panes'
    // edges (the painted line itself stays as thick as it is given).
    static constexpr int Grip = 3;

    explicit DividerView(QWidget *parent = nullptr);

    // The fill of the line: red until the view that owns the divider gives it
    // its own colour.
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor &color);

    // Places the line, in the parent's coordinates; `orientation` is the
    // line's own (Qt::Vertical between panes side by side). The widget covers
    // the line and its grip.
    void setLine(const QRect &line, Qt::Orientation orientation);
    QRect line() const { return m_line; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QColor m_backgroundColor;
    QRect m_line;
    bool m_dragging = false;
};
