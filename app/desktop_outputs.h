// DesktopOutputs: the network outputs of the desktop program: started from the settings at the
// start and again after OK in the Outputs dialog, fed with every accepted fix of live and WAVE
// decoding alike, and shown in the status bar.
//
// In:  the decoder parameters (the station), the settings of group "Outputs", accepted fixes
//      through publish() from whichever thread drives the decoder.
// Out: the running outputs; a status-bar label with one entry per active output ("SondeHub: 120
//      sent, 3 waiting", or its state while it has a problem: "MQTT: connection lost (...);
//      reconnecting"), refreshed every 500 ms; the outputs' changes of state in the trace.
#pragma once

#include <QObject>
#include <QString>

#include "outputs/output_set.h"

class QLabel;
class QStatusBar;
class QWidget;

namespace nimbra {

struct DecoderParameters;
struct FlightFix;

class DesktopOutputs : public QObject {
    Q_OBJECT

public:
    // The label goes into `statusBar` as a permanent widget.
    DesktopOutputs(const DecoderParameters& params, QStatusBar* statusBar, QObject* parent = nullptr);
    ~DesktopOutputs() override;

    // Any thread; never waits on the network.
    void publish(const FlightFix& fix);
    // Opens the Outputs dialog; OK restarts the outputs with the new settings.
    void openDialog(QWidget* parent);
    // Starts the outputs anew from the stored settings (what waits in the old ones gets a
    // second to go out; the SondeHub spool keeps the rest).
    void restart();
    // Restarts the outputs when the station of the decoder parameters is no longer the one they
    // started with (its position goes into the live KML and, when shared, to SondeHub).
    void followStation();
    // The GPS's position (`moving`: the station's position comes from it) for SondeHub's station
    // or chase car, as the Outputs dialog allows; restarts the outputs.
    void setPositionSource(outputs::PositionSource source, bool moving);
    // Lets the outputs deliver for at most `waitSeconds`, then stops them; publish() then does
    // nothing.
    void stop(double waitSeconds);

    QString statusText() const;
    // Empty when the outputs started; otherwise why they did not (also shown in the status bar).
    QString startError() const { return startError_; }

private:
    void refresh();

    const DecoderParameters& params_;
    QLabel* label_;
    outputs::OutputSet set_;
    QString startError_;
    outputs::PositionSource positionSource_;
    bool moving_ = false;
    float stationLat_ = 0.0f, stationLon_ = 0.0f, stationAlt_ = 0.0f;  // as the outputs started
};

}  // namespace nimbra
