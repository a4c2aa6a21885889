// Addresses as users type them: what is accepted, what each part becomes, and the malformed
// text that must be refused before a run starts.
#include <gtest/gtest.h>

#include "outputs/addresses.h"
#include "outputs/sonde_identity.h"
#include "outputs/sondehub_telemetry.h"

namespace nimbra::outputs {
namespace {

TEST(Addresses, HostPortAcceptsNamesAddressesAndBrackets)
{
    HostPort a;
    std::string error;
    ASSERT_TRUE(parseHostPort("127.0.0.1:55673", a, error));
    EXPECT_EQ(a.host, "127.0.0.1");
    EXPECT_EQ(a.port, 55673);
    ASSERT_TRUE(parseHostPort("chase-laptop.local:1", a, error));
    EXPECT_EQ(a.host, "chase-laptop.local");
    EXPECT_EQ(a.port, 1);
    ASSERT_TRUE(parseHostPort("[::1]:65535", a, error));
    EXPECT_EQ(a.host, "::1");
    EXPECT_EQ(describe(a), "[::1]:65535");
    ASSERT_TRUE(parseHostPort("192.168.1.255:55673", a, error));
}

TEST(Addresses, HostPortRefusesMalformedText)
{
    HostPort a;
    for (const char* text : {"", "localhost", "localhost:", ":55673", "host:0", "host:65536", "host:12a",
                             "host:-5", "ho st:1", "[::1:5", "[::1]5", "[]:5", "host:99999999999"}) {
        std::string error;
        EXPECT_FALSE(parseHostPort(text, a, error)) << text;
        EXPECT_NE(error.find("HOST:PORT"), std::string::npos) << text;
    }
}

TEST(Addresses, MqttUrlParts)
{
    MqttAddress a;
    std::string error;
    ASSERT_TRUE(parseMqttUrl("mqtt://broker.lan", a, error));
    EXPECT_EQ(a.host, "broker.lan");
    EXPECT_EQ(a.port, 1883);
    EXPECT_EQ(a.prefix, "nimbra");
    ASSERT_TRUE(parseMqttUrl("mqtt://127.0.0.1:1884/sondes/east/", a, error));
    EXPECT_EQ(a.port, 1884);
    EXPECT_EQ(a.prefix, "sondes/east");
    ASSERT_TRUE(parseMqttUrl("mqtt://station:p%40ss@[::1]:8883/x", a, error));
    EXPECT_EQ(a.user, "station");
    EXPECT_EQ(a.password, "p@ss");
    EXPECT_EQ(a.host, "::1");
    EXPECT_EQ(a.port, 8883);
}

TEST(Addresses, MqttUrlRefusesMalformedText)
{
    MqttAddress a;
    for (const char* text : {"", "127.0.0.1:1883", "http://broker", "mqtt://", "mqtt://:1883", "mqtt://h:0",
                             "mqtt://h:70000", "mqtt://h/a+b", "mqtt://h/a/#", "mqtt://h/a//b", "mqtt://@h",
                             "mqtt://h:x"}) {
        std::string error;
        EXPECT_FALSE(parseMqttUrl(text, a, error)) << text;
        EXPECT_NE(error.find("mqtt://HOST"), std::string::npos) << text;
    }
}

TEST(Addresses, HttpUrls)
{
    std::string error;
    EXPECT_TRUE(checkHttpUrl("https://api.v2.sondehub.org/sondes/telemetry", error));
    EXPECT_TRUE(checkHttpUrl("http://127.0.0.1:8080/", error));
    for (const char* text : {"", "ftp://host/", "http://", "https://:80/", "http://exa mple/", "api.v2.sondehub.org",
                             "http://host:99999/"})
        EXPECT_FALSE(checkHttpUrl(text, error)) << text;
}

TEST(Addresses, TopicLevelsAndIdentity)
{
    std::string error;
    EXPECT_TRUE(checkTopicLevel("station-1", error));
    for (const char* text : {"", "a/b", "a+b", "a#", "tab\there"})
        EXPECT_FALSE(checkTopicLevel(text, error)) << text;
    EXPECT_TRUE(checkIdentityText("MK-{id}", true, error));
    EXPECT_FALSE(checkIdentityText("a/{id}", true, error));
    EXPECT_FALSE(checkIdentityText("", false, error));
    EXPECT_TRUE(checkIdentityText("Mark IIa", false, error));
}

TEST(Addresses, ListenerEndpointBesideTheTelemetryEndpoint)
{
    EXPECT_EQ(listenerUrlFor("https://api.v2.sondehub.org/sondes/telemetry"), "https://api.v2.sondehub.org/listeners");
    EXPECT_EQ(listenerUrlFor("http://127.0.0.1:8080/"), "http://127.0.0.1:8080/listeners");
    EXPECT_EQ(listenerUrlFor("http://127.0.0.1:8080"), "http://127.0.0.1:8080/listeners");
    EXPECT_EQ(listenerUrlFor("http://h/api/upload?x=1"), "http://h/api/listeners");
}

}  // namespace
}  // namespace nimbra::outputs
