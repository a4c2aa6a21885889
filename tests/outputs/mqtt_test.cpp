// The MQTT output against a real mosquitto broker (started by the CTest fixture; its port is in
// $NIMBRA_TEST_BROKER_DIR/port), read by a libmosquitto subscriber: topics, QoS 1, payloads as
// --format jsonl prints them, the retained last fix; and a broker that is not there.
#include <gtest/gtest.h>
#include <mosquitto.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "formats/fix_format.h"
#include "outputs/mqtt_output.h"
#include "local_sockets.h"
#include "test_fixes.h"

namespace nimbra::outputs {
namespace {

int brokerPort()
{
    const char* dir = std::getenv("NIMBRA_TEST_BROKER_DIR");
    if (!dir)
        return 0;
    std::ifstream in(std::string(dir) + "/port");
    int port = 0;
    in >> port;
    return port;
}

struct Received {
    std::string topic, payload;
    bool retained;
};

class Subscriber {
public:
    Subscriber(int port, const std::string& topic)
    {
        mosquitto_lib_init();
        client_ = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* me = static_cast<Subscriber*>(self);
            std::lock_guard<std::mutex> lock(me->mutex_);
            me->messages_.push_back(Received{m->topic, std::string(static_cast<const char*>(m->payload),
                                                                   static_cast<std::size_t>(m->payloadlen)),
                                             m->retain});
        });
        mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Subscriber*>(self)->subscribed_ = true;
        });
        EXPECT_EQ(mosquitto_connect(client_, "127.0.0.1", port, 30), MOSQ_ERR_SUCCESS);
        EXPECT_EQ(mosquitto_subscribe(client_, nullptr, topic.c_str(), 1), MOSQ_ERR_SUCCESS);
        mosquitto_loop_start(client_);
        for (int i = 0; i < 500 && !subscribed_; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~Subscriber()
    {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        mosquitto_destroy(client_);
    }
    std::vector<Received> waitFor(std::size_t count)
    {
        for (int i = 0; i < 1000; ++i) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (messages_.size() >= count)
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

private:
    mosquitto* client_ = nullptr;
    std::mutex mutex_;
    std::vector<Received> messages_;
    std::atomic<bool> subscribed_{false};
};

std::string payloadOf(const FlightFix& fix)
{
    std::string line = formats::jsonLine(fix);
    line.pop_back();
    return line;
}

TEST(MqttOutput, FixesAndTheRetainedLastFixInOrder)
{
    const int port = brokerPort();
    ASSERT_GT(port, 0) << "no broker: run through ctest (fixture outputs_broker)";
    const std::string prefix = "test" + std::to_string(::getpid()) + "/a";
    Subscriber all(port, prefix + "/#");
    MqttAddress address;
    address.host = "127.0.0.1";
    address.port = port;
    address.prefix = prefix;
    MqttOutput mqtt(address, "hilltop", 1000, nullptr);
    std::vector<FlightFix> fixes;
    for (unsigned counter = 1200; counter < 1240; ++counter) {
        fixes.push_back(test::makeFix(counter, 39.75f + 0.001f * float(counter - 1200)));
        mqtt.accept(fixes.back(), FixContext{"1A2B", false});
    }
    mqtt.beginFinish(Clock::now() + std::chrono::seconds(20));
    mqtt.stop();
    EXPECT_EQ(mqtt.status().sent, 40u);
    EXPECT_EQ(mqtt.status().waiting, 0u);

    const auto received = all.waitFor(80);
    ASSERT_EQ(received.size(), 80u);
    std::size_t next = 0;
    for (const Received& r : received) {
        if (r.topic == prefix + "/hilltop/1A2B/fix") {
            ASSERT_LT(next, fixes.size());
            EXPECT_EQ(r.payload, payloadOf(fixes[next]));
            ++next;
        } else {
            EXPECT_EQ(r.topic, prefix + "/hilltop/1A2B/last");
        }
    }
    EXPECT_EQ(next, fixes.size());

    // A subscriber that comes later gets the last fix, retained.
    Subscriber late(port, prefix + "/+/+/last");
    const auto last = late.waitFor(1);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_TRUE(last[0].retained);
    EXPECT_EQ(last[0].payload, payloadOf(fixes.back()));
}

TEST(MqttOutput, WithoutABrokerFixesWaitAndTheStateIsReportedOnce)
{
    const int port = test::refusingTcpPort();
    std::vector<std::string> lines;
    std::mutex m;
    MqttAddress address;
    address.host = "127.0.0.1";
    address.port = port;
    MqttOutput mqtt(address, "s", 5, [&](const std::string& line, bool) {
        std::lock_guard<std::mutex> lock(m);
        lines.push_back(line);
    });
    for (unsigned counter = 1200; counter < 1208; ++counter)
        mqtt.accept(test::makeFix(counter), FixContext{"1A2B", false});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // two or three attempts
    mqtt.beginFinish(Clock::now() + std::chrono::milliseconds(100));
    mqtt.stop();
    const OutputStatus s = mqtt.status();
    EXPECT_EQ(s.sent, 0u);
    EXPECT_EQ(s.waiting, 5u);
    EXPECT_EQ(s.dropped, 3u);
    EXPECT_TRUE(s.problem);
    std::lock_guard<std::mutex> lock(m);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "MQTT: connecting to 127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(lines[1].rfind("MQTT: cannot connect to 127.0.0.1:" + std::to_string(port), 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("; retrying"), std::string::npos) << lines[1];
}

}  // namespace
}  // namespace nimbra::outputs
