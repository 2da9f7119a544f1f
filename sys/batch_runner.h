// The small batch-file runner that stands in for the host's command interpreter on Linux. It runs
// in its own process called cmd.exe and knows the common forms: "@" and echo on/off, echo with
// %VAR% expansion, set, chcp, cd, del, type, timeout, rem, labels, exit, and the redirections
// >, >>, 2> and 2>&1 (with nul). Any other command is skipped with a line on the error output.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "config/host_env.h"

namespace navelo {

class BatchRunner {
 public:
  using Sink = std::function<void(std::string_view bytes)>;
  using Sleeper = std::function<void(int seconds)>;

  // host: where paths go; params: %0 (the batch file) and the parameters; out and err: the
  // standard output and error of the process. Text is cp1252, as after "chcp 1252".
  BatchRunner(const HostEnvironment& host, EnvLookup env, std::vector<std::string> params,
              Sink out, Sink err, Sleeper sleep);

  // Runs the lines of a batch file; returns the exit code.
  int Run(std::string_view file_bytes);
  // Runs one line; false when it was "exit".
  bool RunLine(std::string_view line);
  int ExitCode() const { return exit_code_; }

 private:
  // Where a line's output goes: a file (appended to; ">" has emptied it already), nowhere
  // (nul), or one of the process's two streams.
  struct Output {
    std::string file;
    bool discard = false;
    bool error_stream = false;
  };
  std::string Expand(std::string_view line);
  std::string Variable(const std::string& name);
  void Emit(const Output& target, std::string_view bytes);
  void Prompt(std::string_view line);

  const HostEnvironment& host_;
  EnvLookup env_;
  std::vector<std::string> params_;
  Sink out_, err_;
  Sleeper sleep_;
  std::map<std::string, std::string> set_;  // names upper-cased
  bool echo_ = true;
  int exit_code_ = 0;
};

}  // namespace navelo
