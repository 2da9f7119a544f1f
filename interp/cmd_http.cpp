// The HTTP commands: TRAZDAREDE downloads a URL into a file, HTTP percent-encodes a variable.
#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"
#include "net/http_download.h"
#include "net/url.h"

namespace navelo {
namespace {

// The download speaks and listens through the interpreter's speech and keyboard.
class InterpreterDownloadUi final : public DownloadUi {
 public:
  explicit InterpreterDownloadUi(Interpreter& in) : in_(in) {}
  void SayLine(std::string_view text) override { in_.svc.speech.SpeakWriteLine(text); }
  void Speak(std::string_view text) override { in_.svc.speech.Speak(text); }
  void Show(std::string_view text) override { in_.svc.console.Write(text); }
  void ShortTone() override { in_.svc.speech.ShortTone(); }
  bool KeyPressed() override { return in_.svc.keyboard.KeyPressed(); }
  unsigned char ReadKey() override { return in_.svc.keyboard.ReadKey(); }
  unsigned char ReadKeySpoken() override { return in_.svc.speech.ReadKeySpoken(); }

 private:
  Interpreter& in_;
};

// TRAZDAREDE url file tone cookie [agent] variable
bool TrazDaRede(Interpreter& in, std::string& args) {
  std::string url, file, tone, cookie, agent;
  if (!TakeValue(in, args, url) || !TakeValue(in, args, file) || !TakeValue(in, args, tone) ||
      !TakeValue(in, args, cookie)) {
    return false;
  }
  if (!TakeValue(in, args, agent)) agent.clear();
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  if (tone != "0" && tone != "1") return false;
  DownloadRequest request;
  request.url = url;
  if (!file.empty()) request.file = in.svc.host.Resolve(file);
  request.file_name = file;
  request.tone = tone == "1";
  request.cookie = cookie;
  request.agent = agent;
  InterpreterDownloadUi ui(in);
  in.vars.Slot(slot).assign(1, HttpDownload(in.net, ui, request) ? '0' : '1');
  return true;
}

// HTTP $variable: the variable's text, percent-encoded in place.
bool Http(Interpreter& in, std::string& args) {
  std::string rest = args;
  std::string value;
  if (!TakeValue(in, rest, value)) return false;
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  in.vars.Slot(slot) = PercentEncode(value);
  return true;
}

constexpr CommandEntry kEntries[] = {
    {"TRAZDAREDE", TrazDaRede},
    {"HTTP", Http},
};

}  // namespace

std::span<const CommandEntry> HttpCommands() { return kEntries; }

}  // namespace navelo
