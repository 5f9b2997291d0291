#pragma once

#include <string>

class TSsParser;

// Helpers shared by several commands.

// Tokenizes the script with the parser and returns the text of every error tag, in script order,
// joined with ","; empty when there is none. Replaces the parser's tokens.
std::string GetErrorTags(const std::string& script, TSsParser& parser);

// folder + "/" + name when folder is not empty (the separator is added even when the folder
// ends in one); otherwise defaultFolder followed at once by name.
std::string JoinPath(
    const std::string& folder, const std::string& defaultFolder, const std::string& name);
