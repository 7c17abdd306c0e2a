#include "sms/pdu_fields.h"

#include <cstdio>
#include <cstdlib>

namespace sms {

std::string SmsTimestamp::iso8601() const {
    const int minutes = std::abs(zoneQuarters) * 15;
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", year, month, day,
                  hour, minute, second, zoneQuarters < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

std::time_t SmsTimestamp::utcTime() const {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return timegm(&tm) - std::time_t(zoneQuarters) * 15 * 60;
}

}  // namespace sms
