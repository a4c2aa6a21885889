// The web page's state and its events: what the JSON says of a sonde, bounded tracks and logs,
// events made once for every client, and clients that stop reading or go away.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <thread>

#include "web/event_hub.h"
#include "web/station_state.h"

using nimbra::FlightFix;
using nimbra::web::EventHub;
using nimbra::web::StationState;

namespace {

FlightFix fixAt(unsigned id, double lat, double lon, float alt, bool trusted = true)
{
    FlightFix f;
    f.record.transmitterId = id;
    f.record.latitude = static_cast<float>(lat);
    f.record.longitude = static_cast<float>(lon);
    f.record.altitude = alt;
    f.record.timeMs = 1765000000000;
    f.record.ebN0Db = 13.25f;
    f.trusted = trusted;
    f.channel = 2;
    f.offsetHz = 120000.0;
    f.frequencyHz = 1680.12e6;
    f.phase = nimbra::FlightPhase::Ascent;
    f.prediction.valid = true;
    f.prediction.landing.latitude = 39.9;
    f.prediction.landing.longitude = -76.5;
    return f;
}

}  // namespace

TEST(StationState, TheSondesJsonHasWhatTheApiPromises)
{
    StationState s;
    std::vector<std::string> events;
    s.setEventSink([&](const std::string& name, const std::string&) { events.push_back(name); });
    s.setChannels({{2, 1680.12e6, true, 3600.0, 18.0, 13.0, 90, 10}});
    s.addFix(fixAt(0x1A2B, 39.75, -76.98, 1234.5f), "1A2B");
    const auto list = nlohmann::json::parse(s.sondesJson());
    ASSERT_EQ(list.size(), 1u);
    const auto& j = list[0];
    for (const char* key : {"serial", "frequency_mhz", "offset_hz", "time", "lat", "lon", "alt", "trusted", "phase",
                            "pred_lat", "pred_lon", "ascent_mps", "speed_kmh", "azimuth", "elevation", "range_km",
                            "ebn0_db", "decoded_share", "age_s"})
        EXPECT_TRUE(j.contains(key)) << key;
    EXPECT_EQ(j["serial"], "1A2B");
    EXPECT_DOUBLE_EQ(j["frequency_mhz"].get<double>(), 1680.12);
    EXPECT_EQ(j["phase"], "ascent");
    EXPECT_DOUBLE_EQ(j["decoded_share"].get<double>(), 0.9);
    EXPECT_DOUBLE_EQ(j["pred_lat"].get<double>(), 39.9);
    EXPECT_EQ(events, std::vector<std::string>{"fix"});
    // The table and status go out only when they change.
    s.tick();
    s.tick();
    EXPECT_EQ(std::count(events.begin(), events.end(), "sondes"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "status"), 1);
    const auto status = nlohmann::json::parse(s.statusJson());
    for (const char* key : {"device", "band", "outputs", "channels", "counters", "station"})
        EXPECT_TRUE(status.contains(key)) << key;
}

TEST(StationState, AnUntrustedFixNeverMovesASondeAndTracksAndLogsAreBounded)
{
    StationState s;
    s.addFix(fixAt(0x1A2B, 39.75, -76.98, 500.0f), "1A2B");
    s.addFix(fixAt(0x1A2B, 45.0, 10.0, 500.0f, false), "1A2B");
    auto j = nlohmann::json::parse(s.sondesJson())[0];
    EXPECT_NEAR(j["lat"].get<double>(), 39.75, 1e-5);
    for (std::size_t i = 0; i < StationState::kTrackPoints + 50; ++i)
        s.addFix(fixAt(0x1A2B, 39.75 + 1e-5 * double(i), -76.98, 500.0f), "1A2B");
    for (std::size_t i = 0; i < StationState::kLogLines + 20; ++i)
        s.log("line " + std::to_string(i));
    const auto snapshot = nlohmann::json::parse(s.snapshotJson());
    EXPECT_EQ(snapshot["tracks"]["1A2B"].size(), StationState::kTrackPoints);
    EXPECT_EQ(snapshot["log"].size(), StationState::kLogLines);
    EXPECT_NE(snapshot["log"].back().get<std::string>().find("line " + std::to_string(StationState::kLogLines + 19)),
              std::string::npos);
}

// A sonde not heard for an hour is dropped, on the clock of the fixes themselves: a recording
// decoded in minutes forgets its first sonde once its fixes are an hour past that sonde's last.
TEST(StationState, ASondeQuietForAnHourOnTheFixesClockIsForgotten)
{
    StationState s;
    s.addFix(fixAt(0x1A2B, 39.75, -76.98, 500.0f), "1A2B");
    FlightFix later = fixAt(0x2C3D, 39.8, -76.9, 800.0f);
    later.record.timeMs += static_cast<std::int64_t>(StationState::kForgetS * 1000.0) - 5000;
    s.addFix(later, "2C3D");
    s.tick();
    EXPECT_EQ(nlohmann::json::parse(s.sondesJson()).size(), 2u);
    later.record.timeMs += 10000;
    s.addFix(later, "2C3D");
    s.tick();
    const auto sondes = nlohmann::json::parse(s.sondesJson());
    ASSERT_EQ(sondes.size(), 1u);
    EXPECT_EQ(sondes[0]["serial"], "2C3D");
    EXPECT_FALSE(nlohmann::json::parse(s.snapshotJson())["tracks"].contains("1A2B"));
}

TEST(EventHub, EveryClientGetsEachEventOnceAndASlowOneOnlyLosesItsOwn)
{
    EventHub hub;
    const auto a = hub.subscribe(), b = hub.subscribe();
    for (std::size_t i = 0; i < EventHub::kQueue + 10; ++i)
        hub.publish("fix", "{\"n\":" + std::to_string(i) + "}");
    // a reads everything as it comes... after the fact here: the oldest went, and it is told.
    std::string event;
    bool reset = false;
    ASSERT_TRUE(hub.next(a, event, reset, 10));
    EXPECT_TRUE(reset);
    EXPECT_EQ(event, EventHub::format("fix", "{\"n\":10}"));
    ASSERT_TRUE(hub.next(a, event, reset, 10));
    EXPECT_FALSE(reset);
    // b, which never reads, holds no more than its queue, and publishing never waited on it.
    EXPECT_EQ(hub.dropped(), 20u);
    hub.unsubscribe(b);
    EXPECT_EQ(hub.clients(), 1u);
    // A client waiting for the next event wakes when it comes.
    std::thread waiter([&] {
        std::string e;
        bool r = false;
        EXPECT_TRUE(hub.next(a, e, r, 5000));
    });
    for (std::size_t i = 0; i < EventHub::kQueue; ++i)
        hub.next(a, event, reset, 0);
    hub.publish("log", "\"x\"");
    waiter.join();
    hub.stop();
    EXPECT_FALSE(hub.next(a, event, reset, 5000));
}
