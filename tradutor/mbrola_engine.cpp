// The MBROLA-based Portuguese engine: settings, the choice of back end, and synthesis in
// 64000-byte pieces.
#include "tradutor/mbrola_engine.h"

#include <algorithm>
#include <filesystem>

#include "platform/host_system.h"
#include "platform/process.h"
#include "tradutor/pho_synthesizer.h"

namespace navelo {
namespace {

std::string TrimText(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return std::string(text.substr(b, e - b));
}

std::string WithBackslash(std::string dir) {
  if (dir.empty() || (dir.back() != '\\' && dir.back() != '/')) dir += '\\';
  return dir;
}

bool IsFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// The samples a read asks for at most.
constexpr int kReadSamples = 64000;

}  // namespace

MbrolaEngine::MbrolaEngine(MbrolaEngineWiring wiring) : wiring_(std::move(wiring)) {}

MbrolaEngine::~MbrolaEngine() { Close(); }

void MbrolaEngine::ReadSettings() {
  const Config& config = wiring_.config;
  std::string db = TrimText(config.Read("SORANATTS", "MBROLA_DB"));
  if (db.empty()) db = "br4";
  std::string dir = TrimText(config.Read("SORANATTS", "DIR"));
  if (dir.empty()) {
    // The folder of the installed Brazilian voice, without its file name.
    const auto installed = RegistryReadString(RegistryRoot::kLocalMachine,
                                              "SOFTWARE\\TCTS\\Mbrola\\databases\\BR4\\");
    if (installed && installed->size() > 3) dir = installed->substr(0, installed->size() - 3);
  }
  if (dir.empty()) dir = "\\ubrimo\\soranatts\\";
  std::string base = TrimText(config.Read("SORANATTS", "BASE"));
  if (base.empty()) base = "portug";
  engine_stem_ = wiring_.host.Resolve(WithBackslash(dir) + base).string();

  const auto registered = RegistryReadString(
      RegistryRoot::kLocalMachine, "SOFTWARE\\TCTS\\Mbrola\\databases\\" + db + "\\");
  database_ = wiring_.host.Resolve(registered ? *registered : "c:\\ubrimo\\soranatts\\" + db).string();
}

std::unique_ptr<MbrolaBackend> MbrolaEngine::MakeBackend(const std::string& kind,
                                                         std::string& reason) {
  if (kind == "library") {
    const std::string file = MbrolaLibraryFileName();
    std::vector<std::string> candidates;
    candidates.push_back((std::filesystem::path(wiring_.host.ProgramDir()) / file).string());
    candidates.push_back(wiring_.host.Resolve("c:\\ubrimo\\" + file).string());
    candidates.push_back(wiring_.host.Resolve("c:\\ubrimo\\soranatts\\" + file).string());
    return LoadMbrolaLibrary(candidates, reason);
  }
  if (kind == "program") {
    std::string program = wiring_.program;
    if (program.empty()) program = FindInSearchPath("mbrola");
    return MakeMbrolaProgram(program, reason);
  }
  return MakePhoSynthesizer(reason);
}

std::unique_ptr<MbrolaBackend> MbrolaEngine::ChooseBackend(std::string& reason) {
  std::string why;
  if (auto library = MakeBackend("library", why)) {
    kind_ = "library";
    return library;
  }
  reason = why;
  std::string program_database = database_;
  if (!IsFile(program_database)) {
    // Where Linux distributions install a voice.
    const std::string name = std::filesystem::path(database_).filename().string();
    program_database = "/usr/share/mbrola/" + name + "/" + name;
  }
  if (IsFile(program_database)) {
    if (auto program = MakeBackend("program", why)) {
      kind_ = "program";
      database_ = program_database;
      return program;
    }
    reason += "; " + why;
  } else {
    reason += "; no MBROLA voice database";
  }
  const std::string units = engine_stem_ + ".uni";
  if (IsFile(units)) {
    if (auto stand_in = MakeBackend("stand-in", why)) {
      kind_ = "stand-in";
      database_ = units;
      return stand_in;
    }
    reason += "; " + why;
  } else {
    reason += "; no unit set for the stand-in voice";
  }
  return nullptr;
}

bool MbrolaEngine::Start(int, int speed, int pitch, std::string& reason) {
  Close();
  ReadSettings();
  std::unique_ptr<MbrolaBackend> backend = ChooseBackend(reason);
  if (!backend) return false;
  if (backend->Init(database_) < 0) {
    reason = "the MBROLA voice " + database_ + " did not start";
    const std::string error = backend->LastError();
    if (!error.empty()) reason += ": " + error;
    backend->Close();
    return false;
  }
  last_error_ = front_.LoadFiles(engine_stem_, wiring_.show);
  if (!last_error_.empty()) {
    reason = last_error_;
    backend->Close();
    return false;
  }
  backend->SetNoError(0);
  // The service's speed runs from -10 to 10; beyond that the durations would vanish.
  front_.SetVoice(std::clamp(speed, -10, 10), pitch);
  backend_ = std::move(backend);
  return true;
}

void MbrolaEngine::Speak(std::string_view text) {
  if (!backend_) return;
  SpeakPho(front_.TextToPho(text));
}

bool MbrolaEngine::Play(std::vector<int16_t>& pending) {
  const bool go_on = wiring_.audio.Play(pending.data(), pending.size(), kMbrolaRate);
  pending.clear();
  if (!go_on) stopped_ = true;
  return go_on;
}

bool MbrolaEngine::SpeakPho(const std::vector<std::string>& lines) {
  if (!backend_ || lines.empty()) return true;
  speaking_ = true;
  stopped_ = false;
  backend_->Reset();
  backend_->SetNoError(-63);
  bool ok = true;
  for (size_t i = 0; i < lines.size() && ok; ++i) {
    if (lines[i].empty() && i + 1 != lines.size()) continue;
    ok = backend_->Write(lines[i] + "\r\n") >= 0;
  }
  if (ok) ok = backend_->Flush() >= 0;
  std::vector<int16_t> read(kReadSamples);
  std::vector<int16_t> pending;
  pending.reserve(kMbrolaBufferBytes / 2);
  while (ok && !stopped_) {
    const int n = backend_->Read(read.data(), kReadSamples);
    if (n < 0) ok = false;
    if (n <= 0) break;
    for (int k = 0; k < n && !stopped_;) {
      // The buffer is played before it would reach 64000 bytes.
      const size_t room = kMbrolaBufferBytes / 2 - 1 - pending.size();
      const size_t take = std::min(room, static_cast<size_t>(n - k));
      pending.insert(pending.end(), read.begin() + k, read.begin() + k + static_cast<long>(take));
      k += static_cast<int>(take);
      if (pending.size() == kMbrolaBufferBytes / 2 - 1) Play(pending);
    }
  }
  if (ok && !stopped_) {
    if (pending.size() * 2 < kMbrolaMinimumPlayBytes) pending.resize(kMbrolaMinimumPlayBytes / 2, 0);
    Play(pending);
  }
  speaking_ = false;
  if (!ok) {
    last_error_ = backend_->LastError();
    Restart();
  }
  return ok;
}

void MbrolaEngine::Restart() {
  backend_->Close();
  std::string reason;
  backend_ = MakeBackend(kind_, reason);
  if (backend_ && backend_->Init(database_) < 0) {
    backend_->Close();
    backend_.reset();
  }
  if (backend_) backend_->SetNoError(0);
}

bool MbrolaEngine::Busy(bool) { return speaking_; }

void MbrolaEngine::Stop() { stopped_ = true; }

void MbrolaEngine::Close() {
  stopped_ = true;
  if (backend_) backend_->Close();
  backend_.reset();
}

std::unique_ptr<SpeechEngine> MakeMbrolaEngine(MbrolaEngineWiring wiring) {
  return std::make_unique<MbrolaEngine>(std::move(wiring));
}

}  // namespace navelo
