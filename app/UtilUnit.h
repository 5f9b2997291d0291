#pragma once

#include <string>

class TSsParser;

// Helpers shared by several commands.

// Tokenizes the script with the parser and returns the text of every error tag, in script order,
// joined with ","; empty when there is none. Replaces the parser's tokens.
std::string GetErrorTags(const std::string& script, TSsParser& parser);
