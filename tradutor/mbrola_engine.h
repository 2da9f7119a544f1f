// The Portuguese engine of service type 3: our own front end (tradutor/pho_front_end.h) turns
// each text into .pho lines, and an MBROLA back end turns them into 16 kHz samples, played
// through the engine audio in pieces of at most 64000 bytes. The back end is the MBROLA library
// when it is installed, else the `mbrola` program with a voice database, else our stand-in
// synthesizer over the host kit's unit set; with none of them the start fails and our diphone
// synthesizer speaks.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/config.h"
#include "config/host_env.h"
#include "platform/mbrola_backend.h"
#include "platform/speech_engine.h"
#include "tradutor/pho_front_end.h"

namespace navelo {

inline constexpr int kMbrolaRate = 16000;
inline constexpr size_t kMbrolaBufferBytes = 64000;
inline constexpr size_t kMbrolaMinimumPlayBytes = 256;

struct MbrolaEngineWiring {
  const Config& config;
  const HostEnvironment& host;
  EngineAudio& audio;
  // Problems of the data files, shown to the user (cp1252).
  PhoMessageSink show;
  // The mbrola program; empty: "mbrola" along the search path.
  std::string program;
};

class MbrolaEngine final : public SpeechEngine {
 public:
  explicit MbrolaEngine(MbrolaEngineWiring wiring);
  ~MbrolaEngine() override;

  bool Start(int voice, int speed, int pitch, std::string& reason) override;
  void Speak(std::string_view text) override;
  bool Busy(bool strict) override;
  void Stop() override;
  void Close() override;

  // Synthesizes and plays .pho lines; false when the back end failed (it is then restarted).
  bool SpeakPho(const std::vector<std::string>& lines);

  const PhoFrontEnd& front_end() const { return front_; }
  // The back end in use ("library", "program", "stand-in"), empty before a start.
  std::string backend_kind() const { return backend_ ? backend_->Kind() : ""; }
  const std::string& database() const { return database_; }
  const std::string& last_error() const { return last_error_; }

 private:
  // The engine's folder and base name, and the voice database, from navelo.ini.
  void ReadSettings();
  std::unique_ptr<MbrolaBackend> ChooseBackend(std::string& reason);
  std::unique_ptr<MbrolaBackend> MakeBackend(const std::string& kind, std::string& reason);
  void Restart();
  bool Play(std::vector<int16_t>& pending);

  MbrolaEngineWiring wiring_;
  PhoFrontEnd front_;
  std::unique_ptr<MbrolaBackend> backend_;
  std::string kind_;
  std::string database_;       // native path of the voice database
  std::string engine_stem_;    // native path of DIR + BASE
  std::string last_error_;
  bool speaking_ = false;
  bool stopped_ = false;
};

std::unique_ptr<SpeechEngine> MakeMbrolaEngine(MbrolaEngineWiring wiring);

}  // namespace navelo
