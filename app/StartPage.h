#pragma once

#include "platform/AppFolders.h"

#include <string>

// The page the view shows before any log: what the program is, and links to the first things to
// do. The page is the program's own (no script, nothing from the network); its links are start
// commands (CommandLinkPrefix(TLinkCommand::Start) and a word below), which the window runs only
// while this page is the one shown. No Qt.

// The words of the start commands.
constexpr const char* kStartDemo = "demo"; // the bundled demo log
constexpr const char* kStartImport = "import"; // the archive import
constexpr const char* kStartServer = "server"; // the settings, at the server field
constexpr const char* kStartLogDownload = "logdl"; // the log request dialog

// The page's HTML (Shift_JIS, as every page).
std::string StartPageHtml();

// Writes the page as "start.html" into the default page folder (made when missing) and returns its
// path. Throws EFileError when it cannot be written.
std::string WriteStartPage(const TAppFolders& folders);
