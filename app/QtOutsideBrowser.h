#pragma once

#include "app/OutsideBrowser.h"

// Opens addresses with the desktop's default handler (empty browser command) or starts the
// browser command detached, with the address as its last argument and no shell in between.
class TQtOutsideBrowser : public IOutsideBrowser
{
public:
    // Throws EVelmoError when the command cannot be split or the program cannot be started.
    void Open(const std::string& browserCommand, const std::string& address) override;
};
