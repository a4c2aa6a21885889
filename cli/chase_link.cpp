#include "cli/chase_link.h"

#include <chrono>

namespace nimbra::cli {

namespace {

constexpr double kRotatorNoteS = 30.0;

double steadyNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ChaseLink::ChaseLink(const CliOptions& o, NoteSink notes) : typedStation_(o.stationLat.has_value()), notes_(notes)
{
    if (o.chase.gpsd) {
        gpsd_ = std::make_unique<station::GpsdClient>(*o.chase.gpsd);
        gpsd_->setNoteSink(notes);
        gpsd_->start();
    }
    if (o.chase.rotator) {
        rotator_ = std::make_unique<station::Rotator>(*o.chase.rotator, o.chase.rotatorSettings);
        rotator_->setNoteSink(notes);
        rotator_->start();
        followed_.choose(o.chase.rotatorSonde);
    }
}

ChaseLink::~ChaseLink() { stop(); }

void ChaseLink::stop()
{
    if (rotator_)
        rotator_->stop();
    if (gpsd_)
        gpsd_->stop();
}

std::optional<formats::Station> ChaseLink::livePosition() const
{
    if (!gpsd_)
        return std::nullopt;
    const auto p = gpsd_->position();
    if (!p)
        return std::nullopt;
    return formats::Station{static_cast<float>(p->latitude), static_cast<float>(p->longitude),
                            static_cast<float>(p->altitude)};
}

bool ChaseLink::stationKnown() const { return typedStation_ || (gpsd_ && gpsd_->position()); }

void ChaseLink::update(DecodeSession& session)
{
    if (rotator_ && notes_) {
        const double now = steadyNow();
        const std::string state = rotator_->describe();
        if (state != rotatorShown_ && now - rotatorShownS_ >= kRotatorNoteS) {
            rotatorShown_ = state;
            rotatorShownS_ = now;
            notes_(state, false);
        }
    }
    if (!gpsd_)
        return;
    const auto p = gpsd_->position();
    if (!p || p->timeS == appliedTimeS_)
        return;
    appliedTimeS_ = p->timeS;
    // A 2D fix before any 3D one keeps the typed-in altitude.
    const float alt = p->altitudeKnown ? static_cast<float>(p->altitude) : session.params().userAlt.load();
    session.setStation(static_cast<float>(p->latitude), static_cast<float>(p->longitude), alt);
}

void ChaseLink::fixes(const std::vector<FlightFix>& fixes)
{
    if (!rotator_)
        return;
    if (!stationKnown()) {
        rotator_->followNothing();
        return;
    }
    // The newest trusted fix of the sonde followed.
    const double now = steadyNow();
    const FlightFix* newest = nullptr;
    for (const FlightFix& f : fixes)
        if (f.trusted && followed_.offer(f.record.transmitterId, now))
            newest = &f;
    if (newest)
        rotator_->follow({double(newest->record.azimuth), double(newest->record.elevation)}, now);
}

}  // namespace nimbra::cli
