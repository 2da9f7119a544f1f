// Speech, sound and screen commands: FALA, SOLETRA, FALAHORA, BIPA, TELA, COR, FUNDO, TITULO,
// TOCA, MCI, MENSAGEM and SINTCONFIG.
#include "console/console_settings.h"
#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"
#include "tradutor/media_control.h"

namespace navelo {
namespace {

// The window title and the answer of the media layer are cut to these many bytes.
constexpr size_t kMaxTitle = 300;
constexpr size_t kMaxMediaAnswer = 1024;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool Fala(Interpreter& in, std::string& args) {
  const bool no_wait = TakeTrailingAmpersand(args);
  Speech& speech = in.svc.speech;
  bool ok = true;
  if (args.empty()) {
    speech.SpeechStop();
  } else {
    std::string joined;
    ok = JoinValues(in, args, joined);
    speech.Speak(joined);
  }
  if (!no_wait) speech.WaitWhileBusy();
  return ok;
}

bool Soletra(Interpreter& in, std::string& args) {
  if (args.empty()) return false;
  std::string value;
  if (!TakeValue(in, args, value)) value.clear();
  in.svc.speech.SpellText(value);
  in.svc.console.Write(value);
  in.svc.speech.WaitWhileBusy();
  return true;
}

bool FalaHora(Interpreter& in, std::string& args) {
  if (args.empty()) return false;
  std::string value;
  if (!TakeValue(in, args, value)) return false;
  // Only hh:mm with digits: "9:30" or "ab:cd" fail rather than speak a wrong hour.
  if (value.size() != 5 || value[2] != ':') return false;
  for (size_t i : {0u, 1u, 3u, 4u}) {
    if (!IsDigit(value[i])) return false;
  }
  const int hour = (value[0] - '0') * 10 + (value[1] - '0');
  const int minute = (value[3] - '0') * 10 + (value[4] - '0');
  in.svc.speech.SpeakTime(hour, minute);
  in.svc.speech.WaitWhileBusy();
  return true;
}

bool Bipa(Interpreter& in, std::string& args) {
  std::string value = "0";
  if (!args.empty() && !TakeValue(in, args, value)) return false;
  if (value == "1") {
    in.svc.speech.ShortTone();
  } else {
    in.svc.speech.LongTone();
  }
  return true;
}

bool Tela(Interpreter& in, std::string& args) {
  if (args.empty()) return false;
  std::string word = FoldUpper(args);
  // A single letter names the letter variable that holds the word.
  if (word.size() == 1 && word[0] >= 'A' && word[0] <= 'Z') {
    word = in.vars.Slot(static_cast<unsigned char>(word[0]));
  }
  Console& console = in.svc.console;
  if (word == "LIMPA") {
    console.ClearScreen();
    return true;
  }
  if (word == "MINIMIZADA") {
    console.Minimize();
    return true;
  }
  if (word == "NORMAL") {
    console.ShowNormal();
    return true;
  }
  if (word.empty() || word[0] != '@') return false;
  const size_t comma = word.find(',');
  if (comma == std::string::npos) return false;
  const auto x = ParseInteger(Trim(std::string_view(word).substr(1, comma - 1)));
  const auto y = ParseInteger(Trim(std::string_view(word).substr(comma + 1)));
  if (!x || !y) return false;
  console.GotoXY(*x, *y);
  return true;
}

// COR and FUNDO: a colour number; the text after it is ignored.
bool ColourValue(Interpreter& in, std::string& args, int& colour) {
  if (args.empty()) return false;
  std::string value;
  if (!TakeValue(in, args, value)) return false;
  const auto number = ParseInteger(value);
  if (!number) return false;
  colour = *number;
  return true;
}

bool Cor(Interpreter& in, std::string& args) {
  int colour = 0;
  if (!ColourValue(in, args, colour)) return false;
  in.svc.console.SetTextColor(colour);
  return true;
}

bool Fundo(Interpreter& in, std::string& args) {
  int colour = 0;
  if (!ColourValue(in, args, colour)) return false;
  in.svc.console.SetTextBackground(colour);
  return true;
}

bool Titulo(Interpreter& in, std::string& args) {
  if (args.empty()) return false;
  std::string value;
  if (!TakeValue(in, args, value)) value.clear();
  if (value.size() > kMaxTitle) value.resize(kMaxTitle);
  in.svc.console.SetTitle(value);
  return true;
}

bool Toca(Interpreter& in, std::string& args) {
  const bool no_wait = TakeTrailingAmpersand(args);
  std::string file;
  if (!TakeValue(in, args, file) || !args.empty()) return false;
  MediaControl& media = in.media;
  if (no_wait) {
    media.Send("play " + file);
    return true;
  }
  media.Send("open \"" + file + "\" alias myfile");
  media.Send("play myfile");
  Keyboard& keys = in.svc.keyboard;
  for (;;) {
    in.svc.console.Delay(100);
    const MciReply mode = media.Send("status myfile mode");
    if (keys.KeyPressed() || mode.answer != "playing") break;
  }
  // The key that ended the sound early is taken, so it does not also act on what comes next.
  while (keys.KeyPressed()) keys.ReadKey();
  media.Send("stop myfile");
  media.Send("close myfile");
  return true;
}

bool Mci(Interpreter& in, std::string& args) {
  int slot = 0;
  std::string command;
  if (!TakeVariable(in, args, slot) || !TakeValue(in, args, command) || !args.empty()) {
    return false;
  }
  std::string answer = in.media.Send(command).answer;
  if (answer.size() > kMaxMediaAnswer) answer.resize(kMaxMediaAnswer);
  in.vars.Slot(slot) = std::move(answer);
  return true;
}

bool Mensagem(Interpreter& in, std::string& args) {
  if (args.empty()) return false;
  std::string name;
  if (!TakeValue(in, args, name)) return false;
  name = FoldUpper(name);
  if (name.find(".WAV") == std::string::npos) name += ".WAV";
  in.svc.speech.PlayWaveFile(name);
  return true;
}

// A configured number: its leading digits, empty meaning 0.
std::string ConfiguredNumber(Interpreter& in, std::string_view section, std::string_view key) {
  return std::to_string(LeadingInteger(in.svc.config.Read(section, key)));
}

bool SintConfig(Interpreter& in, std::string& args) {
  std::string values[6];
  for (std::string& value : values) {
    if (args.empty() || !TakeValue(in, args, value)) return false;
  }
  const auto mode_number = ParseInteger(values[0]);
  if (!mode_number || *mode_number < 0 || *mode_number > 2) return false;
  // Mode "2" takes the configured choice; the service is used only for a mode of exactly "1".
  bool use_service = values[0] == "1";
  if (values[0] == "2") {
    const std::string sapi = in.svc.config.Read("TRADUTOR", "SAPI");
    use_service = !sapi.empty() && (sapi[0] == 'S' || sapi[0] == 's');
  }
  static constexpr std::string_view kConfigured[5][2] = {{"tradutor", "VELOCIDADE"},
                                                         {"servfala", "TIPOSAPI"},
                                                         {"servfala", "VOZ"},
                                                         {"servfala", "VELOCIDADE"},
                                                         {"servfala", "TOM"}};
  int numbers[5];
  for (int i = 0; i < 5; ++i) {
    std::string& value = values[i + 1];
    if (value == "-1") value = ConfiguredNumber(in, kConfigured[i][0], kConfigured[i][1]);
    const auto number = ParseInteger(value);
    if (!number) return false;
    numbers[i] = *number;
  }
  in.svc.speech.SpeechReconfigure(numbers[0], use_service, numbers[1], numbers[2], numbers[3],
                                  numbers[4]);
  return true;
}

constexpr CommandEntry kEntries[] = {
    {"FALA", Fala},         {"SOLETRA", Soletra}, {"FALAHORA", FalaHora},
    {"BIPA", Bipa},         {"TELA", Tela},       {"COR", Cor},
    {"FUNDO", Fundo},       {"TITULO", Titulo},   {"T\xCDTULO", Titulo},
    {"TOCA", Toca},         {"MCI", Mci},         {"MENSAGEM", Mensagem},
    {"SINTCONFIG", SintConfig},
};

}  // namespace

std::span<const CommandEntry> TalkCommands() { return kEntries; }

}  // namespace navelo
