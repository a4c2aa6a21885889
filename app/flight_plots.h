// FlightPlots: altitude and ascent rate against time, for the current transmitter, as two
// Qt Charts one above the other. Time runs in minutes of signal since the transmitter's first
// trusted fix (the decoder's sample count), so a recording decoded in seconds plots as it flew.
//
// In:  the flight log; refresh() on the window's tick redraws when fixes came meanwhile (one
//      replace per series instead of one redraw per fix while a recording races through).
// Out: the charts.
#pragma once

#include <QWidget>

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
QT_END_NAMESPACE

namespace nimbra {

class FlightLog;

class FlightPlots : public QWidget {
    Q_OBJECT

public:
    explicit FlightPlots(const FlightLog& log, QWidget* parent = nullptr);

    void refresh();
    // Points plotted, for tests.
    int altitudePoints() const;
    int ascentPoints() const;

    QSize sizeHint() const override { return {420, 420}; }

private:
    struct Plot {
        QChart* chart = nullptr;
        QChartView* view = nullptr;
        QLineSeries* series = nullptr;
        QValueAxis* x = nullptr;
        QValueAxis* y = nullptr;
    };
    Plot makePlot(const QString& title, const QString& yTitle);

    const FlightLog& log_;
    Plot altitude_;
    Plot ascent_;
    bool dirty_ = true;
};

}  // namespace nimbra
