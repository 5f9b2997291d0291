#include "app/OutsideBrowser.h"

#include "platform/Encoding.h"
#include "platform/Errors.h"

const char* const kMakerSiteUrl = "https://velmo.example.org/";

std::vector<std::string> SplitCommandWords(std::string_view command)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    size_t i = 0;
    const auto fail = [&](const char* what) {
        return EVelmoError(Sjis("ブラウザのコマンドラインが正しくありません (") + what
            + "): " + std::string(command));
    };
    while (i < command.size()) {
        const char c = command[i];
        if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            ++i;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const size_t close = command.find('\'', i + 1);
            if (close == std::string_view::npos)
                throw fail("unclosed '");
            word.append(command.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == '"') {
            ++i;
            for (;;) {
                if (i >= command.size())
                    throw fail("unclosed \"");
                const char d = command[i];
                if (d == '"') {
                    ++i;
                    break;
                }
                // Inside double quotes a backslash escapes only \ and ", as in a shell.
                if (d == '\\' && i + 1 < command.size()
                    && (command[i + 1] == '\\' || command[i + 1] == '"')) {
                    word += command[i + 1];
                    i += 2;
                    continue;
                }
                word += d;
                ++i;
            }
        } else if (c == '\\') {
            if (i + 1 >= command.size())
                throw fail("\\ at the end");
            word += command[i + 1];
            i += 2;
        } else {
            word += c;
            ++i;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::optional<std::vector<std::string>> BrowserArguments(
    std::string_view browserCommand, std::string_view address)
{
    if (browserCommand.empty())
        return std::nullopt;
    std::vector<std::string> words = SplitCommandWords(browserCommand);
    if (words.empty())
        return std::nullopt;
    words.emplace_back(address);
    return words;
}
