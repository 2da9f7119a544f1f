// Program execution and waiting commands: EXECUTA, EXISTEPROG, ESPERA, CMD, ENVIACMD, ALARME.
#include <algorithm>
#include <cstdint>

#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"

namespace navelo {
namespace {

// EXECUTA's value split into program and parameters: a program in double quotes may hold
// blanks; otherwise the first blank ends it and the rest, untrimmed, are the parameters.
void SplitProgram(const std::string& value, std::string& program, std::string& parameters) {
  parameters.clear();
  if (!value.empty() && value[0] == '"') {
    const size_t close = value.find('"', 1);
    if (close == std::string::npos) {
      program = value.substr(1);
    } else {
      program = value.substr(1, close - 1);
      parameters = Trim(std::string_view(value).substr(close + 1));
    }
    return;
  }
  const size_t blank = value.find(' ');
  if (blank == std::string::npos) {
    program = value;
  } else {
    program = value.substr(0, blank);
    parameters = value.substr(blank + 1);
  }
}

bool Executa(Interpreter& in, std::string& args) {
  int ampersands = 0;
  while (TakeTrailingAmpersand(args)) ++ampersands;
  const int mode = ampersands >= 4 ? 1 : ampersands;
  std::string value;
  if (!TakeValue(in, args, value) || !args.empty()) return false;
  std::string program, parameters;
  SplitProgram(value, program, parameters);
  in.svc.speech.WaitWhileBusy();
  Programs& programs = in.programs;
  bool started = false;
  switch (mode) {
    case 0:
    case 1:
      started = programs.RunProgram(in.svc.host, program, {}, parameters, ShowMode::kNormal) >= 32;
      // The user is waited for also when the start failed, as the host does.
      if (mode == 0) {
        Console& console = in.svc.console;
        if (console.SeesForeground()) {
          programs.WaitForReturn(console, in.svc.config,
                                 [&console] { return console.InForeground(); });
        } else {
          programs.WaitForReturn(console, in.svc.config);
        }
      }
      break;
    case 2:
      started = programs.RunProgram(in.svc.host, program, {}, parameters, ShowMode::kHidden) >= 32;
      break;
    default:
      started = programs.PipeStart(in.svc.host,
                                   parameters.empty() ? program : program + " " + parameters);
      break;
  }
  return started;
}

bool ExisteProg(Interpreter& in, std::string& args) {
  std::string name;
  if (!TakeValue(in, args, name)) return false;
  TrimInPlace(name);
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  in.vars.Slot(slot).assign(1, in.programs.ProcessRunning(name) ? '1' : '0');
  return true;
}

bool Espera(Interpreter& in, std::string& args) {
  in.io_status = 0;
  TrimInPlace(args);
  bool milliseconds = false;
  if (StartsWithFolded(args, "MS")) {
    args.erase(0, 2);
    milliseconds = true;
  }
  std::string count_text;
  if (!TakeValue(in, args, count_text)) return false;
  const auto count = ParseInteger(count_text);
  if (!count) return false;
  TrimInPlace(args);
  Console& console = in.svc.console;
  if (args.empty()) {
    // One Delay takes at most 65535 ms on the host; the whole time asked is paused here.
    int64_t left = static_cast<int64_t>(*count) * (milliseconds ? 1 : 1000);
    while (left > 0) {
      const int part = static_cast<int>(std::min<int64_t>(left, 60000));
      console.Delay(part);
      left -= part;
    }
    return true;
  }
  std::string title;
  if (!TakeValue(in, args, title)) return true;
  const std::string wanted = FoldUpper(title);
  const int64_t tries = static_cast<int64_t>(*count) * 2;
  for (int64_t i = 0; i < tries; ++i) {
    std::string current = ForegroundWindowTitle(in, 249);
    if (FoldUpper(current).find(wanted) != std::string::npos) return true;
    console.Delay(500);
  }
  in.io_status = 1;
  return true;
}

bool Cmd(Interpreter& in, std::string& args) {
  std::string line;
  if (!TakeValue(in, args, line) || !args.empty()) return false;
  return in.ExecuteLine(line, true);
}

bool EnviaCmd(Interpreter& in, std::string& args) {
  if (args.empty()) return false;
  TrimInPlace(args);
  std::string text;
  if (!TakeValue(in, args, text)) return false;
  in.programs.PipeWriteLine(text);
  return true;
}

bool Alarme(Interpreter& in, std::string& args) {
  if (args.empty()) return false;
  std::string frequency_text, duration_text;
  if (!TakeValue(in, args, frequency_text) || !TakeValue(in, args, duration_text)) return false;
  const auto frequency = ParseInteger(frequency_text);
  const auto duration = ParseInteger(duration_text);
  if (!frequency || !duration) return false;
  if (*frequency < 0 || *frequency > 20000 || *duration < 0 || *duration > 20000) return false;
  // The platform's speaker tone where it has one: the script waits for the whole duration and
  // for the call's end, keeping messages moving, but not for a call that never returns.
  if (auto tone = in.speaker_tone ? in.speaker_tone(*frequency, *duration) : nullptr) {
    in.svc.keyboard.NoteTone(*frequency);
    in.svc.console.Delay(*duration);
    for (int waited = 0; !tone->Finished() && waited < 1000; waited += 10) {
      in.svc.console.Delay(10);
    }
    return true;
  }
  // Otherwise the tone sounds through the wave output for the whole duration.
  in.svc.keyboard.ToneStart(*frequency);
  in.svc.console.Delay(*duration);
  in.svc.keyboard.ToneStop();
  return true;
}

constexpr CommandEntry kEntries[] = {
    {"EXECUTA", Executa}, {"EXISTEPROG", ExisteProg}, {"ESPERA", Espera},
    {"CMD", Cmd},         {"ENVIACMD", EnviaCmd},     {"ALARME", Alarme},
};

}  // namespace

std::span<const CommandEntry> ProgramCommands() { return kEntries; }

}  // namespace navelo
