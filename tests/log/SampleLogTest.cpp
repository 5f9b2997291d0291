#include "log/LogReader.h"
#include "platform/FileIO.h"

#include <gtest/gtest.h>

#ifndef VELMO_SOURCE_DIR
#error VELMO_SOURCE_DIR must name the source folder
#endif

namespace {

// The sample log that ships in data/ must read in full: the demo and the local-log view use it.
TEST(SampleLog, ReadsEveryMessage)
{
    TMessageList list;
    ParseLog(ReadFileBytes(VELMO_SOURCE_DIR "/data/log.txt"), list, {});
    ASSERT_EQ(list.Count(), 12);
    EXPECT_EQ(list.Items(0).MID, "demo0001");
    EXPECT_LT(list.Items(0).LogTime, list.Last().LogTime);
}

} // namespace
