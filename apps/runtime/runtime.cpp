// Program entry: wiring, start-up, the single run of the script and the final report.
#include "apps/runtime/runtime.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "config/config.h"
#include "config/host_env.h"
#include "console/key_script.h"
#include "console/line_reader.h"
#include "console/scripted_keyboard.h"
#include "console/text_console.h"
#include "interp/interpreter.h"
#include "interp/text.h"
#include "platform/clock.h"
#include "platform/terminal.h"
#include "platform/text_encoding.h"
#include "platform/transcript.h"
#include "tradutor/transcript_speech.h"

namespace navelo {
namespace {

// The transcript outlives every exit path, so the exit event is always recorded.
Transcript* g_transcript = nullptr;

[[noreturn]] void EndProgram(int code) {
  if (g_transcript != nullptr) g_transcript->Record("exit", std::to_string(code));
  TerminalRestore();
  std::exit(code);
}

std::string EnvOr(const char* name, const char* fallback = "") {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

// Which console backend: NAVELO_CONSOLE, else the terminal when standard output is one, else
// headless. The window backend arrives with the console window; until then "window" falls back
// the same way.
bool ShowOnTerminal() {
  const std::string mode = EnvOr("NAVELO_CONSOLE");
  if (mode == "headless") return false;
  if (mode == "terminal") return true;
  return StdoutIsTerminal();
}

void StartProgram(Interpreter& in, const std::string& script_name) {
  Config& config = in.svc.config;
  // The sounds directory of the language goes to the speech layer when it starts.
  (void)config.Read("TRAMELIS", "DIRTRAMELIS");
  in.svc.console.ClearScreen();
  in.svc.console.SetTitle("TRAMELIS");
  // The script directory is visited and left at once: the script starts in the directory the
  // program was started from, and a missing directory is ignored.
  std::error_code error;
  const auto start_dir = std::filesystem::current_path(error);
  std::string default_dir = config.Read("TRAMELIS", "DIRDEFAULT");
  if (default_dir.empty()) default_dir = "c:\\ubrimo\\scripts";
  std::filesystem::current_path(in.svc.host.Resolve(default_dir), error);
  if (!start_dir.empty()) std::filesystem::current_path(start_dir, error);
  in.svc.console.SetTitle(script_name);
}

void ReportResult(Interpreter& in) {
  const RunResult result = in.RunScript();
  if (result.result == 0) {
    if (!in.quiet_end) in.svc.speech.Speak("Fim do script");
    return;
  }
  in.svc.console.ShowNormal();
  in.svc.speech.Speak(Utf8ToCp1252("Erro de execução na linha "));
  in.svc.speech.SpeakWriteNumber(result.line);
  in.svc.console.Write("\r\n");
  ConsoleReadLine(in.svc.keyboard, in.svc.console);
}

// Keys come from the NAVELO_KEYS file when one is named, else from the terminal.
std::unique_ptr<Keyboard> MakeKeyboard(Console& console, std::string& key_error) {
  const std::string key_file = EnvOr("NAVELO_KEYS");
  if (key_file.empty()) return std::make_unique<TerminalKeyboard>(console, EndProgram);
  std::ifstream in(key_file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) key_error = "NAVELO_KEYS: " + key_file;
  KeyScriptResult parsed = ParseKeyScript(text);
  if (!parsed.error.empty()) key_error = "NAVELO_KEYS: " + parsed.error;
  return std::make_unique<ScriptedKeyboard>(
      std::move(parsed.keys), console, [](int code) { EndProgram(code); },
      [] { EndProgram(0); });
}

}  // namespace

std::vector<std::string> SplitScriptText(std::string_view bytes) {
  std::string text;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    text = Utf8ToCp1252(bytes.substr(3));
  } else {
    text = std::string(bytes);
  }
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(line));
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

void RunProgram(const ProgramOptions& options) {
  static Transcript transcript_none;
  const std::string transcript_path = EnvOr("NAVELO_TRANSCRIPT");
  static std::unique_ptr<Transcript> transcript_file;
  if (!transcript_path.empty()) transcript_file = std::make_unique<Transcript>(transcript_path);
  Transcript& transcript = transcript_file ? *transcript_file : transcript_none;
  g_transcript = &transcript;

  static HostEnvironment host(ProcessEnvironment());
  static Config config(host);
  static TextConsole console(transcript, ShowOnTerminal());
  std::string key_error;
  static std::unique_ptr<Keyboard> keyboard = MakeKeyboard(console, key_error);
  static TranscriptSpeech speech(console, *keyboard, transcript);
  static Interpreter interpreter(Services{console, *keyboard, speech, config, host, SystemClock()});

  // Interpreter initialisation comes first, so TEMPO counts the start-up too.
  interpreter.Reset();
  if (!key_error.empty()) {
    speech.SpeakWriteLine(key_error);
    EndProgram(2);
  }
  if (!options.startup_error.empty()) {
    speech.SpeakWriteLine(options.startup_error);
    EndProgram(2);
  }
  interpreter.params = options.params;
  StartProgram(interpreter, options.script_name);
  for (size_t i = 0; i < options.lines.size(); ++i) {
    interpreter.AddLine(options.lines[i], static_cast<int>(i) + 1);
  }
  ReportResult(interpreter);
  EndProgram(0);
}

}  // namespace navelo
