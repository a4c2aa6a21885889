// DemodGraphicsView: the scope strip. Draws the conditioned samples (blue) and the slicer's
// decisions (red) from the decoder's ScopeBuffer, entry i at pixel column i, then releases a
// held Pattern capture. It has no scene: the drawing replaces the view's own painting.
#pragma once

#include <QGraphicsView>

namespace nimbra {
struct ScopeBuffer;
}

class DemodGraphicsView : public QGraphicsView {
    Q_OBJECT

public:
    explicit DemodGraphicsView(QWidget* parent = nullptr);

    // The buffer drawn; the process-wide decoder's unless a test gives another.
    void setScopeBuffer(nimbra::ScopeBuffer* buffer) { scope_ = buffer; }

public slots:
    void paintEvent(QPaintEvent* event) override;

private:
    nimbra::ScopeBuffer* scope_;
};
