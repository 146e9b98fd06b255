// A content view under a 20-point title strip, shown and hidden in the
// manner of a disclosure section. The window form has a centred, bordered
// title; the floating-panel form has white left-aligned text and a
// disclosure button that shows and hides the content.
#pragma once

#include "window/panes/matryoshka_view.h"

class QAbstractButton;
class QLabel;
class QToolButton;

class DisclosureView : public MatryoshkaView {
    Q_OBJECT

public:
    enum class Look { Window, FloatingPanel };

    static constexpr double TitleHeight = 20.0;

    // An empty view.
    explicit DisclosureView(QWidget *parent = nullptr);
    // `primaryView` becomes the content, under a strip with the title.
    DisclosureView(const QString &title, QWidget *primaryView, Look look = Look::Window,
                   QWidget *parent = nullptr);

    // The title strip, holding the label (and, in the panel form, the button).
    QWidget *titleView() const { return m_titleView; }
    QWidget *contentView() const { return m_contentView; }
    QLabel *titleLabel() const { return m_titleLabel; }
    QToolButton *disclosureButton() const { return m_disclosureButton; }

    // Shows the content when the button is on and hides it when it is off.
    void toggleDisclosure(QAbstractButton *sender);
    // Shows hidden content and hides shown content.
    void toggleDisclosureView();

private:
    void addTitle(const QString &title);
    void addTitleforHUD(const QString &title);
    void showContent(bool shown);

    QWidget *m_titleView = nullptr;
    QPointer<QWidget> m_contentView;
    QLabel *m_titleLabel = nullptr;
    QToolButton *m_disclosureButton = nullptr;
};
