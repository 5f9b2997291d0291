#include "platform/DateTime.h"

#include "platform/Errors.h"
#include "platform/StrUtils.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace {

constexpr int64_t kMsPerDay = 86'400'000;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil calendar algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

TDateFields CivilFromDays(int64_t z)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return { static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d) };
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Whole days and milliseconds of the day, with a rounding carry into the next day.
struct Split
{
    int64_t days;
    int64_t msOfDay;
};

Split SplitValue(TDateTime value)
{
    const double whole = std::trunc(value);
    auto days = static_cast<int64_t>(whole);
    auto ms = static_cast<int64_t>(std::llround(std::fabs(value - whole) * kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        days += 1;
    }
    return { days, ms };
}

TDateTime Combine(TDateTime date, TDateTime time)
{
    return date >= 0 ? date + time : date - time;
}

// A run of 1..maxDigits decimal digits at the front of text.
std::optional<int> TakeNumber(std::string_view& text, size_t minDigits, size_t maxDigits)
{
    size_t n = 0;
    while (n < text.size() && n < maxDigits + 1 && text[n] >= '0' && text[n] <= '9')
        ++n;
    if (n < minDigits || n > maxDigits)
        return std::nullopt;
    int value = 0;
    for (size_t i = 0; i < n; ++i)
        value = value * 10 + (text[i] - '0');
    text.remove_prefix(n);
    return value;
}

bool TakeChar(std::string_view& text, char c)
{
    if (text.empty() || text.front() != c)
        return false;
    text.remove_prefix(1);
    return true;
}

} // namespace

std::optional<TDateTime> TryEncodeDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1
        || day > DaysInMonth(year, month))
        return std::nullopt;
    return static_cast<TDateTime>(DaysFromCivil(year, month, day) - kEpochDays);
}

std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int millisecond)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59
        || millisecond < 0 || millisecond > 999)
        return std::nullopt;
    const int64_t ms = ((int64_t(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
    return static_cast<TDateTime>(ms) / kMsPerDay;
}

std::optional<TDateTime> TryEncodeDateTime(const TDateFields& date, const TTimeFields& time)
{
    const auto d = TryEncodeDate(date.year, date.month, date.day);
    const auto t = TryEncodeTime(time.hour, time.minute, time.second, time.millisecond);
    if (!d || !t)
        return std::nullopt;
    return Combine(*d, *t);
}

TDateFields DecodeDate(TDateTime value)
{
    return CivilFromDays(SplitValue(value).days + kEpochDays);
}

TTimeFields DecodeTime(TDateTime value)
{
    int64_t ms = SplitValue(value).msOfDay;
    TTimeFields t;
    t.millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    t.second = static_cast<int>(ms % 60);
    ms /= 60;
    t.minute = static_cast<int>(ms % 60);
    t.hour = static_cast<int>(ms / 60);
    return t;
}

TDateTime DateOf(TDateTime value)
{
    return static_cast<TDateTime>(SplitValue(value).days);
}

TDateTime TimeOf(TDateTime value)
{
    return static_cast<TDateTime>(SplitValue(value).msOfDay) / kMsPerDay;
}

TDateTime Now()
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local {};
    localtime_r(&ts.tv_sec, &local);
    const TDateFields date { local.tm_year + 1900, local.tm_mon + 1, local.tm_mday };
    // A leap second reads as the last second of its minute.
    const TTimeFields time { local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
        static_cast<int>(ts.tv_nsec / 1'000'000) };
    return TryEncodeDateTime(date, time).value_or(0.0);
}

std::string FormatShortDate(TDateTime value)
{
    const TDateFields d = DecodeDate(value);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d", d.year, d.month, d.day);
    return buffer;
}

std::string FormatLongTime(TDateTime value)
{
    const TTimeFields t = DecodeTime(value);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buffer;
}

std::optional<TDateTime> TryStrToDateTime(std::string_view text)
{
    std::string_view rest = TrimBlanks(text);
    TDateFields date;
    TTimeFields time;
    const auto year = TakeNumber(rest, 4, 4);
    if (!year || !TakeChar(rest, '/'))
        return std::nullopt;
    const auto month = TakeNumber(rest, 1, 2);
    if (!month || !TakeChar(rest, '/'))
        return std::nullopt;
    const auto day = TakeNumber(rest, 1, 2);
    if (!day)
        return std::nullopt;
    date = { *year, *month, *day };
    if (!rest.empty()) {
        const size_t before = rest.size();
        rest = TrimBlanks(rest);
        if (rest.size() == before)
            return std::nullopt; // the time must be set off by a blank
        const auto hour = TakeNumber(rest, 1, 2);
        if (!hour || !TakeChar(rest, ':'))
            return std::nullopt;
        const auto minute = TakeNumber(rest, 1, 2);
        if (!minute)
            return std::nullopt;
        time.hour = *hour;
        time.minute = *minute;
        if (TakeChar(rest, ':')) {
            const auto second = TakeNumber(rest, 1, 2);
            if (!second)
                return std::nullopt;
            time.second = *second;
        }
        if (!rest.empty())
            return std::nullopt;
    }
    return TryEncodeDateTime(date, time);
}

TDateTime StrToDateTime(std::string_view text)
{
    if (auto value = TryStrToDateTime(text))
        return *value;
    throw EConvertError::InvalidDateTime(std::string(text));
}
