#pragma once

#include "render/SsParser.h"

// A tokenizer with the pattern files the program ships, loaded once for the whole test program.
// VELMO_SOURCE_DIR is the project's source folder.
inline TSsParser& ShippedParser()
{
    static TSsParser parser = [] {
        TSsParser p;
        p.SetTagPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/tagpat.txt"));
        p.SetMetaPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/metapat.txt"));
        return p;
    }();
    return parser;
}
