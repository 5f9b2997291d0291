#include "render/MessageHtml.h"

#include "log/BottleMessage.h"
#include "platform/Encoding.h"
#include "platform/StrUtils.h"
#include "render/CommandLinks.h"
#include "render/SsParser.h"
#include "render/Surfaces.h"

#include <optional>

namespace {

constexpr const char* kCrLf = "\r\n";

// & < > " as entities: for every text from the log that lands in an attribute or could form markup.
void AppendEscaped(std::string& out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

std::string Escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendEscaped(out, text);
    return out;
}

// The talk's own rule: only the angle brackets, so that text shows literally and forms no tag.
void AppendAngleEscaped(std::string& out, std::string_view text)
{
    for (const char c : text) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to)
{
    for (size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
}

// Un-escapes "\\\\" and then "\\%", character by character, so that the second byte of a
// double-byte character is never taken for a backslash.
std::string Unescape(std::string_view text, char escaped)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < text.size()) {
            out.append(text.substr(i, 2));
            ++i;
        } else if (c == '\\' && i + 1 < text.size() && text[i + 1] == escaped) {
            out += escaped;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// An absolute file path as a file URL that the browser resolves to that file: characters that
// would end or change the URL are percent-escaped; double-byte characters stay (the browser
// encodes them); the result is escaped for the attribute.
void AppendFileUrl(std::string& out, const std::string& path)
{
    static const char* hex = "0123456789ABCDEF";
    out += path.starts_with("/") ? "file://" : "file:///";
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (IsLeadByte(c) && i + 1 < path.size()) {
            // The byte after a lead byte stays as it is, but it may be any byte of a stranger's
            // name: "<", "&", ">" or a quote there still becomes an entity.
            out += path[i];
            AppendEscaped(out, std::string_view(path).substr(i + 1, 1));
            ++i;
        } else if (c <= ' ' || c == 0x7F || c == '%' || c == '#' || c == '?' || c == '"'
            || c == '\\') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else {
            out += static_cast<char>(c);
        }
    }
}

// Splits at a separator like lines: empty parts count, a separator at the very end makes none.
std::vector<std::string> SplitParts(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    if (text.empty())
        return parts;
    parts = SplitFields(text, separator);
    if (text.back() == separator)
        parts.pop_back();
    return parts;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const std::string_view digits = text.substr(i + 1, 2);
        int value = digits.empty() ? -1 : 0;
        for (const char d : digits)
            value = value < 0 || HexValue(d) < 0 ? -1 : value * 16 + HexValue(d);
        if (value > 0)
            out += static_cast<char>(value);
        i += digits.size();
    }
    return out;
}

// Removes the first occurrence of a single-byte character, never the second byte of a
// double-byte character.
void EraseFirstChar(std::string& text, char c)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        if (text[i] == c) {
            text.erase(i, 1);
            return;
        }
    }
}

bool IsMainScope(const std::string& tag)
{
    return tag == "\\h" || tag == "\\0" || tag == "\\p0" || tag == "\\p[0]";
}
bool IsSideScope(const std::string& tag)
{
    return tag == "\\u" || tag == "\\1" || tag == "\\p1" || tag == "\\p[1]";
}
bool IsLineBreak(const std::string& tag)
{
    return tag == "\\n" || tag.starts_with("\\n[");
}

// The surface number of a surface tag as written: \s0, \s[10], \s[-1].
std::string SurfaceText(std::string tag)
{
    if (tag.find('[') != std::string::npos) {
        ReplaceAll(tag, "\\s[", "");
        ReplaceAll(tag, "]", "");
    } else {
        ReplaceAll(tag, "\\s", "");
    }
    return tag;
}

// The state of one rendering: who speaks, their surfaces, and the HTML of the current block,
// written straight onto the end of the page being built.
class Renderer
{
public:
    Renderer(const TBottleMessage& message, TSurfaces& surfaces, std::string& out)
        : message_(message)
        , surfaces_(surfaces)
        , out_(out)
    { }

