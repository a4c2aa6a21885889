// The hand-over queue and the UDP output: a full queue drops its oldest item and counts it; the
// chase-map output sends every fix, in order, to a real socket, and keeps going when sending fails.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "outputs/bounded_queue.h"
#include "outputs/output_set.h"
#include "outputs/udp_output.h"
#include "local_sockets.h"
#include "test_fixes.h"

namespace nimbra::outputs {
namespace {

using nlohmann::json;

std::vector<int> drain(BoundedQueue<int>& q)
{
    std::vector<int> items;
    while (auto item = q.tryPop())
        items.push_back(*item);
    return items;
}

TEST(BoundedQueue, KeepsTheNewestAndCountsWhatItDrops)
{
    BoundedQueue<int> q(3);
    for (int i = 1; i <= 5; ++i)
        q.push(i);
    EXPECT_EQ(q.size(), 3u);
    EXPECT_EQ(q.dropped(), 2u);
    ASSERT_EQ(q.tryPop(), 3);
    // Items given back go in front, in order; what no longer fits is the oldest, and is dropped.
    q.pushFront({2, 3});
    EXPECT_EQ(q.dropped(), 3u);
    EXPECT_EQ(drain(q), (std::vector<int>{3, 4, 5}));
    q.pushFront({7, 8});
    q.push(9);
    EXPECT_EQ(drain(q), (std::vector<int>{7, 8, 9}));
}

TEST(BoundedQueue, WaitEndsOnAnItemOrAWake)
{
    BoundedQueue<int> q(2);
    const auto start = Clock::now();
    std::thread pusher([&] { q.push(1); });
    q.waitUntil(start + std::chrono::seconds(30));
    pusher.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    q.tryPop();
    std::thread waker([&] { q.wake(); });
    q.waitUntil(Clock::now() + std::chrono::seconds(30));
    waker.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
}

TEST(BoundedQueue, AWorkerThatCannotDeliverSleepsDespiteQueuedItems)
{
    BoundedQueue<int> q(4);
    q.push(1);
    const auto start = Clock::now();
    q.waitForWake(start + std::chrono::milliseconds(200));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));
    std::thread waker([&] { q.wake(); });
    q.waitForWake(Clock::now() + std::chrono::seconds(30));
    waker.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
}

using test::UdpReceiver;

TEST(UdpOutput, EveryTrustedFixIsOneDatagramInOrder)
{
    UdpReceiver receiver;
    OutputConfig config;
    config.udp = HostPort{"127.0.0.1", receiver.port()};
    config.stationName = "hilltop";
    OutputSet set;
    std::string error;
    ASSERT_TRUE(set.start(config, "test", error)) << error;
    for (unsigned counter = 1200; counter < 1230; ++counter) {
        FlightFix fix = test::makeFix(counter);
        fix.trusted = counter != 1210;  // a fix that breaks the flight's continuity stays home
        set.publish(fix);
    }
    for (unsigned counter = 1200; counter < 1230; ++counter) {
        if (counter == 1210)
            continue;
        const std::string datagram = receiver.receive();
        ASSERT_FALSE(datagram.empty()) << counter;
        const json m = json::parse(datagram);
        EXPECT_EQ(m["frame"], counter);
        EXPECT_EQ(m["station"], "hilltop");
        // Motion is sent once the smoothing has settled (the 23rd fix of the transmitter).
        EXPECT_EQ(m["speed"].get<int>() >= 0, counter >= 1223) << counter;
    }
    set.beginFinish(5.0);
    set.stop();
    const auto statuses = set.statuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].sent, 29u);
    EXPECT_EQ(statuses[0].waiting, 0u);
    EXPECT_EQ(statuses[0].summary(), "UDP: 29 sent, 0 waiting");
}

TEST(UdpOutput, AllFixesGoOutWhenTheTrustCheckIsOff)
{
    UdpReceiver receiver;
    OutputConfig config;
    config.udp = HostPort{"127.0.0.1", receiver.port()};
    config.trustedOnly = false;
    OutputSet set;
    std::string error;
    ASSERT_TRUE(set.start(config, "test", error));
    FlightFix fix = test::makeFix(1200);
    fix.trusted = false;
    set.publish(fix);
    EXPECT_EQ(json::parse(receiver.receive())["frame"], 1200);
}

TEST(UdpOutput, AFailingSendIsReportedOnceAndCounted)
{
    // Port 0 cannot be sent to: every datagram fails at once, and the worker goes on.
    std::vector<std::string> lines;
    std::mutex m;
    UdpOutput udp(HostPort{"127.0.0.1", 0}, "t", "s", 100, [&](const std::string& line, bool problem) {
        std::lock_guard<std::mutex> lock(m);
        if (problem)
            lines.push_back(line);
    });
    for (unsigned counter = 1200; counter < 1205; ++counter)
        udp.accept(test::makeFix(counter), FixContext{"1A2B", false});
    udp.beginFinish(Clock::now() + std::chrono::seconds(20));
    udp.stop();
    const OutputStatus s = udp.status();
    EXPECT_EQ(s.failed, 5u);
    EXPECT_EQ(s.sent, 0u);
    EXPECT_TRUE(s.problem);
    EXPECT_EQ(s.summary(), "UDP: 0 sent, 0 waiting, 5 failed");
    std::lock_guard<std::mutex> lock(m);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("UDP: cannot send to 127.0.0.1:0 (", 0), 0u) << lines[0];
}

}  // namespace
}  // namespace nimbra::outputs
