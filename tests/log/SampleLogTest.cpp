#include "log/LogReader.h"
#include "platform/FileIO.h"
#include "render/SsParser.h"

#include <gtest/gtest.h>

#ifndef VELMO_SOURCE_DIR
#error VELMO_SOURCE_DIR must name the source folder
#endif

namespace {

// The sample log that ships in data/ must read in full: the demo and the local-log view use it.
TEST(SampleLog, ReadsEveryMessage)
{
    TMessageList list;
    ParseLog(ReadFileBytes(VELMO_SOURCE_DIR "/data/log.txt"), list);
    ASSERT_EQ(list.Count(), 12);
    EXPECT_EQ(list.Items(0).MID, "demo0001");
    EXPECT_LT(list.Items(0).LogTime, list.Last().LogTime);
}

// Only demo0010 carries an error tag on purpose (\s[smile]); any other is a slip in the data.
TEST(SampleLog, OnlyTheDeliberateErrorTag)
{
    TMessageList list;
    ParseLog(ReadFileBytes(VELMO_SOURCE_DIR "/data/log.txt"), list);
    TSsParser parser;
    parser.SetTagPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/tagpat.txt"));
    parser.SetMetaPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/metapat.txt"));
    for (int i = 0; i < list.Count(); ++i) {
        const std::string tags = GetErrorTags(list.Items(i).Script, parser);
        EXPECT_EQ(tags, list.Items(i).MID == "demo0010" ? "\\s" : "") << list.Items(i).MID;
    }
}

} // namespace
