#include "outputs/http_put.h"

#include <algorithm>
#include <cstdio>
#include <curl/curl.h>
#include <mutex>
#include <stdexcept>
#include <zlib.h>

#include "outputs/software.h"

namespace nimbra::outputs {

namespace {

constexpr std::size_t kMaxAnswerText = 4096;

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* text = static_cast<std::string*>(user);
    const std::size_t n = size * count;
    if (text->size() < kMaxAnswerText)
        text->append(data, std::min(n, kMaxAnswerText - text->size()));
    return n;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* cancelled = static_cast<const std::function<bool()>*>(user);
    return (*cancelled && (*cancelled)()) ? 1 : 0;
}

}  // namespace

HttpPut::HttpPut()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    curl_ = curl_easy_init();
}

HttpPut::~HttpPut()
{
    if (curl_)
        curl_easy_cleanup(static_cast<CURL*>(curl_));
}

HttpAnswer HttpPut::put(const std::string& url, const std::string& body, bool gzipBody,
                        const std::function<bool()>& cancelled)
{
    HttpAnswer answer;
    CURL* curl = static_cast<CURL*>(curl_);
    if (!curl) {
        answer.error = "libcurl could not be started";
        return answer;
    }
    const std::string payload = gzipBody ? gzipCompressed(body) : body;
    const std::string date = "Date: " + httpDate(std::time(nullptr));
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Content-Type: application/json");
    headers = curl_slist_append(headers, "Accept: text/plain");
    headers = curl_slist_append(headers, date.c_str());
    if (gzipBody)
        headers = curl_slist_append(headers, "Content-Encoding: gzip");
    // No "Expect: 100-continue" round trip before each batch.
    headers = curl_slist_append(headers, "Expect:");

    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "PUT");
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, payload.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(payload.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.text);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &cancelled);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");

    const CURLcode rc = curl_easy_perform(curl);
    if (rc == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    } else {
        answer.error = curl_easy_strerror(rc);
        answer.text.clear();
    }
    curl_slist_free_all(headers);
    return answer;
}

std::string gzipCompressed(const std::string& data)
{
    z_stream z{};
    // 15 + 16: a gzip header and trailer around the deflate stream.
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib could not be started");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("zlib could not compress the body");
    return out;
}

std::string httpDate(std::time_t t)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[tm.tm_wday], tm.tm_mday,
                  months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

}  // namespace nimbra::outputs
