#include "app/status_messages.h"

#include <QDebug>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>

namespace nimbra {

StatusMessages::StatusMessages(QStatusBar* bar, QObject* parent) : QObject(parent), bar_(bar)
{
    // A menu entry under the pointer shows its status tip in the bar and then clears the bar:
    // the standing messages come back.
    connect(bar, &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (message.isEmpty() && !shown().isEmpty())
            show();
    });
}

void StatusMessages::set(Kind kind, const QString& text)
{
    if (texts_[kind] != text)
        qDebug().noquote() << text;
    texts_[kind] = text;
    // Shown again even when it stands already: the bar may show a note or another's message.
    show();
}

void StatusMessages::clear(Kind kind)
{
    if (texts_[kind].isEmpty())
        return;
    texts_[kind].clear();
    show();
}

QString StatusMessages::shown() const
{
    QStringList parts;
    for (const QString& t : texts_)
        if (!t.isEmpty())
            parts << t;
    return parts.join(QStringLiteral("  |  "));
}

void StatusMessages::note(const QString& text)
{
    qDebug().noquote() << text;
    bar_->showMessage(text);
    // Back to the standing messages afterwards, unless another note came meanwhile.
    QTimer::singleShot(kNoteMs, this, [this, text] {
        if (bar_->currentMessage() == text)
            show();
    });
}

void StatusMessages::show()
{
    const QString text = shown();
    if (text.isEmpty())
        bar_->clearMessage();
    else
        bar_->showMessage(text);
}

}  // namespace nimbra
