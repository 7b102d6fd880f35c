// What start-up does, decided once from the command line; portable.
#pragma once

#include "platform/text.h"

#include <string>
#include <string_view>

enum class EStartMode {
    Settings, // empty command line: the main window in its full settings layout
    Monitor,  // "/M": the main window in its status-monitor layout
    File,     // anything else: a .torrent path to send
    Queue,    // "/Q", or "/Q " and a path: the transfer queue, empty or with that path
};

struct CStartDecision {
    EStartMode eMode = EStartMode::Settings;
    std::string strTorrentFile; // the path after the quoted form's rewriting; File and Queue
};

// The command line taken whole as one text; it is never split into words.
CStartDecision DecideStart(std::string_view commandLine, const CTextOps& text = GetTextOps());

// A command line enclosed in double quotes (its first double quote is its first character and
// its last double quote its last) loses both, and then every backslash in it is doubled; any
// other command line is kept as it is.
std::string RewriteQuotedPath(std::string_view commandLine, const CTextOps& text = GetTextOps());

// The command line from a program's arguments (argv[0] excluded), joined by single blanks, as
// Linux hands arguments over one by one.
std::string JoinArguments(int argc, const char* const* argv);
