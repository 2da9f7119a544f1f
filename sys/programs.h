// Starting programs and finding running ones: RunProgram (executables, batch files, documents),
// WaitForReturn, ProcessRunning and the one piped child (PipeStart, PipeRead, PipeWriteLine).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

namespace navelo {

class Config;
class Console;
class HostEnvironment;

enum class ShowMode { kHidden = 0, kNormal = 1 };

// Results of a start as the host's shell gives them: 32 or more is success.
constexpr int kShellStarted = 42;
constexpr int kShellFileNotFound = 2;
constexpr int kShellAccessDenied = 5;
constexpr int kShellOutOfMemory = 8;
constexpr int kShellNoAssociation = 31;

// Splits a parameter text as the host's programs split their command line: blanks separate
// words, double quotes group blanks into a word and are removed.
std::vector<std::string> SplitCommandLine(std::string_view text);

// True when a process name as the host gives it (cp1252) matches a running process: the name of
// its executable with or without its directory, or that name with ".exe" added, comparing the
// letters a-z without regard to case. "cmd" does not match a process called "cmd.exe".
bool ProcessNameMatches(std::string_view wanted, const ProcessEntry& process);

class Programs {
 public:
  Programs() = default;
  ~Programs();
  Programs(const Programs&) = delete;
  Programs& operator=(const Programs&) = delete;

  // The batch runner started for .bat and .cmd files; without one, the platform's own (Windows),
  // else cmd.exe in the program's own folder.
  void SetBatchRunner(std::string path) { batch_runner_ = std::move(path); }

  // Opens a program, a batch file or a document (through the desktop's opener) with the
  // parameters, in the directory (host paths, cp1252). Returns the shell result.
  int RunProgram(const HostEnvironment& host, std::string_view program, std::string_view directory,
                 std::string_view parameters, ShowMode show);

  // Waits until the user is back from the program started last, then pauses for
  // TEMPOESPERAPROGVOLTAR (NAVELO) milliseconds, 1000 when missing or out of 0..1000. With a
  // window in the foreground test, that is: the window lost the foreground (at most 50 pauses of
  // 100 ms) and has it again. Without one (terminal and headless consoles) the user is back when
  // the program has ended. The console's Delay keeps messages moving meanwhile.
  void WaitForReturn(Console& console, Config& config,
                     const std::function<bool()>& console_in_front = {});

  bool ProcessRunning(std::string_view name);

  // Starts the command line with pipes for its standard handles, replacing the earlier piped
  // child (whose pipes are closed; it is still reaped when it ends).
  bool PipeStart(const HostEnvironment& host, std::string_view command_line);
  // What the piped child has written so far; never waits.
  std::string PipeRead();
  // A plain 100 ms pause, then the text and CR LF to the child's standard input. A child that
  // does not read never blocks this program: what its pipe does not take is dropped.
  void PipeWriteLine(std::string_view text);

  // Reaps every child that has ended.
  void ReapEnded();
  // The process id of the program started last; 0 when none.
  int LastStarted() const { return last_started_; }

  // The native file that runs a program name: the name itself, without ".exe", then for a bare
  // name beside the running program or along PATH; empty when none exists.
  std::string Locate(const HostEnvironment& host, std::string_view program) const;

 private:
  int Start(SpawnRequest request, ChildPipes* pipes);
  std::string BatchRunner(const HostEnvironment& host) const;
  void ClosePipes();

  std::string batch_runner_;
  std::vector<int> children_;
  int last_started_ = 0;
  int start_error_ = 0;
  int piped_pid_ = 0;
  ChildPipes pipes_;
};

}  // namespace navelo
