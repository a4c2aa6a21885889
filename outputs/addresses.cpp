#include "outputs/addresses.h"

#include <cctype>
#include <curl/curl.h>

namespace nimbra::outputs {

namespace {

bool parsePort(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 65535)
        return false;
    port = v;
    return true;
}

// Host names and IPv4 addresses: letters, digits, '-', '.' and '_'; IPv6 between brackets:
// hex digits, ':' and '.'.
bool validHost(const std::string& host, bool bracketed)
{
    if (host.empty() || host.size() > 253)
        return false;
    for (char c : host) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool ok = bracketed ? (std::isxdigit(u) || c == ':' || c == '.')
                                  : (std::isalnum(u) || c == '-' || c == '.' || c == '_');
        if (!ok)
            return false;
    }
    return true;
}

// Splits "host:port" or "[v6]:port"; a missing port leaves `port` empty.
bool splitHostPort(const std::string& text, std::string& host, std::string& port, bool& bracketed)
{
    bracketed = !text.empty() && text[0] == '[';
    if (bracketed) {
        const std::size_t close = text.find(']');
        if (close == std::string::npos)
            return false;
        host = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty() && rest[0] != ':')
            return false;
        port = rest.empty() ? std::string() : rest.substr(1);
        if (!rest.empty() && port.empty())
            return false;
        return true;
    }
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        host = text;
        port.clear();
        return true;
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    return !port.empty();
}

// %XX escapes of the user-information part of a URL.
std::string percentDecoded(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

bool parseHostPort(const std::string& text, HostPort& out, std::string& error)
{
    std::string host, port;
    bool bracketed = false;
    int portNumber = 0;
    if (!splitHostPort(text, host, port, bracketed) || port.empty() || !validHost(host, bracketed) ||
        !parsePort(port, portNumber)) {
        error = "expected HOST:PORT, for example 127.0.0.1:55673 (a port from 1 to 65535), got '" + text + "'";
        return false;
    }
    out.host = host;
    out.port = portNumber;
    return true;
}

bool parseMqttUrl(const std::string& text, MqttAddress& out, std::string& error)
{
    const std::string scheme = "mqtt://";
    auto fail = [&](const std::string& why) {
        error = "expected mqtt://HOST[:PORT][/PREFIX], for example mqtt://127.0.0.1:1883/nimbra (" + why +
                "), got '" + text + "'";
        return false;
    };
    if (text.compare(0, scheme.size(), scheme) != 0)
        return fail("it starts with mqtt://");
    std::string rest = text.substr(scheme.size());
    MqttAddress a;
    const std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    if (slash != std::string::npos) {
        a.prefix = rest.substr(slash + 1);
        while (!a.prefix.empty() && a.prefix.back() == '/')
            a.prefix.pop_back();
        if (a.prefix.empty())
            a.prefix = "nimbra";
        for (char c : a.prefix)
            if (c == '+' || c == '#' || static_cast<unsigned char>(c) < 0x20)
                return fail("the prefix is a topic without + or #");
        if (a.prefix.find("//") != std::string::npos)
            return fail("the prefix has an empty topic level");
    }
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
        const std::size_t colon = userInfo.find(':');
        a.user = percentDecoded(userInfo.substr(0, colon));
        if (colon != std::string::npos)
            a.password = percentDecoded(userInfo.substr(colon + 1));
        if (a.user.empty())
            return fail("a user name before '@'");
    }
    std::string host, port;
    bool bracketed = false;
    if (!splitHostPort(authority, host, port, bracketed) || !validHost(host, bracketed))
        return fail("a host name or address");
    if (!port.empty() && !parsePort(port, a.port))
        return fail("a port from 1 to 65535");
    a.host = host;
    out = a;
    return true;
}

bool checkHttpUrl(const std::string& text, std::string& error)
{
    auto fail = [&]() {
        error = "expected an http:// or https:// URL, for example https://api.v2.sondehub.org/sondes/telemetry, got '" +
                text + "'";
        return false;
    };
    if (text.compare(0, 7, "http://") != 0 && text.compare(0, 8, "https://") != 0)
        return fail();
    for (char c : text)
        if (static_cast<unsigned char>(c) <= 0x20)
            return fail();
    CURLU* url = curl_url();
    if (!url)
        return fail();
    bool ok = curl_url_set(url, CURLUPART_URL, text.c_str(), 0) == CURLUE_OK;
    char* host = nullptr;
    ok = ok && curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK && host && host[0] != '\0';
    curl_free(host);
    curl_url_cleanup(url);
    return ok ? true : fail();
}

bool checkTopicLevel(const std::string& text, std::string& error)
{
    bool ok = !text.empty();
    for (char c : text)
        ok = ok && c != '/' && c != '+' && c != '#' && static_cast<unsigned char>(c) >= 0x20;
    if (!ok)
        error = "expected a name without '/', '+' or '#', got '" + text + "'";
    return ok;
}

std::string describe(const HostPort& address)
{
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

}  // namespace nimbra::outputs
