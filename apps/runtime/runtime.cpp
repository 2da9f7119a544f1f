// Program entry: wiring, start-up, the single run of the script and the final report.
#include "apps/runtime/runtime.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>

#include "config/config.h"
#include "config/host_env.h"
#include "console/key_script.h"
#include "console/line_reader.h"
#include "console/scripted_keyboard.h"
#include "console/console_window.h"
#include "interp/interpreter.h"
#include "interp/text.h"
#include "platform/braille_display.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/process.h"
#include "platform/terminal.h"
#include "platform/text_encoding.h"
#include "platform/transcript.h"
#include "platform/audio.h"
#include "platform/shared_audio.h"
#include "platform/locked_audio.h"
#include "platform/message_box.h"
#include "platform/desktop.h"
#include "platform/midi_output.h"
#include "platform/speech_engine.h"
#include "tradutor/diphone_speech.h"
#include "tradutor/mbrola_engine.h"
#include "tradutor/wave_player.h"

namespace navelo {
namespace {

// The transcript and the console outlive every exit path, so the exit event is always recorded
// and the screen always written.
Transcript* g_transcript = nullptr;
ConsoleWindow* g_console = nullptr;
bool g_run_failed = false;

std::string EnvOr(const char* name, const char* fallback = "") {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

// The exit step: a program that ends normally says so in its title; NAVELO_SCREEN receives the
// console's 25 rows.
[[noreturn]] void EndProgram(int code) {
  if (g_console != nullptr) {
    ConsoleWindow* console = g_console;
    g_console = nullptr;  // an end requested while ending ends at once
    if (code == 0 && !g_run_failed) console->ProgramFinished();
    const std::string screen_file = EnvOr("NAVELO_SCREEN");
    if (!screen_file.empty()) {
      std::ofstream screen(screen_file, std::ios::binary | std::ios::trunc);
      screen << console->ScreenText();
    }
  }
  if (g_transcript != nullptr) g_transcript->Record("exit", std::to_string(code));
  TerminalRestore();
  std::exit(code);
}

// Which console backend (NAVELO_CONSOLE): "window", "terminal" or "headless"; by default the
// window when a display can be reached, else the terminal when standard output is one or the user
// types in it (standard input is the controlling terminal, as in `bexilo | tee log`), else
// headless, which is said on standard error since nothing else would show it. A headless console
// reads its keys from standard input unless a key file types them.
std::unique_ptr<Display> MakeDisplay(bool keys_from_file) {
  const std::string mode = EnvOr("NAVELO_CONSOLE");
  if (mode == "headless") return MakeHeadlessDisplay(!keys_from_file);
  if (mode == "terminal") return MakeTerminalDisplay();
  if (DisplayAvailable()) {
    if (auto window = MakeWindowDisplay()) return window;
  }
  if (mode == "window") std::fprintf(stderr, "NAVELO_CONSOLE: no window can be opened here\n");
  if (StdoutIsTerminal() || StdinIsControllingTerminal()) return MakeTerminalDisplay();
  std::fprintf(stderr,
               "navelo: headless console (no display, and no terminal to draw in); keys come from "
               "%s\n",
               keys_from_file ? "NAVELO_KEYS" : "standard input");
  return MakeHeadlessDisplay(!keys_from_file);
}

void StartProgram(Interpreter& in, const std::string& script_name) {
  Config& config = in.svc.config;
  // The speech layer starts with the sounds directory of the language; without its voice
  // database it reports the error and ends the program.
  in.svc.speech.SpeechInit(0, config.Read("TRAMELIS", "DIRTRAMELIS"));
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
  g_run_failed = true;
  in.svc.console.ShowNormal();
  in.svc.speech.Speak(Utf8ToCp1252("Erro de execução na linha "));
  in.svc.speech.SpeakWriteNumber(result.line);
  in.svc.console.Write("\r\n");
  ConsoleReadLine(in.svc.keyboard, in.svc.console);
}

// Where sound goes (NAVELO_AUDIO): "null", a ".wav" file that captures everything played, or the
// sound device ("device", the default). Without a usable device the program runs silent rather
// than not at all; an explicit request says why on standard error.
std::unique_ptr<AudioOutput> MakeAudio() {
  const std::string mode = EnvOr("NAVELO_AUDIO");
  std::string error;
  if (mode == "null") return MakeNullAudio();
  if (mode.size() > 4 && FoldUpper(mode.substr(mode.size() - 4)) == ".WAV") {
    if (auto capture = MakeWavCaptureAudio(mode, error)) return capture;
    std::fprintf(stderr, "NAVELO_AUDIO: %s\n", error.c_str());
    return MakeNullAudio();
  }
  if (auto device = MakeDeviceAudio(error)) return device;
  if (mode == "device") std::fprintf(stderr, "NAVELO_AUDIO: %s\n", error.c_str());
  return MakeNullAudio();
}

// The media layer of TOCA and MCI plays on a second stream of the sound device when the device
// gives one, so a sound started with "&" plays on under speech. Otherwise (null output, a capture
// file, a device with one stream) nullptr: the media layer and speech then share one output.
std::unique_ptr<AudioOutput> MakeMediaStream() {
  const std::string mode = EnvOr("NAVELO_AUDIO");
  if (mode == "null" || (mode.size() > 4 && FoldUpper(mode.substr(mode.size() - 4)) == ".WAV")) {
    return nullptr;
  }
  std::string error;
  return MakeDeviceAudio(error);
}

// A channel of the shared output, reached through the lock that all its channels share.
struct SharedChannel {
  SharedChannel(SharedAudio& shared, std::mutex& lock)
      : channel(shared.NewChannel()), locked(*channel, lock) {}
  std::unique_ptr<AudioOutput> channel;
  LockedAudio locked;
};

// Keys come from the NAVELO_KEYS file when one is named, else from the console's display.
void UseKeyFile(ConsoleWindow& console, std::string& key_error) {
  const std::string key_file = EnvOr("NAVELO_KEYS");
  if (key_file.empty()) return;
  std::ifstream in(key_file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) key_error = "NAVELO_KEYS: " + key_file;
  KeyScriptResult parsed = ParseKeyScript(text);
  if (!parsed.error.empty()) key_error = "NAVELO_KEYS: " + parsed.error;
  console.UseKeyScript(std::move(parsed.keys));
}

}  // namespace

void RunProgram(const ProgramOptions& options) {
  static Transcript transcript_none;
  const std::string transcript_path = EnvOr("NAVELO_TRANSCRIPT");
  static std::unique_ptr<Transcript> transcript_file;
  if (!transcript_path.empty()) transcript_file = std::make_unique<Transcript>(transcript_path);
  Transcript& transcript = transcript_file ? *transcript_file : transcript_none;
  g_transcript = &transcript;

  static HostEnvironment host(ProcessEnvironment());
  static Config config(host);
  static std::unique_ptr<Display> display = MakeDisplay(!EnvOr("NAVELO_KEYS").empty());
  // The braille-mode tones are recorded; they sound once a wave output is wired to them.
  static SilentToneOutput tones;
  // A braille display (brltty running, here or at BRLAPI_HOST) shows the row under the cursor and
  // types into the key queue; made first so it outlives the console.
  static std::unique_ptr<BrailleDisplay> braille = MakeBrailleDisplay();
  static ConsoleWindow console(ConsoleWindow::Wiring{
      *display, transcript, tones,
      [] { return FindEntry(PathFromUtf8(config.UserConfigDir()), "navelo.ini"); },
      [](int code) { EndProgram(code); }});
  g_console = &console;
  if (TakeStartShowState() == "minimized" || options.start_minimised) console.StartMinimised();
  console.UseBraille(*braille);
  std::string key_error;
  UseKeyFile(console, key_error);
  Keyboard* keyboard = &console;
  static std::unique_ptr<AudioOutput> audio = MakeAudio();
  // Every output is made before its users (the wave player, the interpreter's media layer), so
  // it outlives them at the program's end.
  static std::unique_ptr<AudioOutput> media_stream = MakeMediaStream();
  // The MIDI synthesizer renders on a thread of its own: on a third stream when the device gives
  // one; otherwise speech, media and MIDI are channels of one output behind one lock.
  static std::unique_ptr<AudioOutput> midi_stream = media_stream ? MakeMediaStream() : nullptr;
  if (!midi_stream) media_stream.reset();
  static SharedAudio shared_audio(*audio);
  static std::mutex shared_lock;
  static std::optional<SharedChannel> speech_channel, media_channel, midi_channel;
  if (!media_stream) {
    speech_channel.emplace(shared_audio, shared_lock);
    media_channel.emplace(shared_audio, shared_lock);
    midi_channel.emplace(shared_audio, shared_lock);
  }
  static WavePlayer wave(speech_channel ? speech_channel->locked : *audio, console, *keyboard,
                         host);
  static DiphoneSpeech speech(console, *keyboard, config, host, wave, transcript,
                              [](int code) { EndProgram(code); });
  // The platform's voices (espeak-ng, speech-dispatcher) when navelo.ini asks for a service, and
  // our MBROLA-based Portuguese engine for service type 3. Problems of the engine's data files
  // are shown in the platform's message box, or written and spoken where it has none.
  speech.SetEngineFactory([](int type, EngineAudio& engine_audio) -> std::unique_ptr<SpeechEngine> {
    if (type != 3) return MakeSpeechEngine(type, engine_audio);
    return MakeMbrolaEngine(MbrolaEngineWiring{config, host, engine_audio,
                                               [](const std::string& text) {
                                                 if (!ShowMessageBox("Soranatts", text)) {
                                                   speech.SpeakWriteLine(text);
                                                 }
                                               },
                                               ""});
  });
  static Interpreter interpreter(Services{console, *keyboard, speech, config, host, SystemClock()});
  interpreter.media.UseOutput(media_channel ? media_channel->locked : *media_stream, &transcript);
  static std::unique_ptr<MidiOutput> midi =
      MakeSynthMidi(midi_channel ? midi_channel->locked : *midi_stream, [] {
        const std::string setting = Trim(config.Read("MIDI", "FONTESONORA"));
        if (setting.empty() || FoldUpper(setting) == "GRANDE") return setting;
        return host.Resolve(setting).string();
      });
  interpreter.midi.UseOutput(*midi);
  // The desktop of other programs, reached when a script first asks.
  static std::unique_ptr<InputSynthesizer> input = MakeInputSynthesizer();
  static std::unique_ptr<WindowManager> windows = MakeWindowManager();
  static std::unique_ptr<AccessibilityBackend> accessibility = MakeAccessibilityBackend();
  static std::unique_ptr<ParallelPort> parallel_port = MakeParallelPort();
  interpreter.keys.UseInput(*input);
  interpreter.windows = windows.get();
  interpreter.accessibility.UseBackend(*accessibility);
  interpreter.sensor.UsePort(*parallel_port);

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
