// DesktopStation: the desktop program's station when it moves or points: its position from a GPS
// through gpsd, and a rotator through rotctld kept on the sonde. Both run on threads of their
// own (station/); the window's thread looks at them every 500 ms and never waits on them.
//
// In:  the station settings (Config); every accepted fix from the fix feed; whether the input is
//      live (a recording's fixes never point the antenna); the user's choice of sonde, if any.
// Out: the decoder's live station (the look angles of every new fix are taken from the GPS's
//      position, while the typed-in one stays in the parameters and the settings file); the
//      position now and the car's trail of the last 30 minutes for the views; a position source
//      for the network outputs (any thread); two status-bar labels (the GPS's and the rotator's
//      state) and every problem in the trace, once.
//
// Before the GPS's first fix the typed-in position stands; a GPS that loses its fix, or gpsd
// gone, keeps the last good position. The rotator follows the newest trusted fix of one sonde
// (followed_sonde.h) and never moves without a station position.
#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "app/station_settings.h"
#include "formats/track_documents.h"
#include "outputs/output_config.h"
#include "station/followed_sonde.h"

class QLabel;
class QStatusBar;

namespace nimbra {

class Decoder;
struct FlightFix;

namespace station {
class GpsdClient;
class Rotator;
}  // namespace station

struct TrailPoint {
    double latitude = 0.0, longitude = 0.0;
    qint64 timeMs = 0;  // wall clock
};

class DesktopStation : public QObject {
    Q_OBJECT

public:
    static constexpr int kTickMs = 500;
    static constexpr qint64 kTrailMs = 30 * 60 * 1000;
    static constexpr double kTrailStepM = 10.0;  // a new trail point once the car moved this far

    // `statusBar` may be null (tests).
    DesktopStation(Decoder& decoder, QStatusBar* statusBar, QObject* parent = nullptr);
    ~DesktopStation() override;

    // Starts, restarts or stops the GPS and the rotator as the settings say.
    void apply(const StationSettings& settings);
    const StationSettings& settings() const { return settings_; }
    void setRotatorOn(bool on);
    void setLiveInput(std::function<bool()> live) { liveInput_ = std::move(live); }
    // The sonde the rotator follows: the user's choice, or none for the automatic one.
    void chooseSonde(std::optional<unsigned> id);

    // The GPS's position, when it has given one.
    std::optional<formats::Station> livePosition() const;
    // Where the station is now: the GPS's position, else the one typed into Config.
    formats::Station position() const;
    bool moving() const { return livePosition().has_value(); }
    const QVector<TrailPoint>& trail() const { return trail_; }
    // For the network outputs' threads; stays valid after this object is gone (then: none).
    outputs::PositionSource positionSource() const;

    QString gpsText() const;
    QString rotatorText() const;

    // Looks at the GPS and the rotator now (the timer does it every kTickMs).
    void tick();

    // Each accepted fix (from the fix feed): a trusted live one of the sonde followed points
    // the rotator.
    void fixAccepted(const FlightFix& fix);

signals:
    void positionChanged();
    void rotatorSwitched(bool on);

private:
    struct Shared {
        std::mutex mutex;
        std::optional<formats::Station> position;
    };
    void note(const QString& text, bool problem);
    void startGps();
    void startRotator();

    Decoder& decoder_;
    StationSettings settings_;
    std::unique_ptr<station::GpsdClient> gps_;
    std::unique_ptr<station::Rotator> rotator_;
    station::FollowedSonde followed_;
    std::function<bool()> liveInput_;
    std::shared_ptr<Shared> shared_;
    std::optional<formats::Station> live_;
    double appliedTimeS_ = -1.0;
    QVector<TrailPoint> trail_;
    QLabel* gpsLabel_ = nullptr;
    QLabel* rotatorLabel_ = nullptr;
};

}  // namespace nimbra
