#include "app/flight_plots.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QList>
#include <QPointF>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

#include "app/flight_log.h"

namespace nimbra {

namespace {

constexpr double kSamplesPerMinute = 48000.0 * 60.0;

// Values with a margin of a twentieth either side; time from its first value on.
void fitAxis(QValueAxis* axis, double low, double high, bool pad)
{
    if (!(high > low))
        high = low + 1.0;
    const double margin = pad ? (high - low) * 0.05 : 0.0;
    axis->setRange(low - margin, high + margin);
    axis->applyNiceNumbers();
}

}  // namespace

FlightPlots::FlightPlots(const FlightLog& log, QWidget* parent) : QWidget(parent), log_(log)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    altitude_ = makePlot(tr("Altitude"), tr("m"));
    ascent_ = makePlot(tr("Ascent rate"), tr("m/s"));
    layout->addWidget(altitude_.view);
    layout->addWidget(ascent_.view);
    altitude_.view->setToolTip(tr("The sonde's GPS altitude against minutes since its first fix"));
    ascent_.view->setToolTip(tr("Ascent rate (negative: descent) against minutes since the first fix"));
    connect(&log, &FlightLog::fixAdded, this, [this] { dirty_ = true; });
    connect(&log, &FlightLog::cleared, this, [this] {
        dirty_ = true;
        refresh();
    });
    connect(&log, &FlightLog::followChanged, this, [this] {
        dirty_ = true;
        refresh();
    });
}

FlightPlots::Plot FlightPlots::makePlot(const QString& title, const QString& yTitle)
{
    Plot p;
    p.chart = new QChart;
    p.chart->setTitle(title);
    p.chart->legend()->hide();
    p.chart->setMargins(QMargins(4, 4, 4, 4));
    p.series = new QLineSeries;
    p.chart->addSeries(p.series);
    p.x = new QValueAxis;
    p.x->setTitleText(tr("minutes"));
    p.x->setLabelFormat(QStringLiteral("%g"));
    p.y = new QValueAxis;
    p.y->setTitleText(yTitle);
    p.y->setLabelFormat(QStringLiteral("%g"));
    p.chart->addAxis(p.x, Qt::AlignBottom);
    p.chart->addAxis(p.y, Qt::AlignLeft);
    p.series->attachAxis(p.x);
    p.series->attachAxis(p.y);
    p.view = new QChartView(p.chart, this);
    p.view->setRenderHint(QPainter::Antialiasing);
    p.view->setMinimumHeight(140);
    return p;
}

void FlightPlots::refresh()
{
    if (!dirty_)
        return;
    dirty_ = false;
    QList<QPointF> altitude, ascent;
    if (!log_.empty()) {
        const unsigned id = log_.latest().record.transmitterId;
        std::int64_t origin = -1;
        for (const FlightFix& f : log_.fixes()) {
            if (f.record.transmitterId != id)
                continue;
            if (origin < 0)
                origin = f.record.sampleIndex;
            const double minutes = double(f.record.sampleIndex - origin) / kSamplesPerMinute;
            altitude.append(QPointF(minutes, double(f.record.altitude)));
            ascent.append(QPointF(minutes, double(f.record.ascent)));
        }
    }
    for (auto [plot, points] : {std::pair<Plot*, QList<QPointF>*>{&altitude_, &altitude}, {&ascent_, &ascent}}) {
        plot->series->replace(*points);
        if (points->isEmpty())
            continue;
        double low = points->front().y(), high = low;
        for (const QPointF& q : *points) {
            low = std::min(low, q.y());
            high = std::max(high, q.y());
        }
        fitAxis(plot->x, points->front().x(), points->back().x(), false);
        fitAxis(plot->y, low, high, true);
    }
}

int FlightPlots::altitudePoints() const
{
    return static_cast<int>(altitude_.series->count());
}

int FlightPlots::ascentPoints() const
{
    return static_cast<int>(ascent_.series->count());
}

}  // namespace nimbra
