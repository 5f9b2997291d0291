#include "app/CommandLine.h"

#include "platform/Encoding.h"
#include "platform/Errors.h"
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
    if (mode == "search") {
        line.verb = TVerb::Search;
        line.query = value;
    } else if (mode == "past") {
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

TQuery ParseTypedQuery(std::string_view utf8)
{
    std::string text;
    try {
        text = Utf8ToSjis(utf8);
    } catch (const EEncodingError&) {
        // The first character that does not convert, counted as the parser counts.
        int position = 1;
        for (size_t at = 0; at < utf8.size(); ++position) {
            size_t length = 1;
            while (at + length < utf8.size() && (utf8[at + length] & 0xC0) == 0x80)
                ++length;
            try {
                Utf8ToSjis(utf8.substr(at, length));
            } catch (const EEncodingError&) {
                break;
            }
            at += length;
        }
        throw EQueryError(position, Sjis("Shift_JISで表せない文字があります"));
    }
    return ParseQuery(text);
}

std::string UsageText()
{
    return Sjis(
        "使い方:\n"
        "  velmo                                   ウィンドウを開きます\n"
        "  velmo past 分 件数 noview|view          最近の指定分数のログを表示します\n"
        "  velmo term 開始日-終了日 件数 noview|view 日付の範囲のログを表示します\n"
        "  velmo start 日時 件数 noview|view       指定日時から今までのログを表示します\n"
        "  velmo search 検索式 件数 noview|view    アーカイブを検索して見つかったメッセージを"
        "表示します\n"
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
        "検索式は語や \"語句\"、ghost:名前、ch:名前、after:日付、before:日付、votes>=数、"
        "agrees>=数を\n"
        "空白で並べ (すべてに合うもの)、| (どれかに合うもの)、-語 (合わないもの)、( ) で"
        "組み合わせます。検索式 \"\" はすべてのメッセージです。\n");
}
