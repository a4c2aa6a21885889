// SpectrumView: the band as the SDR receives it: its spectrum above (the power and the noise
// floor the receiver measures, in dB) and a waterfall below (a new row for each spectrum, the
// newest on top), with each sonde's channel marked across both and labelled with its serial.
// Clicking a signal that is not a sonde's channel asks the receiver to try it there.
//
// In:  the band's snapshot (setSnapshot), at up to 10 a second; the mouse.
// Out: the drawing; tryAt(offsetHz) for a click (against the tuning).
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "sources/band_decode_thread.h"

namespace nimbra {

class SpectrumView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWaterfallRows = 300;

    explicit SpectrumView(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {560, 360}; }
    QSize minimumSizeHint() const override { return {240, 160}; }

    void setSnapshot(const BandSnapshot& snapshot);
    void clear();
    // Frequency against the tuning at a point of the view, and back.
    double offsetAt(double x) const;
    double xOf(double offsetHz) const;
    int rowsDrawn() const { return rows_; }
    int framesPainted() const { return frames_; }

signals:
    void tryAt(double offsetHz);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void addRow(const std::vector<float>& powerDb, const std::vector<float>& floorDb);

    BandSnapshot snap_;
    QImage waterfall_;  // one column per spectrum point, newest row at the top
    std::uint64_t serial_ = 0;
    int rows_ = 0;
    int frames_ = 0;
};

}  // namespace nimbra
