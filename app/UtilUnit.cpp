#include "app/UtilUnit.h"

#include "render/SsParser.h"

std::string GetErrorTags(const std::string& script, TSsParser& parser)
{
    parser.ParseScript(script);
    std::string tags;
    for (const TSsMarkUp& token : parser.Tokens()) {
        if (token.MarkType != TSsMarkUpType::smErrorTag)
            continue;
        if (!tags.empty())
            tags += ',';
        tags += token.Text;
    }
    return tags;
}

std::string JoinPath(
    const std::string& folder, const std::string& defaultFolder, const std::string& name)
{
    return folder.empty() ? defaultFolder + name : folder + "/" + name;
}
