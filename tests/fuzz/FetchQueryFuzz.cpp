// The /fetchlog.cgi query for any request the dialog can make (any count, any valid dates and
// times): never a crash or an overflow, and always one of the two query forms in plain digits.

#include "log/LogRequest.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Reads the next few bytes as a number; zero once the input runs out.
struct Reader
{
    const uint8_t* data;
    size_t size;
    int32_t Next()
    {
        int32_t value = 0;
        const size_t n = size < 4 ? size : 4;
        std::memcpy(&value, data, n);
        data += n;
        size -= n;
        return value;
    }
};

TDateTime Moment(Reader& in)
{
    const int year = 1 + std::abs(in.Next() % 9999);
    const auto date
        = TryEncodeDate(year, 1 + std::abs(in.Next() % 12), 1 + std::abs(in.Next() % 31));
    const auto time = TryEncodeTime(std::abs(in.Next() % 24), std::abs(in.Next() % 60),
        std::abs(in.Next() % 60), std::abs(in.Next() % 1000));
    return date.value_or(0) + time.value_or(0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in { data, size };
    TLogRequest request;
    request.choice = static_cast<TLogChoice>(std::abs(in.Next() % 3));
    request.unit = static_cast<TTimeUnit>(std::abs(in.Next() % 4));
    request.count = in.Next();
    request.firstDate = Moment(in);
    request.lastDate = Moment(in);
    request.startDate = Moment(in);
    request.startTime = Moment(in);
    const std::string query = FetchQuery(request, Moment(in));
    const bool recent = query.starts_with("?recent=");
    if (!recent && !query.starts_with("?year_lo="))
        std::abort();
    if (query.find_first_not_of("?recent=year_lomnthdi&-0123456789") != std::string::npos)
        std::abort();
    if (recent && request.choice == TLogChoice::From && query.find('-') != std::string::npos)
        std::abort();
    return 0;
}
