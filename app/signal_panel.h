// SignalPanel: is there a signal, and how good is it. Shows the input in use, its level with a
// clipping warning, the GPS block rates over 30 s and 2 min, the Eb/N0 estimate, bits repaired,
// the time since the last fix, the flight phase, and the bearing and distance to the sonde and
// to its predicted landing (from the car, with the position from GPS).
//
// In:  show(...) with the figures of SignalStats, the decoder's input level and the input's
//      description, on every tick of the window; setPhase when a fix arrives; setDistances.
// Out: the labels of its form (signal_panel.ui).
#pragma once

#include <QString>
#include <QWidget>

#include "app/signal_stats.h"
#include "flight/flight_fix.h"

namespace Ui {
class SignalPanel;
}

namespace nimbra {

struct InputLevel;

class SignalPanel : public QWidget {
    Q_OBJECT

public:
    explicit SignalPanel(QWidget* parent = nullptr);
    ~SignalPanel() override;

    // `level` null: no input is being decoded.
    void show(const SignalStats::Figures& figures, const InputLevel* level, const QString& input);
    void setPhase(FlightPhase phase);
    // "123° 4.5 km" each; empty: not known ("-").
    void setDistances(const QString& toSonde, const QString& toLanding);

    // The texts shown, for tests: "rate30", "rate120", "quality", "repaired", "level",
    // "clipping", "lastFix", "input", "phase", "toSonde", "toLanding".
    QString text(const char* field) const;

    static QString phaseName(FlightPhase phase);
    static QString rateText(const SignalStats::Rate& rate);

private:
    Ui::SignalPanel* ui;
};

}  // namespace nimbra
