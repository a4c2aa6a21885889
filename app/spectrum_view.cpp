#include "app/spectrum_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "formats/frequency_text.h"

namespace nimbra {

namespace {

constexpr double kSpectrumShare = 0.4;  // of the height, above the waterfall
constexpr int kAxisHeight = 16;
constexpr float kWaterfallSpanDb = 30.0f;  // from the floor up

QRgb heat(float t)
{
    // The noise floor dark (as the view behind it, so that rows not yet drawn look empty),
    // then blue, cyan and yellow to red for the strongest.
    struct Stop {
        float t;
        int r, g, b;
    };
    static constexpr Stop kStops[] = {{0.0f, 0x0c, 0x10, 0x24}, {0.25f, 0x18, 0x38, 0xb0}, {0.5f, 0x00, 0xc0, 0xd0},
                                      {0.75f, 0xf0, 0xe0, 0x30}, {1.0f, 0xff, 0x30, 0x20}};
    t = std::clamp(t, 0.0f, 1.0f);
    std::size_t i = 1;
    while (i + 1 < std::size(kStops) && t > kStops[i].t)
        ++i;
    const Stop& a = kStops[i - 1];
    const Stop& b = kStops[i];
    const float u = (t - a.t) / (b.t - a.t);
    const auto mix = [u](int x, int y) { return static_cast<int>(std::lround(float(x) + u * float(y - x))); };
    return qRgb(mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b));
}

QString frequencyLabel(double hz, bool absolute)
{
    return absolute ? QString::fromStdString(formats::formatMhz(hz)) : QStringLiteral("%1k").arg(hz / 1000.0, 0, 'f', 0);
}

}  // namespace

SpectrumView::SpectrumView(QWidget* parent) : QWidget(parent)
{
    setToolTip(tr("The band: its spectrum and the receiver's noise floor above, the waterfall below (newest on "
                  "top), each sonde's channel marked. Click a signal to have the receiver try it"));
    setMouseTracking(false);
}

void SpectrumView::clear()
{
    snap_ = BandSnapshot{};
    waterfall_ = QImage();
    rows_ = 0;
    update();
}

void SpectrumView::setSnapshot(const BandSnapshot& s)
{
    const bool fresh = s.spectrumSerial != serial_;
    snap_ = s;
    if (fresh && !s.powerDb.empty()) {
        serial_ = s.spectrumSerial;
        addRow(s.powerDb, s.floorDb);
    }
    update();
}

void SpectrumView::addRow(const std::vector<float>& powerDb, const std::vector<float>& floorDb)
{
    const int n = static_cast<int>(powerDb.size());
    if (waterfall_.width() != n) {
        waterfall_ = QImage(n, kWaterfallRows, QImage::Format_RGB32);
        waterfall_.fill(heat(0.0f));
        rows_ = 0;
    }
    // Scroll down a row, the newest on top.
    const int stride = static_cast<int>(waterfall_.bytesPerLine());
    uchar* bits = waterfall_.bits();
    std::memmove(bits + stride, bits, static_cast<std::size_t>(stride) * (kWaterfallRows - 1));
    float floor = 0.0f;
    std::vector<float> sorted(floorDb.begin(), floorDb.end());
    if (!sorted.empty()) {
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        floor = sorted[sorted.size() / 2];
    }
    auto* row = reinterpret_cast<QRgb*>(bits);
    for (int i = 0; i < n; ++i)
        row[i] = heat((powerDb[i] - floor) / kWaterfallSpanDb);
    ++rows_;
}

double SpectrumView::offsetAt(double x) const
{
    const double rate = snap_.rate > 0 ? snap_.rate : 1.0;
    return (x / std::max(1, width()) - 0.5) * rate;
}

double SpectrumView::xOf(double offsetHz) const
{
    const double rate = snap_.rate > 0 ? snap_.rate : 1.0;
    return (offsetHz / rate + 0.5) * width();
}