    void Run(const std::vector<TSsMarkUp>& tokens)
    {
        for (const TSsMarkUp& token : tokens)
            Take(token);
        Flush();
    }

private:
    void Take(const TSsMarkUp& token)
    {
        const std::string& text = token.Text;
        if (token.MarkType != TSsMarkUpType::smTag) {
            AppendAngleEscaped(buffer_, text);
        } else if (text.size() > 1 && text[1] == 's') {
            Flush();
            surface_[speaker_] = SurfaceText(text);
        } else if (IsMainScope(text)) {
            Flush();
            speaker_ = 0;
        } else if (IsSideScope(text)) {
            Flush();
            speaker_ = 1;
        } else if (text == "\\_s") {
            Flush();
            sync_ = !sync_;
        } else if (text == "\\c") {
            Flush();
        } else if (text == "\\]") {
            buffer_ += ']'; // the escaped bracket is the character itself
        } else if (IsLineBreak(text)) {
            buffer_ += "<br>";
        } else if (text.find("\\URL") != std::string::npos) {
            buffer_ += UrlTagHtml(text);
        }
    }

    void AppendImageLine(int which)
    {
        // A number past 32 bits names a surface that has no picture.
        const std::string& text = surface_[which];
        const std::optional<int32_t> n = TryStrToInt(text);
        const std::string path = n ? surfaces_.GetSurfacePath(message_.Ghost, *n)
                                   : surfaces_.CachePath(message_.Ghost, text);
        out_ += "<img src=\"";
        AppendFileUrl(out_, path);
        out_ += "\" alt=\"";
        AppendEscaped(out_, message_.Ghost);
        if (n)
            out_ += std::to_string(*n);
        else
            AppendEscaped(out_, text);
        out_ += "\">\r\n";
    }

    // Whether the block holds anything but line breaks.
    static bool HasTalk(std::string_view buffer)
    {
        while (buffer.starts_with("<br>"))
            buffer.remove_prefix(4);
        if (buffer.empty())
            return false;
        if (buffer.front() != '<')
            return true; // a first character is never part of a break
        std::string bare(buffer);
        ReplaceAll(bare, "<br>", "");
        return !bare.empty();
    }

    void Flush()
    {
        if (!HasTalk(buffer_)) {
            buffer_.clear();
            out_ += kCrLf;
            return;
        }
        // The escapes are rare: most talk has no backslash at all.
        std::string_view talk = buffer_;
        std::string unescaped;
        if (buffer_.find('\\') != std::string::npos) {
            unescaped = UnescapeTalk(buffer_);
            talk = unescaped;
        }
        while (talk.starts_with("<br>"))
            talk.remove_prefix(4);

        if (sync_) {
            out_ += "<div class=\"Sync\">\r\n<div class=\"surface\">\r\n";
            AppendImageLine(0);
            AppendImageLine(1);
        } else {
            out_ += speaker_ == 0 ? "<div class=\"Yen0\">\r\n" : "<div class=\"Yen1\">\r\n";
            out_ += "<div class=\"surface\">\r\n";
            AppendImageLine(speaker_);
        }
        out_ += "</div>\r\n<div class=\"talk\">\r\n";
        out_ += talk;
        out_ += "\r\n</div>\r\n</div>\r\n";
        out_ += kCrLf;
        buffer_.clear();
    }

    const TBottleMessage& message_;
    TSurfaces& surfaces_;
    std::string& out_;
    int speaker_ = 0;
    bool sync_ = false;
    std::string surface_[2] = { "0", "10" };
    std::string buffer_;
};

} // namespace

