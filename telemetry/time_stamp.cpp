#include "telemetry/time_stamp.h"


namespace nimbra {

namespace {

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Proleptic Gregorian date of a day number (days since 1970-01-01), by counting 400-year eras
// that start on 1 March, so the leap day falls at the end of each year.
void civilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day)
{
    days += 719468;  // days from 0000-03-01 to 1970-01-01
    const std::int64_t era = floorDiv(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;                                   // 0..146096
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;       // 0..399
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;                          // 0 = March
    day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

void formatTimeStamp(std::int64_t msSinceEpoch, char (&out)[kTimeStampSize])
{
    const std::int64_t seconds = floorDiv(msSinceEpoch, 1000);
    const std::int64_t days = floorDiv(seconds, 86400);
    const int secondOfDay = static_cast<int>(seconds - days * 86400);
    std::int64_t year = 0;
    int month = 1;
    int day = 1;
    civilFromDays(days, year, month, day);
    // The field has four digits; years outside 0..9999 are clamped rather than overflowing it.
    const int fourDigitYear = static_cast<int>(year < 0 ? 0 : (year > 9999 ? 9999 : year));

    // Written digit by digit: no printf, so no locale or time zone can touch it.
    char* p = out;
    const auto put2 = [&p](int v) {
        *p++ = static_cast<char>('0' + v / 10);
        *p++ = static_cast<char>('0' + v % 10);
    };
    put2(day);
    *p++ = ' ';
    for (int i = 0; i < 3; ++i)
        *p++ = kMonths[month - 1][i];
    *p++ = ' ';
    put2(fourDigitYear / 100);
    put2(fourDigitYear % 100);
    *p++ = ' ';
    put2(secondOfDay / 3600);
    *p++ = ':';
    put2(secondOfDay / 60 % 60);
    *p++ = ':';
    put2(secondOfDay % 60);
    *p = '\0';
}

}  // namespace nimbra
