// cmd.exe: the batch-file runner as a program of its own, so that a running batch file is seen
// as a process called cmd.exe. "cmd.exe /c FILE.bat [PARAM...]" runs a batch file;
// "cmd.exe /c COMMAND" runs one command line.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "config/host_env.h"
#include "platform/text_encoding.h"
#include "sys/batch_runner.h"

int main(int argc, char** argv) {
  using navelo::BatchRunner;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "/c" || args[0] == "/C" || args[0] == "/k" || args[0] == "/K")) {
    args.erase(args.begin());
  }
  navelo::HostEnvironment host(navelo::ProcessEnvironment());
  auto write_to = [](std::FILE* stream) {
    return [stream](std::string_view bytes) {
      std::fwrite(bytes.data(), 1, bytes.size(), stream);
      std::fflush(stream);
    };
  };
  auto sleep = [](int seconds) { std::this_thread::sleep_for(std::chrono::seconds(seconds)); };
  if (args.empty()) return 0;

  std::vector<std::string> params;
  for (const std::string& arg : args) params.push_back(navelo::Utf8ToCp1252(arg));
  std::ifstream file(host.Resolve(params[0]), std::ios::binary);
  const std::string lower = [&] {
    std::string text = params[0];
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return text;
  }();
  const bool batch = file && lower.size() > 4 &&
                     (lower.ends_with(".bat") || lower.ends_with(".cmd"));
  BatchRunner runner(host, navelo::ProcessEnvironment(), batch ? params : std::vector<std::string>{},
                     write_to(stdout), write_to(stderr), sleep);
  if (batch) {
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return runner.Run(text);
  }
  // One command line: the host's command interpreter shows no prompt for it.
  std::string line = "@";
  for (size_t i = 0; i < params.size(); ++i) line += (i > 0 ? " " : "") + params[i];
  runner.RunLine(line);
  return runner.ExitCode();
}
