// DemodGraphicsView: the scope strip. Draws the conditioned samples (blue) and the slicer's
// decisions (red) from a decoder's ScopeBuffer, entry i at pixel column i, then releases a held
// Pattern capture. It has no scene: the drawing replaces the view's own painting.
//
// The form creates the view; its owner then hands it the buffer to draw (setScopeBuffer). Until
// then the view draws nothing.
#pragma once

#include <QGraphicsView>

namespace nimbra {

struct ScopeBuffer;

class DemodGraphicsView : public QGraphicsView {
    Q_OBJECT

public:
    explicit DemodGraphicsView(QWidget* parent = nullptr);

    // The buffer must outlive the view, or be replaced before it goes.
    void setScopeBuffer(ScopeBuffer* buffer) { scope_ = buffer; }

public slots:
    void paintEvent(QPaintEvent* event) override;

private:
    ScopeBuffer* scope_ = nullptr;
};

}  // namespace nimbra