void SpectrumView::paintEvent(QPaintEvent* /*event*/)
{
    ++frames_;
    QPainter p(this);
    p.fillRect(rect(), QColor(0x10, 0x14, 0x20));
    const int top = static_cast<int>(height() * kSpectrumShare);
    const QRect spectrumArea(0, 0, width(), top - kAxisHeight);
    const QRect axisArea(0, top - kAxisHeight, width(), kAxisHeight);
    const QRect waterArea(0, top, width(), height() - top);
    if (!waterfall_.isNull())
        p.drawImage(waterArea, waterfall_);
    p.setPen(QColor(0x90, 0x98, 0xa8));
    if (snap_.powerDb.empty()) {
        p.drawText(rect(), Qt::AlignCenter, tr("No band yet: the spectrum shows while an SDR or an IQ recording is decoded"));
        return;
    }
    // The spectrum, scaled from a little below the floor to a little above the strongest point.
    const float bottom = *std::min_element(snap_.floorDb.begin(), snap_.floorDb.end()) - 5.0f;
    const float peak = *std::max_element(snap_.powerDb.begin(), snap_.powerDb.end());
    const float range = std::max(20.0f, peak + 5.0f - bottom);
    const int n = static_cast<int>(snap_.powerDb.size());
    auto y = [&](float db) { return spectrumArea.bottom() - (db - bottom) / range * spectrumArea.height(); };
    QPainterPath power, floor;
    for (int i = 0; i < n; ++i) {
        const double x = (i + 0.5) * width() / n;
        if (i == 0) {
            power.moveTo(x, y(snap_.powerDb[i]));
            floor.moveTo(x, y(snap_.floorDb[i]));
        } else {
            power.lineTo(x, y(snap_.powerDb[i]));
            floor.lineTo(x, y(snap_.floorDb[i]));
        }
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x5c, 0x70, 0x90), 1, Qt::DotLine));
    p.drawPath(floor);
    p.setPen(QPen(QColor(0xf0, 0xd0, 0x60), 1.2));
    p.drawPath(power);

    // The frequency axis: ticks every "nice" step.
    const bool absolute = std::isfinite(snap_.tunedHz) && snap_.tunedHz > 0;
    const double span = snap_.rate;
    const double raw = span / 6.0;
    const double power10 = std::pow(10.0, std::floor(std::log10(raw)));
    const double step = raw / power10 < 2 ? power10 : raw / power10 < 5 ? 2 * power10 : 5 * power10;
    p.setPen(QColor(0xa8, 0xb0, 0xc0));
    for (double f = std::ceil(-span / 2 / step) * step; f <= span / 2; f += step) {
        const double x = xOf(f);
        p.drawLine(QPointF(x, axisArea.top()), QPointF(x, axisArea.top() + 4));
        p.drawText(QRectF(x - 40, axisArea.top() + 2, 80, kAxisHeight - 2), Qt::AlignHCenter | Qt::AlignTop,
                   frequencyLabel(absolute ? snap_.tunedHz + f : f, absolute));
    }

    // Each sonde's channel, across the spectrum and the waterfall.
    for (const SondeSummary& s : snap_.sondes) {
        if (s.lost)
            continue;
        const double half = std::max(2500.0, s.deviationHz * 1.2);
        const double x0 = xOf(s.offsetHz - half), x1 = xOf(s.offsetHz + half);
        const QColor mark = s.goodBlocks > 0 ? QColor(0x40, 0xe0, 0x80) : QColor(0xe0, 0xa0, 0x40);
        p.fillRect(QRectF(x0, 0, std::max(2.0, x1 - x0), height()), QColor(mark.red(), mark.green(), mark.blue(), 40));
        p.setPen(QPen(mark, 1));
        p.drawLine(QPointF((x0 + x1) / 2, 0), QPointF((x0 + x1) / 2, spectrumArea.bottom()));
        const QString label = s.hasId ? QStringLiteral("%1").arg(s.transmitterId, 4, 16, QLatin1Char('0')).toUpper()
                                      : tr("ch %1").arg(s.channel);
        const QRectF box(std::min((x0 + x1) / 2 + 3, width() - 44.0), 2, 42, 14);
        p.fillRect(box, QColor(0, 0, 0, 150));
        p.drawText(box, Qt::AlignCenter, label);
    }
}

void SpectrumView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || snap_.rate <= 0)
        return;
    const double hz = offsetAt(event->position().x());
    for (const SondeSummary& s : snap_.sondes)
        if (!s.lost && std::fabs(s.offsetHz - hz) < std::max(2500.0, s.deviationHz * 1.2))
            return;  // a sonde's channel already
    emit tryAt(hz);
}

}  // namespace nimbra
