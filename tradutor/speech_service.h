// The speech service: the one door through which the speech front end reaches the platform's
// speech engines. It records the service type, makes the type's engine and drives it with the
// five calls; an engine that cannot start leaves the service inactive, so our own synthesizer
// speaks.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "console/console.h"
#include "platform/speech_engine.h"

namespace navelo {

// Makes the engine of a service type (the platform's MakeSpeechEngine in the program, a fake in
// tests).
using SpeechEngineFactory = std::function<std::unique_ptr<SpeechEngine>(int type, EngineAudio&)>;

class SpeechService {
 public:
  SpeechService(Console& console, EngineAudio& audio, SpeechEngineFactory factory);
  ~SpeechService();
  SpeechService(const SpeechService&) = delete;
  SpeechService& operator=(const SpeechService&) = delete;

  // Starts the engine of type (closing one already running); on success waits, 50 ms between
  // polls, until the engine has no text left (its strict busy test), for at most
  // kStartWaitLimitMs. voice_name is kept for the engines that speak to a file; empty here.
  bool ServiceStart(int voice, int speed, int pitch, std::string_view voice_name, int type);
  void ServiceSpeak(std::string_view text);
  // Lets the console's messages through first.
  bool ServiceBusy(bool strict = false);
  void ServiceStop();
  void ServiceClose();

  int type() const { return type_; }
  bool started() const { return engine_ != nullptr; }
  // Why the last start failed (empty after a successful one).
  const std::string& failure() const { return failure_; }

  static constexpr int kStartWaitLimitMs = 10000;

 private:
  Console& console_;
  EngineAudio& audio_;
  SpeechEngineFactory factory_;
  std::unique_ptr<SpeechEngine> engine_;
  int type_ = 5;
  std::string failure_;
};

}  // namespace navelo
