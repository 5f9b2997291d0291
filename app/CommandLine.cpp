#include "app/CommandLine.h"

#include "platform/Encoding.h"
#include "platform/StrUtils.h"

namespace {

std::optional<TCommandLine> Verb(const std::vector<std::string>& arguments)
{
    TCommandLine line;
    const std::string& verb = arguments[0];
    if ((verb == "--help" || verb == "-h") && arguments.size() == 1)
        line.verb = TVerb::Help;
    else if (verb == "--version" && arguments.size() == 1)
        line.verb = TVerb::Version;
    else if (verb == "sync" && arguments.size() == 1)
        line.verb = TVerb::Sync;
    else if (verb == "import" && arguments.size() >= 2)
        line.verb = TVerb::Import;
    else if (verb == "export" && arguments.size() == 4) {
        line.verb = TVerb::Export;
        line.query = arguments[1];
        line.format = arguments[2];
        line.outputFile = arguments[3];
        return line;
    } else
        return std::nullopt;
    line.paths.assign(arguments.begin() + 1, arguments.end());
    return line;
}

} // namespace

std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return std::nullopt;
    if (arguments.size() != 4 || arguments[0] == "import" || arguments[0] == "export")
        return Verb(arguments);
    TCommandLine line;
    const std::string& mode = arguments[0];
    const std::string& value = arguments[1];
    if (mode == "past") {
        const auto count = TryStrToInt(value);
        if (!count)
            return std::nullopt;
        line.request.choice = TLogChoice::Recent;
        line.request.count = ClampCount(*count);
        line.request.unit = TTimeUnit::Minutes;
    } else if (mode == "term") {
        const size_t dash = value.find('-');
        if (dash == std::string::npos)
            return std::nullopt;
        const auto first = TryStrToDateTime(value.substr(0, dash));
        const auto last = TryStrToDateTime(value.substr(dash + 1));
        if (!first || !last)
            return std::nullopt;
        line.request.choice = TLogChoice::Range;
        line.request.firstDate = DateOf(*first);
        line.request.lastDate = DateOf(*last);
    } else if (mode == "start") {
        const auto moment = TryStrToDateTime(value);
        if (!moment)
            return std::nullopt;
        line.request.choice = TLogChoice::From;
        line.request.startDate = DateOf(*moment);
        line.request.startTime = TimeOf(*moment);
    } else {
        return std::nullopt;
    }
    const auto pageSize = TryStrToInt(arguments[2]);
    if (!pageSize)
        return std::nullopt;
    line.messagesPerPage = *pageSize;
    line.noView = arguments[3] == "noview";
    return line;
}

std::string UsageText()
{
    return Sjis(
        "使い方:\n"
        "  velmo                                   ウィンドウを開きます\n"
        "  velmo past 分 件数 noview|view          最近の指定分数のログを表示します\n"
        "  velmo term 開始日-終了日 件数 noview|view 日付の範囲のログを表示します\n"
        "  velmo start 日時 件数 noview|view       指定日時から今までのログを表示します\n"
        "  velmo import パス...                    "
        "ログファイルやフォルダをアーカイブに取り込みます\n"
        "  velmo sync                              アーカイブをボトルサーバーの最新まで更新します\n"
        "  velmo export 検索条件 形式 ファイル     "
        "検索条件に合うメッセージをファイルに書き出します\n"
        "  velmo --help                            この使い方を表示します\n"
        "  velmo --version                         版を表示します\n"
        "\n"
        "件数は1ページに表示するメッセージ数です。noview ならページを書くだけで終了します。\n"
        "日付は 2004/06/01、日時は \"2004/06/01 09:00\" の形で書きます。\n"
        "書き出しの形式は jsonl csv txt log のいずれかです。ファイルを - にすると標準出力に"
        "書きます。\n"
        "検索条件 \"\" はすべてのメッセージです。\n");
}
