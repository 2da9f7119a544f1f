// The speech front end: start-up from navelo.ini, Speak with its digits, words, signs and
// punctuation pauses, letter and prompt sounds, the tones, spoken keys, numbers, hours and dates,
// all spoken by the diphone synthesizer through the wave player, or the texts handed to a speech
// service (a platform voice) when the configuration asks for one and it starts.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "config/config.h"
#include "config/host_env.h"
#include "platform/transcript.h"
#include "tradutor/diphone_database.h"
#include "tradutor/speech.h"
#include "tradutor/speech_service.h"
#include "tradutor/synthesizer.h"
#include "tradutor/text_to_phonemes.h"
#include "tradutor/wave_player.h"

namespace navelo {

inline constexpr const char* kDatabaseName = "DIFONES2";

class DiphoneSpeech final : public Speech, private SynthesizerSink, private EngineAudio {
 public:
  // end_program ends the process after a failed start (it does not return in the program).
  DiphoneSpeech(Console& console, Keyboard& keyboard, Config& config, const HostEnvironment& host,
                WavePlayer& wave, Transcript& transcript, std::function<void(int)> end_program,
                uint32_t seed = 1);

  // The engines the speech service may start; without a factory every start fails and the
  // diphone synthesizer speaks.
  void SetEngineFactory(SpeechEngineFactory factory);

  int SpeechInit(int speed, std::string_view sounds_dir) override;
  void SpeechReconfigure(int speed, bool use_service, int service_type, int voice,
                         int service_speed, int pitch) override;
  void SpeechShutdown() override;
  void SpeechRestart(int speed) override;

  void Speak(std::string_view text) override;
  bool SpeechBusy() override;
  void SpeechStop() override;

  void SpellText(std::string_view text) override;
  void SpeakChar(unsigned char c) override;
  void PlayNamedSound(std::string_view name) override;
  bool SoundExists(std::string_view name) override;
  int PlayWaveFile(std::string_view name) override;
  void ShortTone() override;
  void LongTone() override;
  unsigned char ReadKeySpoken() override;
  void SpeakTime(int hour, int minute) override;
  void SpeakDate(int day, int month, int year) override;

  bool Echo() const override { return echo_; }
  bool SpeakAll() const override { return speak_all_; }
  void SetEcho(bool on) override { echo_ = on; }
  bool SetSoundNoWait(bool on) override;
  void PlayLetterSound(std::string_view name) override;

  // Plays words of NumberToWords from the recorded word sounds.
  void SpeakWordSounds(std::string_view text, bool feminine);

  // 0 loaded; 1 a directory, the index or the data file is missing; 2 the rules or exceptions.
  int DiphoneEngineLoad();
  void DiphoneEngineFree();

  // Settings, for tests.
  int pause_full_stop() const { return pause_full_stop_; }
  int pause_comma() const { return pause_comma_; }
  int pause_colon() const { return pause_colon_; }
  const SynthesizerParams& synthesizer_params() const { return synth_.params; }
  const PhonemeRules& rules() const { return rules_; }
  const std::vector<uint8_t>& click() const { return click_; }
  bool service_active() const { return service_active_; }
  bool ServiceActive() const override { return service_active_; }
  int service_type() const { return service_type_; }
  // Why the last service start failed (empty when it started or none was asked for).
  std::string service_failure() const { return service_ ? service_->failure() : std::string(); }

 private:
  void Startup();
  void LoadSpeedParams(int speed);
  void Punctuation(const std::string& text);
  void Pause(int milliseconds);
  void PlayImage(const std::vector<uint8_t>& samples);
  void StopTwice();
  bool StartService(int voice, int speed, int pitch, int type);
  // A sound after a text handed to the service waits until that text has been spoken.
  void WaitForService();
  std::string SoundFile(std::string_view name) const;
  bool FileExists(const std::string& host_path) const;
  std::string ReadRaw(std::string_view key, std::string_view fallback) const;

  // SynthesizerSink
  void PlayBuffer(const uint8_t* image, size_t size) override;
  bool AppendLetterUnit(std::string_view key, std::vector<uint8_t>& samples) override;
  // EngineAudio: the sound of an engine that synthesizes on this thread.
  bool Play(const int16_t* samples, size_t count, int rate) override;

  Keyboard& keyboard_;
  Config& config_;
  const HostEnvironment& host_;
  WavePlayer& wave_;
  Transcript& transcript_;
  std::function<void(int)> end_program_;
  std::minstd_rand random_;
  DiphoneDatabase database_;
  PhonemeRules rules_;
  DiphoneSynthesizer synth_;

  bool started_ = false;
  bool echo_ = true;
  bool speak_all_ = true;
  int click_divisor_ = 1;
  std::vector<uint8_t> click_;
  bool stop_ = false;
  std::string sounds_dir_;        // plain-named sounds
  std::string sound_letters_dir_; // sounds whose name begins with "_"
  std::string synth_letters_dir_; // letter units, letter sounds and word sounds
  std::string diphone_dir_;
  int pause_full_stop_ = 250;
  int pause_comma_ = 150;
  int pause_colon_ = 200;
  std::unique_ptr<SpeechService> service_;
  bool service_active_ = false;
  int service_type_ = 5;
  bool wait_before_next_ = true;
};

}  // namespace navelo
