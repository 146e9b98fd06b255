// SmartTextInfoView: the one-line status bar under the editor. It shows the
// counts of words, characters, lines and paragraphs of the whole text, or
// of the selection when there is one, followed by the caret's position or
// the selected range:
//
//   Words: 120 • Characters: 702 • Lines: 14 • Paragraphs: 6 (350)
//   Words: 3 • Characters: 15 • Lines: 1 • Paragraphs: 1 Selected Text (10:25)
//
// When that does not fit, it shows the short form ("W: 120 • C: 702 ...").
// Positions and characters count UTF-16 units, as the editor does. Its
// colours follow the editor theme's. It can watch a word-count goal.
//
// The document's counts are read from the text storage, which keeps them;
// only a selection is counted here, in one pass over its UTF-8 text.
//
// The floating-panel form shows the same numbers in two columns, names on
// the left and numbers on the right.
//
// Each trigger (linking, a selection change, an edit, a resize of the
// field, being shown again) queues its own refresh on the main thread.
#pragma once

#include <QPointer>
#include <QString>

#include <cstdint>

#include "window/panes/matryoshka_view.h"

class KVXTextView;
class QLabel;

class SmartTextInfoView : public MatryoshkaView {
    Q_OBJECT

public:
    enum class Form { Bar, HUD };

    // What the bar shows.
    struct Info {
        uint64_t words = 0;
        uint64_t characters = 0;
        uint64_t lines = 0;
        uint64_t paragraphs = 0;
        QString suffix;    // "" or " Selected Text"
        QString position;  // " (caret)" or " (start:end)"
        bool operator==(const Info &) const = default;
    };

    explicit SmartTextInfoView(Form form = Form::Bar, QWidget *parent = nullptr);
    ~SmartTextInfoView() override;

    Form form() const { return m_form; }
    QLabel *statusTextField() const { return m_statusTextField; }
    // The text chosen at the last refresh (the field may show it shortened
    // at its end).
    QString statusText() const { return m_statusText; }

    KVXTextView *linkedTextView() const;
    // Follows `view` (one at a time): nothing when it is linked already.
    void connectToTextView(KVXTextView *view);
    // Stops following `view` when it is the linked one; refreshes anyway.
    void disconnectFromTextView(KVXTextView *view);
    // The bar's background and text take the editor theme's colours (the
    // floating-panel form keeps the panel's).
    void matchColorsWithTextView(KVXTextView *view);

    // Queues a refresh; any thread.
    void updateData();

    // The counts and position for the linked editor now (all 0 without one).
    Info currentInfo() const;
    // `info` in the long or the short form.
    QString longInfo(const Info &info) const;
    QString shortInfo(const Info &info) const;

    // --- Word-count goal ----------------------------------------------------------------

    // Watches for the document reaching `words`; reported once.
    void setTargetWordCount(quint64 words);
    quint64 targetWordCount() const { return m_targetWordCount; }
    bool wordTargetEnabled() const { return m_wordTargetEnabled; }
    bool wordTargetMet() const { return m_wordTargetMet; }
    // Stops watching the goal.
    void wordCountMet() { m_wordTargetEnabled = false; }

signals:
    // After each refresh, with the text chosen.
    void refreshed(const QString &text);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    QString formatInfo(const QStringList &names, const Info &info) const;

    Form m_form;
    QLabel *m_statusTextField = nullptr;
    QString m_statusText;
    QPointer<KVXTextView> m_linkedTextView;
    QList<QMetaObject::Connection> m_linkConnections;
    bool m_wordTargetEnabled = false;
    bool m_wordTargetMet = false;
    quint64 m_targetWordCount = 0;
};
