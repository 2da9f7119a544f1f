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

// TRAZDAREDE url file tone cookie [agent] variable [status [type]]
// The optional status variable receives the final answer's status code (empty when no answer
// came) and the type variable its Content-Type. A script that asks for the status reports the 400
// and 404 answers itself, so the download does not speak them.
bool TrazDaRede(Interpreter& in, std::string& args) {
  std::string url, file, tone, cookie, agent;
  if (!TakeValue(in, args, url) || !TakeValue(in, args, file) || !TakeValue(in, args, tone) ||
      !TakeValue(in, args, cookie)) {
    return false;
  }
  if (!TakeValue(in, args, agent)) agent.clear();
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  int status_slot = -1;
  int type_slot = -1;
  int slot_read = 0;
  if (!args.empty() && TakeVariable(in, args, slot_read)) {
    status_slot = slot_read;
    if (!args.empty() && TakeVariable(in, args, slot_read)) type_slot = slot_read;
  }
  if (tone != "0" && tone != "1") return false;
  DownloadRequest request;
  request.url = url;
  if (!file.empty()) request.file = in.svc.host.Resolve(file);
  request.file_name = file;
  request.tone = tone == "1";
  request.cookie = cookie;
  request.agent = agent;
  request.say_http_errors = status_slot < 0;
  InterpreterDownloadUi ui(in);
  DownloadAnswer answer;
  in.vars.Slot(slot).assign(1, HttpDownload(in.net, ui, request, &answer) ? '0' : '1');
  if (status_slot >= 0) {
    in.vars.Slot(status_slot) = answer.status > 0 ? std::to_string(answer.status) : std::string();
  }
  if (type_slot >= 0) in.vars.Slot(type_slot) = answer.content_type;
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
