// The program entry shared by every deliverable: it wires one of each subsystem, starts the
// runtime around a script, runs it once and makes the final report.
#pragma once

#include <string>
#include <vector>

namespace navelo {

struct ProgramOptions {
  std::string script_name;         // the window title while the script runs
  std::vector<std::string> lines;  // cp1252 script lines, line 1 first
  std::vector<std::string> params; // command-line parameters, cp1252
  // When set, the program only says this message and ends with exit code 2 (a script that could
  // not be loaded).
  std::string startup_error;
  // The program opens its window minimised whoever starts it (the monitor, which the user only
  // hears); any program does when its starter says so in NAVELO_SHOW=minimized.
  bool start_minimised = false;
};

// Runs the program and ends the process; never returns.
[[noreturn]] void RunProgram(const ProgramOptions& options);

// Splits a script file's bytes into lines (LF, CR LF or a lone CR ends a line). A file that
// begins with the UTF-8 byte-order mark is converted from UTF-8, any other is taken as cp1252.
std::vector<std::string> SplitScriptText(std::string_view bytes);

}  // namespace navelo
