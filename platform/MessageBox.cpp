#include "platform/MessageBox.h"

#include "platform/Encoding.h"
#include "platform/StrUtils.h"

#include <ostream>

void IMessageBox::ShowMessage(const std::string& text)
{
    TMessageRequest request;
    request.text = text;
    Show(request);
}

THeadlessMessageBox::THeadlessMessageBox(std::ostream& out, std::string applicationTitle)
    : out_(out)
    , applicationTitle_(std::move(applicationTitle))
{ }

TMessageAnswer THeadlessMessageBox::Show(const TMessageRequest& request)
{
    const std::string& title = request.title.empty() ? applicationTitle_ : request.title;
    std::string lines;
    for (const auto& line : SplitLines(request.text))
        lines += SjisToUtf8Lossy(title) + ": " + SjisToUtf8Lossy(line) + "\n";
    if (lines.empty())
        lines = SjisToUtf8Lossy(title) + ":\n";
    const std::lock_guard lock(mutex_);
    out_ << lines << std::flush;
    return request.defaultAnswer;
}
