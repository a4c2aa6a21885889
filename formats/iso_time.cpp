#include "formats/iso_time.h"

#include <cstdio>
#include <ctime>

namespace nimbra::formats {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int digitsAt(const std::string& s, std::size_t pos, std::size_t count)
{
    if (pos + count > s.size())
        return -1;
    int v = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = s[pos + i];
        if (c < '0' || c > '9')
            return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

}  // namespace

std::optional<std::int64_t> parseIsoTime(const std::string& s)
{
    // YYYY-MM-DDTHH:MM:SS[.fff][Z|+HH:MM|-HH:MM]
    const int year = digitsAt(s, 0, 4), month = digitsAt(s, 5, 2), day = digitsAt(s, 8, 2);
    const int hour = digitsAt(s, 11, 2), minute = digitsAt(s, 14, 2), second = digitsAt(s, 17, 2);
    if (s.size() < 19 || year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 ||
        s[4] != '-' || s[7] != '-' || (s[10] != 'T' && s[10] != 't' && s[10] != ' ') ||
        s[13] != ':' || s[16] != ':')
        return std::nullopt;
    static const int monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 ||
        day > monthDays[month - 1] + (month == 2 && isLeap(year) ? 1 : 0) || hour > 23 ||
        minute > 59 || second > 60)
        return std::nullopt;
    std::size_t pos = 19;
    std::int64_t ms = 0;
    if (pos < s.size() && (s[pos] == '.' || s[pos] == ',')) {
        ++pos;
        int scale = 100, digits = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            ms += (s[pos] - '0') * scale;
            scale /= 10;
            ++pos;
            ++digits;
        }
        if (digits == 0)
            return std::nullopt;
    }
    std::int64_t offsetMinutes = 0;
    if (pos < s.size()) {
        if ((s[pos] == 'Z' || s[pos] == 'z') && pos + 1 == s.size()) {
            ++pos;
        } else if (s[pos] == '+' || s[pos] == '-') {
            const int oh = digitsAt(s, pos + 1, 2);
            if (oh < 0)
                return std::nullopt;
            int om = -1;
            std::size_t endPos = pos + 3;
            if (endPos == s.size()) {
                om = 0;
            } else if (s[endPos] == ':') {
                om = digitsAt(s, endPos + 1, 2);
                endPos += 3;
            } else {
                om = digitsAt(s, endPos, 2);
                endPos += 2;
            }
            if (om < 0 || oh > 23 || om > 59 || endPos != s.size())
                return std::nullopt;
            offsetMinutes = (s[pos] == '-' ? -1 : 1) * (oh * 60 + om);
            pos = endPos;
        } else {
            return std::nullopt;
        }
    }
    if (pos != s.size())
        return std::nullopt;
    const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second - offsetMinutes * 60;
    return seconds * 1000 + ms;
}

std::string formatIsoTime(std::int64_t ms)
{
    std::int64_t seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string formatIsoTimeMicros(std::int64_t ms)
{
    const std::int64_t fraction = ((ms % 1000) + 1000) % 1000;
    std::string text = formatIsoTime(ms - fraction);
    char buf[16];
    std::snprintf(buf, sizeof buf, ".%03d000Z", static_cast<int>(fraction));
    text.pop_back();  // the 'Z'
    return text + buf;
}

}  // namespace nimbra::formats
