#include "platform/DateTime.h"

#include "platform/Errors.h"

#include <gtest/gtest.h>

namespace {

TEST(DateTime, KnownSerialNumbers)
{
    EXPECT_EQ(*TryEncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(*TryEncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(*TryEncodeDate(2000, 1, 1), 36526);
    EXPECT_EQ(*TryEncodeDate(1899, 12, 29), -1);
    EXPECT_EQ(*TryEncodeTime(12, 0, 0), 0.5);
    EXPECT_EQ(*TryEncodeTime(6, 0, 0), 0.25);
    // Before the epoch the time of day counts away from zero: 1899-12-29 06:00 is -1.25.
    EXPECT_EQ(*TryEncodeDateTime({ 1899, 12, 29 }, { 6, 0, 0, 0 }), -1.25);
}

TEST(DateTime, RoundTripsEveryFieldAcrossTheRange)
{
    const TDateFields dates[] = { { 1, 1, 1 }, { 1899, 12, 29 }, { 1899, 12, 30 }, { 1900, 2, 28 },
        { 2000, 2, 29 }, { 2004, 12, 31 }, { 2026, 12, 8 }, { 9999, 12, 31 } };
    const TTimeFields times[]
        = { { 0, 0, 0, 0 }, { 12, 34, 56, 0 }, { 23, 59, 59, 999 }, { 0, 0, 0, 1 } };
    for (const auto& d : dates) {
        for (const auto& t : times) {
            const TDateTime v = *TryEncodeDateTime(d, t);
            EXPECT_EQ(DecodeDate(v), d) << v;
            EXPECT_EQ(DecodeTime(v), t) << v;
            EXPECT_EQ(DecodeDate(DateOf(v)), d);
            EXPECT_EQ(DecodeTime(TimeOf(v)), t);
        }
    }
}

TEST(DateTime, RejectsImpossibleFields)
{
    EXPECT_FALSE(TryEncodeDate(2004, 13, 1));
    EXPECT_FALSE(TryEncodeDate(2004, 0, 1));
    EXPECT_FALSE(TryEncodeDate(2004, 1, 32));
    EXPECT_FALSE(TryEncodeDate(2003, 2, 29));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0));
    EXPECT_FALSE(TryEncodeTime(0, 0, 60));
    EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29));
}

TEST(DateTime, RoundingCarriesIntoTheNextDay)
{
    const TDateTime almost = *TryEncodeDate(2004, 12, 31) + 0.99999999999;
    EXPECT_EQ(DecodeDate(almost), (TDateFields { 2005, 1, 1 }));
    EXPECT_EQ(DecodeTime(almost), (TTimeFields { 0, 0, 0, 0 }));
}

TEST(DateTime, FixedFormats)
{
    const TDateTime v = *TryEncodeDateTime({ 2004, 6, 1 }, { 9, 5, 7, 0 });
    EXPECT_EQ(FormatShortDate(v), "2004/06/01");
    EXPECT_EQ(FormatLongTime(v), "09:05:07");
}

TEST(DateTime, StrToDateTimeAcceptsTheLocaleForms)
{
    const struct
    {
        const char* text;
        TDateFields date;
        TTimeFields time;
    } cases[] = {
        { "2004/05/06 12:34:56", { 2004, 5, 6 }, { 12, 34, 56, 0 } },
        { "2004/06/01", { 2004, 6, 1 }, {} },
        { "2004/06/01 09:00", { 2004, 6, 1 }, { 9, 0, 0, 0 } },
        { "2004/6/1 9:0:0", { 2004, 6, 1 }, { 9, 0, 0, 0 } },
        { "  2004/06/01   23:59:59 ", { 2004, 6, 1 }, { 23, 59, 59, 0 } },
    };
    for (const auto& c : cases) {
        const TDateTime v = StrToDateTime(c.text);
        EXPECT_EQ(DecodeDate(v), c.date) << c.text;
        EXPECT_EQ(DecodeTime(v), c.time) << c.text;
    }
}

TEST(DateTime, StrToDateTimeRejectsWithTheConversionMessage)
{
    for (const char* text : { "", "2004/13/01 00:00:00", "2004/01/32", "2004/01/01 24:00:00",
             "2004/01/01 00:60", "04/01/01", "2004-01-01", "2004/01/01T00:00", "2004/01/0100:00",
             "2004/01/01 00:00:00:00", "2004/001/01", "2004/01/01 12",
             "2004/01/01 12:", "20040101" }) {
        try {
            StrToDateTime(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.what(), "'" + std::string(text) + "' is not a valid date and time");
        }
    }
}

TEST(DateTime, NowIsAPlausibleLocalTime)
{
    const TDateTime now = Now();
    EXPECT_GT(now, *TryEncodeDate(2020, 1, 1));
    EXPECT_LT(now, *TryEncodeDate(2200, 1, 1));
}

} // namespace
