#include "app/desktop_station.h"

#include <QDateTime>
#include <QDebug>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include <chrono>

#include "decoder/decoder.h"
#include "flight/flight_fix.h"
#include "station/gpsd_client.h"
#include "station/rotator.h"
#include "station/station_fix.h"

namespace nimbra {

namespace {

double steadyNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

DesktopStation::DesktopStation(Decoder& decoder, QStatusBar* statusBar, QObject* parent)
    : QObject(parent), decoder_(decoder), shared_(std::make_shared<Shared>())
{
    if (statusBar) {
        gpsLabel_ = new QLabel;
        gpsLabel_->setObjectName(QStringLiteral("gpsStatus"));
        rotatorLabel_ = new QLabel;
        rotatorLabel_->setObjectName(QStringLiteral("rotatorStatus"));
        statusBar->addPermanentWidget(gpsLabel_);
        statusBar->addPermanentWidget(rotatorLabel_);
        gpsLabel_->hide();
        rotatorLabel_->hide();
    }
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &DesktopStation::tick);
    timer->start(kTickMs);
}

DesktopStation::~DesktopStation()
{
    // The threads go first: nothing of theirs may reach this object once it is gone.
    rotator_.reset();
    gps_.reset();
    decoder_.liveStation.on = 0;
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->position.reset();
}

void DesktopStation::note(const QString& text, bool problem)
{
    if (problem)
        qWarning().noquote() << text;
    else
        qInfo().noquote() << text;
}

void DesktopStation::startGps()
{
    gps_.reset();
    if (!settings_.positionFromGps)
        return;
    gps_ = std::make_unique<station::GpsdClient>(settings_.gpsdAddress());
    gps_->setNoteSink([this](const std::string& text, bool problem) {
        const QString t = QString::fromStdString(text);
        QMetaObject::invokeMethod(this, [this, t, problem] { note(t, problem); }, Qt::QueuedConnection);
    });
    gps_->start();
}

void DesktopStation::startRotator()
{
    rotator_.reset();
    if (!settings_.rotatorOn)
        return;
    rotator_ = std::make_unique<station::Rotator>(settings_.rotctldAddress(), settings_.rotatorSettings());
    rotator_->setNoteSink([this](const std::string& text, bool problem) {
        const QString t = QString::fromStdString(text);
        QMetaObject::invokeMethod(this, [this, t, problem] { note(t, problem); }, Qt::QueuedConnection);
    });
    rotator_->start();
}

void DesktopStation::apply(const StationSettings& s)
{
    const bool gpsChanged = s.positionFromGps != settings_.positionFromGps || s.gpsdHost != settings_.gpsdHost ||
                            s.gpsdPort != settings_.gpsdPort || (s.positionFromGps && !gps_);
    const StationSettings old = settings_;
    settings_ = s;
    if (gpsChanged) {
        startGps();
        if (!settings_.positionFromGps) {
            // Back to the typed-in position at once.
            live_.reset();
            appliedTimeS_ = -1.0;
            decoder_.liveStation.on = 0;
            {
                std::lock_guard<std::mutex> lock(shared_->mutex);
                shared_->position.reset();
            }
            emit positionChanged();
        }
    }
    const bool rotatorChanged = s.rotatorOn != old.rotatorOn || s.rotatorHost != old.rotatorHost ||
                                s.rotatorPort != old.rotatorPort || s.thresholdDeg != old.thresholdDeg ||
                                s.intervalS != old.intervalS || s.azimuthOnly != old.azimuthOnly ||
                                s.homeOn != old.homeOn || s.homeAzimuth != old.homeAzimuth ||
                                s.homeElevation != old.homeElevation || s.homeAfterMinutes != old.homeAfterMinutes ||
                                (s.rotatorOn && !rotator_);
    if (rotatorChanged) {
        startRotator();
        if (s.rotatorOn != old.rotatorOn)
            emit rotatorSwitched(s.rotatorOn);
    }
    tick();
}

void DesktopStation::setRotatorOn(bool on)
{
    if (on == settings_.rotatorOn)
        return;
    StationSettings s = settings_;
    s.rotatorOn = on;
    apply(s);
    // The switch is a setting too: the next start keeps pointing, or not.
    StationSettings stored = StationSettings::load();
    stored.rotatorOn = on;
    stored.save();
}

void DesktopStation::chooseSonde(std::optional<unsigned> id) { followed_.choose(id); }

std::optional<formats::Station> DesktopStation::livePosition() const { return live_; }

formats::Station DesktopStation::position() const
{
    if (live_)
        return *live_;
    const DecoderParameters& p = decoder_.params;
    return {p.userLat.load(), p.userLon.load(), p.userAlt.load()};
}

outputs::PositionSource DesktopStation::positionSource() const
{
    std::weak_ptr<Shared> weak = shared_;
    return [weak]() -> std::optional<formats::Station> {
        const auto shared = weak.lock();
        if (!shared)
            return std::nullopt;
        std::lock_guard<std::mutex> lock(shared->mutex);
        return shared->position;
    };
}

QString DesktopStation::gpsText() const
{
    if (!gps_)
        return {};
    QString state;
    switch (gps_->state()) {
    case station::GpsdClient::State::Fix:
        state = tr("fix");
        break;
    case station::GpsdClient::State::NoFix:
        state = tr("no fix");
        break;
    case station::GpsdClient::State::Gone:
        state = tr("gpsd not reachable");
        break;
    case station::GpsdClient::State::Connecting:
        state = tr("connecting");
        break;
    }
    if (live_ && gps_->state() != station::GpsdClient::State::Fix)
        state += tr(", keeping the last good position");
    else if (!live_)
        state += tr(", typed-in position");
    return tr("GPS: %1").arg(state);
}

QString DesktopStation::rotatorText() const
{
    if (!rotator_)
        return {};
    return tr("Rotator: %1").arg(QString::fromStdString(rotator_->describe()));
}

void DesktopStation::tick()
{
    if (gps_) {
        if (const auto p = gps_->position(); p && p->timeS != appliedTimeS_) {
            appliedTimeS_ = p->timeS;
            // A 2D fix before any 3D one keeps the typed-in altitude.
            const float alt = p->altitudeKnown ? static_cast<float>(p->altitude) : decoder_.params.userAlt.load();
            live_ = formats::Station{static_cast<float>(p->latitude), static_cast<float>(p->longitude), alt};
            decoder_.liveStation.latitude = live_->latitude;
            decoder_.liveStation.longitude = live_->longitude;
            decoder_.liveStation.altitude = live_->altitude;
            decoder_.liveStation.on = 1;
            {
                std::lock_guard<std::mutex> lock(shared_->mutex);
                shared_->position = live_;
            }
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            if (trail_.isEmpty() || station::distanceM(trail_.last().latitude, trail_.last().longitude, p->latitude,
                                                       p->longitude) >= kTrailStepM)
                trail_.append({p->latitude, p->longitude, now});
            while (!trail_.isEmpty() && now - trail_.first().timeMs > kTrailMs)
                trail_.removeFirst();
            emit positionChanged();
        }
    }
    if (rotator_ && !live_ && settings_.positionFromGps)
        rotator_->followNothing();  // no station position yet: the typed one is not where the car is
    for (auto [label, text] : {std::pair{gpsLabel_, gpsText()}, std::pair{rotatorLabel_, rotatorText()}}) {
        if (!label)
            continue;
        label->setText(text);
        label->setVisible(!text.isEmpty());
    }
}

void DesktopStation::fixAccepted(const FlightFix& fix)
{
    if (!rotator_ || !fix.trusted || (liveInput_ && !liveInput_()))
        return;
    // With the position from the GPS, only once it has given one.
    if (settings_.positionFromGps && !live_)
        return;
    const double now = steadyNow();
    if (followed_.offer(fix.record.transmitterId, now))
        rotator_->follow({double(fix.record.azimuth), double(fix.record.elevation)}, now);
}

}  // namespace nimbra
