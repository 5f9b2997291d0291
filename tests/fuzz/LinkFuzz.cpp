// The view's link rules on arbitrary addresses: a command runs only from a person's click on the
// program's own page, nothing but an http or https address leaves for the outside browser, and
// no address naming a command host is shown or sent anywhere from any other origin.

#include "app/BottleCommands.h"
#include "platform/Errors.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool NamesCommandHost(std::string url)
{
    for (char& c : url)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return url.find("//velmovote") != std::string::npos
        || url.find("//velmoagree") != std::string::npos
        || url.find("//velmoplay") != std::string::npos
        || url.find("//velmostart") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string url(reinterpret_cast<const char*>(data), size);
    const TLinkCommand command = ClassifyLink(url);
    const bool isMessageCommand = command == TLinkCommand::Vote || command == TLinkCommand::Agree
        || command == TLinkCommand::Play;
    const bool isCommand = isMessageCommand || command == TLinkCommand::Start;
    if (isMessageCommand) {
        try {
            (void)LinkIndex(url, command);
        } catch (const EConvertError&) { }
    }
    for (const auto origin : { TNavigationOrigin::OwnPageClick, TNavigationOrigin::LinkClick,
             TNavigationOrigin::ProgramLoad, TNavigationOrigin::Other }) {
        const TLinkAction action = LinkActionFor(url, origin);
        if (action == TLinkAction::RunCommand
            && (origin != TNavigationOrigin::OwnPageClick || !isCommand))
            std::abort();
        if (action == TLinkAction::OpenOutside && !IsWebAddress(url))
            std::abort();
        if (action != TLinkAction::Refuse && action != TLinkAction::RunCommand
            && NamesCommandHost(url))
            std::abort();
    }
    return 0;
}
