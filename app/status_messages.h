// StatusMessages: what the status bar says about the program's state, each message kept for as
// long as it applies and shown together with the others: the sound input failed to start, a
// recording could not be read, no signal for 30 s. A note (an export written, say) shows for a
// few seconds over them. Every message also goes to the trace when it appears.
//
// In:  set(kind, text) and clear(kind) from the window and the panels; note(text).
// Out: the status bar's message (QStatusBar::showMessage), shown again whenever something else
//      clears the bar (a menu's status tip) while a message applies; widgets that others add to
//      the status bar (permanent widgets on its right) are left alone.
#pragma once

#include <QObject>
#include <QString>

class QStatusBar;

namespace nimbra {

class StatusMessages : public QObject {
    Q_OBJECT

public:
    enum Kind { Capture, File, NoSignal, KindCount };
    static constexpr int kNoteMs = 10000;

    StatusMessages(QStatusBar* bar, QObject* parent = nullptr);

    void set(Kind kind, const QString& text);
    void clear(Kind kind);
    QString text(Kind kind) const { return texts_[kind]; }
    // All messages that apply now, as shown.
    QString shown() const;
    void note(const QString& text);

private:
    void show();

    QStatusBar* bar_;
    QString texts_[KindCount];
};

}  // namespace nimbra
