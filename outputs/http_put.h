// HttpPut: HTTP PUT requests through libcurl, as the SondeHub network takes them: a JSON body,
// gzip-compressed for telemetry, with a Date header (the network corrects receiver clocks with
// it) and a User-Agent naming this program and its version.
//
// In:  the URL, the body, whether to compress it, and a test asked during the transfer that
//      cuts the request short (a run that must end).
// Out: the HTTP status and the server's text, or status 0 and what went wrong on the way.
//
// One object per worker thread; the connection is kept between requests.
#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace nimbra::outputs {

struct HttpAnswer {
    long status = 0;    // 0: no answer (see error)
    std::string text;   // the server's text, at most 4 KB
    std::string error;  // why there was no answer
};

class HttpPut {
public:
    HttpPut();
    ~HttpPut();
    HttpPut(const HttpPut&) = delete;
    HttpPut& operator=(const HttpPut&) = delete;

    HttpAnswer put(const std::string& url, const std::string& body, bool gzipBody,
                   const std::function<bool()>& cancelled);

private:
    void* curl_ = nullptr;
};

// The body as a gzip member (RFC 1952).
std::string gzipCompressed(const std::string& data);
// "Sun, 06 Nov 1994 08:49:37 GMT" (RFC 7231 IMF-fixdate).
std::string httpDate(std::time_t t);

}  // namespace nimbra::outputs
