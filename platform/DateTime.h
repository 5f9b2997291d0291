#pragma once

#include <optional>
#include <string>
#include <string_view>

// Local date and time without a zone: days since 1899-12-30, with the time of day as the
// fraction (0.5 is noon). Dates before the epoch keep the time of day as a positive fraction
// below the day's negative number (-1.25 is 1899-12-29 06:00), so day and time decode
// independently of the sign.
using TDateTime = double;

struct TDateFields
{
    int year = 0;
    int month = 0;
    int day = 0;
    bool operator==(const TDateFields&) const = default;
};

struct TTimeFields
{
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    bool operator==(const TTimeFields&) const = default;
};

// Year 1-9999, month 1-12, day within the month; nullopt otherwise.
std::optional<TDateTime> TryEncodeDate(int year, int month, int day);
// Hour 0-23, minute and second 0-59, millisecond 0-999; nullopt otherwise.
std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int millisecond = 0);
// Both parts; nullopt when either is invalid.
std::optional<TDateTime> TryEncodeDateTime(const TDateFields& date, const TTimeFields& time);

TDateFields DecodeDate(TDateTime value);
TTimeFields DecodeTime(TDateTime value);

TDateTime DateOf(TDateTime value); // the day, time of day dropped
TDateTime TimeOf(TDateTime value); // the time of day alone, as a fraction of a day

// The local clock, to the millisecond.
TDateTime Now();

// The Japanese system formats: short date "yyyy/mm/dd", long time "hh:nn:ss" (24 hours).
std::string FormatShortDate(TDateTime value);
std::string FormatLongTime(TDateTime value);

// Reads "yyyy/m/d", optionally followed by blanks and "h:n" or "h:n:s" (one or two digits each,
// a four-digit year), with blanks allowed around the whole. Throws EConvertError
// "'%s' is not a valid date and time" for anything else, including an impossible date or time
// (month 13, day 32, 24:00:00).
TDateTime StrToDateTime(std::string_view text);
std::optional<TDateTime> TryStrToDateTime(std::string_view text);
