#pragma once

// tarsun-cli's commands: show, get and set on mod folders, through the same core as the
// editor's windows. The program's main only hands its arguments (UTF-8) and streams here.

#include <iosfwd>
#include <string>
#include <vector>

namespace tarsun {

// Exit statuses.
inline constexpr int ExitDone = 0;
inline constexpr int ExitFileRefused = 1;  // a file could not be read or written; nothing lost
inline constexpr int ExitBadInput = 2;     // bad usage or a refused value; nothing written
inline constexpr int ExitOutputFailed = 3; // standard output or error could not be written

// args[0] is the program's name. Both streams are flushed and checked at the end: a write
// that failed gives ExitOutputFailed (said on err while it still takes a line), whatever
// the command did; a FileOutput under a stream gives the system's reason.
// `in` is read for `set --from -`; without it, standard input is empty.
int runTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);
int runTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tarsun
