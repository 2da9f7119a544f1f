// The interpreter's state and the run loop: the script store, the variables, the run flags, the
// call stack, and the services (console, keys, speech, configuration) that commands reach.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/config.h"
#include "config/host_env.h"
#include "console/console.h"
#include "interp/channels.h"
#include "interp/socket_channel.h"
#include "interp/file_state.h"
#include "platform/clock.h"
#include "sys/automation.h"
#include "platform/speaker.h"
#include "sys/midi.h"
#include "sys/programs.h"
#include "tradutor/media_control.h"
#include "tradutor/screen_review.h"
#include "tradutor/selection_menu.h"
#include "tradutor/speech.h"

namespace navelo {

class Interpreter;

// A command handler takes the argument text (trimmed) and returns true to go on.
using CommandHandler = bool (*)(Interpreter&, std::string& args);

struct CommandEntry {
  std::string_view word;  // folded cp1252
  CommandHandler handler;
};

// The services the commands reach; the program entry wires the real ones, tests their fakes.
struct Services {
  Console& console;
  Keyboard& keyboard;
  Speech& speech;
  Config& config;
  const HostEnvironment& host;
  Clock& clock;
};

// Script lines, 1-based. The table grows with the script, so scripts longer than the 5000 lines
// of a fixed table run too.
class ScriptStore {
 public:
  void AddLine(std::string text, int n);
  const std::string& Line(int n) const { return lines_[static_cast<size_t>(n)]; }
  int LineCount() const { return line_count_; }
  void SetLineCount(int n) { line_count_ = n; }

 private:
  std::vector<std::string> lines_{std::string()};
  int line_count_ = 0;
};

// Letter variables live in slots 65..90, named "$" variables in 91..191 in the order in which
// they were first mentioned.
class VariableStore {
 public:
  static constexpr int kFirstNamedSlot = 91;
  static constexpr int kMaxNames = 101;

  void Clear();
  std::string& Slot(int slot) { return slots_[static_cast<size_t>(slot)]; }
  // The slot of a named variable (name already upper-cased), adding it when new; -1 when the
  // list is full.
  int NamedSlot(std::string_view name);

 private:
  std::array<std::string, 192> slots_;
  std::vector<std::string> names_;
};

// A list of the list and menu commands, looked up by name by the EM operator of conditions.
struct ScriptList {
  bool in_use = false;
  std::string name;
  std::vector<std::string> items;
};

struct RunResult {
  int result = 0;  // 0: the script ended; 1: a command failed
  int line = 0;    // the line pointer at the end
};

class Interpreter {
 public:
  static constexpr int kMaxCallDepth = 20;

  explicit Interpreter(Services services);

  // The reset of the interpreter state done once at program start.
  void Reset();
  void AddLine(std::string text, int n) { script.AddLine(std::move(text), n); }
  RunResult RunScript();
  bool ExecuteLine(std::string_view text, bool embedded);
  bool Dispatch(std::string_view word, std::string args);
  // Jumps to the first line whose first column holds "@" followed by the name (folded).
  bool FindLabel(std::string_view name);

  // Hundredths of a second since the start time, as the TEMPO word reports them.
  int64_t ElapsedHundredths();

  Services svc;
  ScriptStore script;
  VariableStore vars;
  std::vector<std::string> params;  // command-line parameters of the program
  std::array<ScriptList, 20> lists;

  int line_pointer = 1;
  bool error_flag = false;
  bool stop_flag = false;
  bool quiet_end = false;
  bool debug = false;
  std::string command_word;
  std::vector<int> call_stack;
  int io_status = 0;
  std::mt19937 random{12345};
  // The network comes before the channels, so the connections on channels close while it exists.
  Network net{svc.console, svc.keyboard, svc.config, svc.host};
  SocketMarks sockets;    // the SSL mark and the last CONECTA target
  ChannelTable channels;  // #0-#9: files, and the connections of the socket commands
  FileState files;        // the byte buffer, the byte output file and the active search
  Programs programs;      // started children and the piped child
  // The media layer of TOCA and MCI; the program entry gives it the sound device.
  MediaControl media{svc.console, svc.keyboard, svc.host};
  // The screen review that the menu and the line editor open; its search text lasts the run.
  ScreenReview review{svc.console, svc.keyboard, svc.speech};
  // The selection menu of MENU, and the item at which its next run starts.
  SelectionMenu menu{svc.console, svc.keyboard, svc.speech};
  int menu_start_item = 1;
  // The MIDI output of the MIDI command; the program entry gives it the synthesizer.
  Midi midi{svc.console};
  // Desktop automation: synthesised keys and pointer (the program's own messages are handled after
  // each key), other programs' windows, the accessibility objects and the switch matrix. The
  // program entry gives them the platform's backends; until then they report themselves missing.
  KeySynthesis keys{[this] { svc.console.PumpMessages(); }, PlainPause};
  WindowManager* windows = nullptr;
  AccessibilityMonitor accessibility{[this] { svc.console.PumpMessages(); }};
  SwitchMatrix sensor{PlainPause};
  // ALARME's speaker tone; where the platform has none, the tone goes through the wave output.
  SpeakerToneStarter speaker_tone = StartSpeakerTone;

 private:
  int start_weekday_ = 0;
  int64_t start_hundredths_ = 0;
};

// The command families, each defined in the file of its family.
std::span<const CommandEntry> ValueCommands();
std::span<const CommandEntry> ControlCommands();
std::span<const CommandEntry> StringCommands();
std::span<const CommandEntry> ConsoleCommands();
std::span<const CommandEntry> FileCommands();
std::span<const CommandEntry> ProgramCommands();
std::span<const CommandEntry> SocketCommands();
std::span<const CommandEntry> HttpCommands();
std::span<const CommandEntry> TalkCommands();
std::span<const CommandEntry> ListCommands();
std::span<const CommandEntry> MidiCommands();
std::span<const CommandEntry> AutomationCommands();
std::span<const CommandEntry> PendingCommands();

// The title of the window in the foreground (cp1252, cut to max_title bytes); empty when there is
// none or the desktop cannot be reached.
std::string ForegroundWindowTitle(Interpreter& in, size_t max_title);

// Writes and speaks a message given as UTF-8 source text (converted to cp1252).
void SayLine(Interpreter& in, std::string_view utf8_message);

// The channel forms of ESCREVE and LE (the argument text begins with "#").
bool WriteChannel(Interpreter& in, std::string& args);
bool ReadChannel(Interpreter& in, std::string& args);

// Fails a command, or a form of one, that this build does not have yet, saying which.
bool NotYetAvailable(Interpreter& in, std::string_view what);

}  // namespace navelo