std::string MessageHeaderHtml(const TBottleMessage& message, int32_t number, int32_t total)
{
    static const std::string connections = Sjis("接続:");
    static const std::string vote = Sjis("投票");
    static const std::string agree = Sjis("同意");
    static const std::string play = Sjis("再生");
    const std::string index = std::to_string(message.Index);
    std::string h = std::string("<div class=\"") + kCommandBlockClass + "\">\r\n";
    h += "[" + std::to_string(number) + "/" + std::to_string(total) + "]\r\n";
    h += FormatShortDate(message.LogTime) + " " + FormatLongTime(message.LogTime) + "\r\n";
    h += "Ghost:" + Escape(message.Ghost) + "\r\n";
    h += "Ch:" + Escape(message.Channel) + "\r\n";
    h += "<br>\r\n";
    h += connections + std::to_string(message.Connections) + "\r\n";
    h += std::string("<a href=\"") + CommandLinkPrefix(TLinkCommand::Vote) + index + "\">" + vote
        + "</a>\r\n";
    h += ":" + std::to_string(message.Votes) + "\r\n";
    h += std::string("<a href=\"") + CommandLinkPrefix(TLinkCommand::Agree) + index + "\">" + agree
        + "</a>\r\n";
    h += ":" + std::to_string(message.Agrees) + "\r\n";
    h += std::string("<a href=\"") + CommandLinkPrefix(TLinkCommand::Play) + index + "\">" + play
        + "</a>\r\n";
    h += "</div>\r\n";
    return h;
}

std::string MessageHtml(const TBottleMessage& message, int32_t number, int32_t total,
    TSsParser& parser, TSurfaces& surfaces)
{
    std::string html;
    AppendMessageHtml(html, message, number, total, parser, surfaces);
    return html;
}

void AppendMessageHtml(std::string& out, const TBottleMessage& message, int32_t number,
    int32_t total, TSsParser& parser, TSurfaces& surfaces)
{
    const std::string header = MessageHeaderHtml(message, number, total);
    out += "<div class=\"message\" id=\"";
    AppendEscaped(out, message.Ghost);
    out += "\">\r\n";
    out += header;
    out += kCrLf;
    const size_t bodyStart = out.size();
    try {
        parser.ParseScript(message.Script);
        Renderer(message, surfaces, out).Run(parser.Tokens());
    } catch (const std::exception& e) {
        // One message that cannot be shown must not cost the others their pages.
        out.resize(bodyStart);
        out += "<div class=\"error\">";
        AppendEscaped(out, e.what());
        out += "</div>\r\n";
    }
    out += header;
    out += kCrLf;
    out += "</div>\r\n";
}

std::string UnescapeTalk(std::string_view talk)
{
    return Unescape(Unescape(talk, '\\'), '%');
}

std::string UrlTagHtml(const std::string& tag)
{
    std::string rest = tag;
    if (const size_t at = rest.find("\\URL"); at != std::string::npos)
        rest.erase(at, 4);
    // A break after every "]" that is a character of its own, not the second byte of one.
    std::string broken;
    for (size_t i = 0; i < rest.size(); ++i) {
        broken += rest[i];
        if (IsLeadByte(static_cast<unsigned char>(rest[i])) && i + 1 < rest.size())
            broken += rest[++i];
        else if (rest[i] == ']')
            broken += kCrLf;
    }
    std::string html;
    for (std::string line : SplitLines(broken)) {
        std::string url = line;
        EraseFirstChar(url, '[');
        EraseFirstChar(url, ']');
        // A stranger's script may not forge the header's command links: an address that would
        // be taken as a command is shown as text.
        if ((url.starts_with("http://") || url.starts_with("https://")) && !IsCommandAddress(url))
            html += "<a href=\"" + Escape(url) + "\">" + Escape(UrlCaption(url)) + "</a>";
        else
            html += Escape(line);
        html += "<br>";
    }
    return html;
}

std::string UrlCaption(const std::string& url)
{
    const std::vector<std::string> parts = SplitParts(url, '/');
    std::string caption;
    if (parts.size() < 3) {
        caption = url; // no host: the address itself
    } else if (parts.size() == 3) {
        caption = parts[2];
    } else {
        const std::vector<std::string> labels = SplitParts(parts[2], '.');
        std::string shortHost = parts[2];
        const size_t keep = labels.size() >= 4 ? 3 : labels.size() == 3 ? 2 : 0;
        if (keep > 0) {
            shortHost.clear();
            for (size_t i = labels.size() - keep; i < labels.size(); ++i)
                shortHost += (shortHost.empty() ? "" : ".") + labels[i];
        }
        caption = parts.back() + "[" + shortHost + "]";
    }
    return PercentDecode(caption);
}
