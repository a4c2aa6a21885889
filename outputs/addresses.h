// Addresses of the network outputs as a user types them: HOST:PORT for the chase-map datagrams,
// mqtt://[USER[:PASSWORD]@]HOST[:PORT][/PREFIX] for the broker, http(s) URLs for the telemetry
// service, and the station name that becomes one level of an MQTT topic.
//
// In:  text from the command line or the desktop program's Outputs dialog.
// Out: the parts, or false with a one-line message saying what is wrong. Nothing is resolved or
//      contacted here: a host name is checked for its form only.
#pragma once

#include <string>

namespace nimbra::outputs {

struct HostPort {
    std::string host;  // name, IPv4 address, or IPv6 address without brackets
    int port = 0;
};

struct MqttAddress {
    std::string host;
    int port = 1883;
    std::string prefix = "nimbra";  // first topic level(s), without a trailing '/'
    std::string user;               // empty: connect without a user name
    std::string password;
};

bool parseHostPort(const std::string& text, HostPort& out, std::string& error);
bool parseMqttUrl(const std::string& text, MqttAddress& out, std::string& error);
// An http:// or https:// URL with a host (libcurl's parser decides what is well formed).
bool checkHttpUrl(const std::string& text, std::string& error);
// A name usable as one MQTT topic level: not empty, no '/', '+', '#' or control characters.
bool checkTopicLevel(const std::string& text, std::string& error);

// `host:port`, with brackets around an IPv6 address.
std::string describe(const HostPort& address);

}  // namespace nimbra::outputs
