// ChaseLink: what a moving or pointing station adds to nimbra-decode: the station's position from
// gpsd applied to every fix's look angles as it changes, and a rotator kept on the newest trusted
// fix.
//
// In:  the options (--station gpsd[...], --station LAT,LON,ALT, --rotator ...); the session; the
//      fixes as they are printed.
// Out: the live position for the network outputs; notes (the GPS's and the rotator's states, the
//      rotator's target and last reply at most every 30 s when they changed).
//      The rotator never moves without a station position (typed in, or the GPS's fix) and
//      follows trusted fixes only, of one sonde (followed_sonde.h).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/decode_session.h"
#include "cli/options.h"
#include "formats/track_documents.h"
#include "station/followed_sonde.h"
#include "station/gpsd_client.h"
#include "station/rotator.h"

namespace nimbra::cli {

class ChaseLink {
public:
    using NoteSink = std::function<void(const std::string& text, bool problem)>;

    ChaseLink(const CliOptions& options, NoteSink notes);
    ~ChaseLink();

    bool any() const { return gpsd_ || rotator_; }
    // The GPS's position (none before its first fix, or without gpsd).
    std::optional<formats::Station> livePosition() const;
    // Called from the decoding loop: a new GPS position goes to the session.
    void update(DecodeSession& session);
    void fixes(const std::vector<FlightFix>& fixes);
    void stop();

private:
    bool stationKnown() const;

    bool typedStation_;
    NoteSink notes_;
    std::unique_ptr<station::GpsdClient> gpsd_;
    std::unique_ptr<station::Rotator> rotator_;
    station::FollowedSonde followed_;
    double appliedTimeS_ = -1.0;
    std::string rotatorShown_;  // the rotator's state as last noted
    double rotatorShownS_ = -1e9;
};

}  // namespace nimbra::cli
