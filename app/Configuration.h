#pragma once

#include "platform/AppFolders.h"
#include "platform/IniFile.h"

#include <cstdint>
#include <string>
#include <vector>

// The settings kept in the configuration file (TAppFolders::configFile). The
// file is read once at start-up and written once at the end; in between the values live in the
// main window.
struct TConfiguration
{
    std::string SppDir; // surface plug-in folder
    std::string SurfaceCacheDir;
    std::string CSSFile;
    std::string BrowserCommand;
    std::string HTMLFolder;
    int32_t Top = 145;
    int32_t Left = 209;
    int32_t Width = 440;
    int32_t Height = 351;
    // Whether the file holds any of the window's four values: without them the window takes a
    // share of the screen.
    bool SavedGeometry = false;
    std::string LUID;
    int32_t MessagesPerPage = 100;
    std::vector<std::string> FMONames;
    // "host" or "host:port" of the bottle server (TBottleServer::Parse); empty: the bundled one.
    std::string BottleServer;
    // The pages' zoom in percent (General's Zoom), held to the zoom ladder (ZoomSteps).
    int32_t Zoom = 100;
};

// Every key with its default when missing; the default cache and plug-in folders are the layout's.
TConfiguration ReadConfiguration(const TIniFile& ini, const TAppFolders& folders);

// Writes every key in the fixed order, so that a file written from scratch holds General (LUID,
// SurfaceCacheDir, SppDir, 1PageCount, CSS, Browser, HTMLFolder), Form (Top, Left, Width, Height)
// and Play (FMO); BottleServer follows HTMLFolder when it is set or the file already holds it, and
// Zoom follows once it is not 100 or the file has it, so that the file of a program that never
// zoomed or named a server stays as it was. A value longer than ReadString gives that the program
// did not change stays whole in the file. A value the file cannot hold (a line break in it) leaves
// its key as it was and is named in the result, one "key: reason" line each; every other key is
// written.
std::vector<std::string> WriteConfiguration(TIniFile& ini, const TConfiguration& config);

// The FMO list as one line: names separated by commas and unquoted blanks; a quoted name keeps its
// blanks and commas, with "" for a quote inside it.
std::vector<std::string> ParseNameList(std::string_view text);
// Names joined by commas; a name with a blank, comma, quote or control character is quoted. An
// empty list is an empty text.
std::string FormatNameList(const std::vector<std::string>& names);
