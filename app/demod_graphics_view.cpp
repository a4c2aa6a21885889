#include "app/demod_graphics_view.h"

#include <QDebug>
#include <QPainter>
#include <QPen>

#include <algorithm>

#include "demod/scope_buffer.h"

namespace nimbra {

DemodGraphicsView::DemodGraphicsView(QWidget* parent) : QGraphicsView(parent)
{
    qDebug() << "DemodGraphicsView::DemodGraphicsView";
}

void DemodGraphicsView::paintEvent(QPaintEvent* /*event*/)
{
    if (!scope_)
        return;
    ScopeBuffer& scope = *scope_;
    QPainter painter(viewport());
    painter.setPen(QPen(QBrush(Qt::blue), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));

    // One ring entry per pixel column of the drawing area, as many as the view is wide.
    const int n = std::min(viewport()->width(), ScopeBuffer::kSize);
    float m = 0.0f;
    for (int i = 0; i < n; ++i) {
        const int v = scope.sample[i];
        if (static_cast<float>(v) > m)
            m = static_cast<float>(v);
    }

    // The largest positive sample in view lands 30 pixels below the middle line.
    if (m != 0.0f) {
        QPoint previous(0, 0);
        for (int i = 0; i < n; ++i) {
            const float scaled = static_cast<float>(scope.sample[i] * 30.0 / static_cast<double>(m));
            const QPoint point(i, static_cast<int>(static_cast<float>(static_cast<double>(scaled) + 40.0)));
            painter.drawLine(previous, point);
            previous = point;
        }
    }

    painter.setPen(QPen(QBrush(Qt::red), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    QPoint previous(0, 40);
    for (int i = 0; i < n; ++i) {
        const float scaled = static_cast<float>(scope.decision[i] * 30.0);
        const QPoint point(i, static_cast<int>(static_cast<float>(static_cast<double>(scaled) + 40.0)));
        painter.drawLine(previous, point);
        previous = point;
    }
    painter.end();
    scope.hold = 0;
}

}  // namespace nimbra
