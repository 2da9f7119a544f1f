// The speech front end over the diphone synthesizer and the wave player.
#include "tradutor/diphone_speech.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "config/ini_file.h"
#include "console/line_reader.h"
#include "platform/text_encoding.h"
#include "tradutor/spoken_numbers.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;

bool BeginsWithS(std::string_view v) { return !v.empty() && (v[0] == 'S' || v[0] == 's'); }
bool Flag(std::string_view v) { return !v.empty() && v[0] != 'N' && v[0] != 'n'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128;
}
bool IsWordChar(unsigned char c) { return c == ' ' || IsLetter(c); }

// The value of the leading digits of a setting (0 when it has none); capped so that no setting
// can overflow.
int LeadingNumber(std::string_view v) {
  long value = 0;
  for (const char c : v) {
    if (!IsDigit(static_cast<unsigned char>(c))) break;
    value = std::min<long>(value * 10 + (c - '0'), 1000000000);
  }
  return static_cast<int>(value);
}

bool IsNumber(std::string_view v) {
  if (v.empty()) return false;
  return std::all_of(v.begin(), v.end(), [](char c) { return IsDigit(static_cast<unsigned char>(c)); });
}

int NumberOr(std::string_view v, int fallback) { return IsNumber(v) ? LeadingNumber(v) : fallback; }

// A setting that must be a number from low to high; anything else gives fallback.
int RangedNumber(std::string_view v, int low, int high, int fallback) {
  if (!IsNumber(v)) return fallback;
  const int n = LeadingNumber(v);
  return n < low || n > high ? fallback : n;
}

// A signed setting: leading blanks, a sign, then the value of the leading digits (0 without).
int SignedNumber(std::string_view v) {
  while (!v.empty() && (v[0] == ' ' || v[0] == '\t')) v.remove_prefix(1);
  bool negative = false;
  if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
    negative = v[0] == '-';
    v.remove_prefix(1);
  }
  const int value = LeadingNumber(v);
  return negative ? -value : value;
}

std::string WithSeparator(std::string dir) {
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
  return dir;
}

// The sound data of a file whose data follows a 44-byte header, as the word recordings are made.
bool ReadAfterHeader(const fs::path& path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const auto size = static_cast<long long>(in.tellg());
  if (size <= static_cast<long long>(kWaveHeaderSize)) return true;
  out.resize(static_cast<size_t>(size) - kWaveHeaderSize);
  in.seekg(static_cast<std::streamoff>(kWaveHeaderSize));
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  out.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return true;
}

constexpr size_t kWordSoundRoom = 30000;
// A letter recording longer than this is cut: far beyond any letter, and it bounds memory.
constexpr uint64_t kMaxLetterUnit = 1 << 20;

}  // namespace

DiphoneSpeech::DiphoneSpeech(Console& console, Keyboard& keyboard, Config& config,
                             const HostEnvironment& host, WavePlayer& wave, Transcript& transcript,
                             std::function<void(int)> end_program, uint32_t seed)
    : Speech(console),
      keyboard_(keyboard),
      config_(config),
      host_(host),
      wave_(wave),
      transcript_(transcript),
      end_program_(std::move(end_program)),
      random_(seed),
      synth_(database_, *this, seed) {}

void DiphoneSpeech::Startup() {
  started_ = true;
  echo_ = BeginsWithS(config_.ReadDefault("NAVELO", "FALANDO", "Sim"));
  config_.SetLegacyMode(BeginsWithS(config_.Read("NAVELO", "LEGADO")));
  // Read so that the key is created when missing; the value itself is not used.
  (void)config_.ReadDefault("NAVELO", "ECOAROPCAO", "Sim");
  speak_all_ = BeginsWithS(config_.ReadDefault("NAVELO", "FALARTUDO", "Sim"));
  click_divisor_ = BeginsWithS(config_.ReadDefault("NAVELO", "BIPSCLECSCURTOS", "NAO")) ? 2 : 1;
  const size_t length = 256 / static_cast<size_t>(click_divisor_);
  click_.assign(length, 128);
  for (size_t i = 0; i < length / 4; ++i) click_[i] = static_cast<uint8_t>(128 + random_() % 60);
}

void DiphoneSpeech::LoadSpeedParams(int speed) {
  const std::string n = std::to_string(speed);
  auto read = [&](const char* key) { return config_.Read("SINTETIZADOR", key + n); };
  synth_.params.cortefon = LeadingNumber(read("CORTEFON"));
  synth_.params.sobrafon = NumberOr(read("SOBRAFON"), 0);
  synth_.params.interpal = NumberOr(read("INTERPAL"), 0);
  wave_.cut = Flag(read("CORTAFALA"));
  wave_.rate_times_15 = Flag(read("RAPIDINHO"));
  pause_full_stop_ = NumberOr(read("PAUSAPONTO"), 250);
  pause_comma_ = NumberOr(read("PAUSAVIRG"), 150);
  pause_colon_ = NumberOr(read("PAUSADOISPONTOS"), 200);
}

std::string DiphoneSpeech::ReadRaw(std::string_view key, std::string_view fallback) const {
  // These two directories are read as written, without "@" expansions or the legacy copy.
  return IniRead(FindEntry(PathFromUtf8(config_.UserConfigDir()), "navelo.ini"), "TRADUTOR", key, fallback);
}

int DiphoneSpeech::DiphoneEngineLoad() {
  std::error_code error;
  synth_letters_dir_ = ReadRaw("dirLetras", "");
  if (synth_letters_dir_.empty() || !fs::is_directory(host_.Resolve(synth_letters_dir_), error)) {
    return 1;
  }
  synth_letters_dir_ = WithSeparator(synth_letters_dir_);
  diphone_dir_ = ReadRaw("DIRDIFONES", "c:\\ubrimo\\som\\difones");
  if (diphone_dir_.empty() || !fs::is_directory(host_.Resolve(diphone_dir_), error)) return 1;
  diphone_dir_ = WithSeparator(diphone_dir_);
  const std::string base = diphone_dir_ + kDatabaseName;
  if (!database_.Load(host_.Resolve(base + ".IND"), host_.Resolve(base + ".DIF"))) return 1;
  if (!rules_.LoadRules(host_.Resolve(diphone_dir_ + "regras.rgr")) ||
      !rules_.LoadExceptions(host_.Resolve(diphone_dir_ + "portug.exc"))) {
    return 2;
  }
  return 0;
}

void DiphoneSpeech::DiphoneEngineFree() {
  database_.Free();
  rules_.SetRulesText("");
  rules_.SetExceptionsText("");
}

int DiphoneSpeech::SpeechInit(int speed, std::string_view sounds_dir) {
  if (!started_) Startup();
  // The magnified line for low vision.
  const std::string zoom_text = config_.Read("BAIXAVISAO", "AMPLIACAO");
  const int zoom = zoom_text.empty() ? 0 : RangedNumber(zoom_text, 0, 10, 3);
  console_.MagnifierSetColours(RangedNumber(config_.Read("BAIXAVISAO", "CORLETRA"), 0, 15, 14),
                               RangedNumber(config_.Read("BAIXAVISAO", "CORFUNDO"), 0, 15, 6),
                               RangedNumber(config_.Read("BAIXAVISAO", "CORCURSOR"), 0, 15, 3));
  if (zoom != 0) console_.MagnifierStart(1, zoom);
  config_.SetLegacyMode(BeginsWithS(config_.Read("NAVELO", "LEGADO")));
  if (speed < 1) speed = LeadingNumber(config_.Read("TRADUTOR", "VELOCIDADE"));
  if (speed < 1 || speed > 5) speed = 3;
  LoadSpeedParams(speed);
  const int error = DiphoneEngineLoad();
  if (error != 0) {
    console_.Write(Utf8ToCp1252("Erro de inicialização: ") + std::to_string(error) + "\r\n" +
                   "Banco de dados de voz: " + kDatabaseName + "\r\n");
    DiphoneEngineFree();
    ConsoleReadLine(keyboard_, console_);
    // A failed start ends the program with a failure code, so a caller sees that it failed.
    end_program_(1);
    return error;
  }
  sounds_dir_ = WithSeparator(std::string(sounds_dir));
  std::string letters = config_.Read("TRADUTOR", "DIRLETRAS");
  if (letters.empty()) letters = "c:\\ubrimo\\som\\letras";
  sound_letters_dir_ = WithSeparator(letters);
  LoadSpeedParams(speed);
  service_active_ = false;
  const std::string sapi = config_.Read("TRADUTOR", "SAPI");
  if (Flag(sapi)) {
    const int voice = SignedNumber(config_.Read("SERVFALA", "VOZ"));
    int service_speed = SignedNumber(config_.Read("SERVFALA", "VELOCIDADE"));
    const int pitch = SignedNumber(config_.Read("SERVFALA", "TOM"));
    const int type = SignedNumber(config_.Read("SERVFALA", "TIPOSAPI"));
    if (type != 4 && service_speed > 10) service_speed = 0;
    service_active_ = StartService(voice, service_speed, pitch, type);
  }
  return 0;
}

void DiphoneSpeech::SetEngineFactory(SpeechEngineFactory factory) {
  if (service_) service_->ServiceClose();
  service_active_ = false;
  EngineAudio& audio = *this;
  service_ = std::make_unique<SpeechService>(console_, audio, std::move(factory));
}

bool DiphoneSpeech::StartService(int voice, int speed, int pitch, int type) {
  service_type_ = type;
  if (!service_) return false;
  // The voice name is always empty: the engines speak to the sound device.
  return service_->ServiceStart(voice, speed, pitch, "", type);
}

void DiphoneSpeech::SpeechReconfigure(int speed, bool use_service, int service_type, int voice,
                                      int service_speed, int pitch) {
  SpeechStop();
  if (service_active_) service_->ServiceClose();
  service_active_ = false;
  LoadSpeedParams(speed);
  if (!use_service) return;
  if (voice == 0) voice = SignedNumber(config_.Read("SERVFALA", "VOZ"));
  service_active_ = StartService(voice, service_speed, pitch, service_type);
}

void DiphoneSpeech::SpeechRestart(int speed) {
  SpeechShutdown();
  const std::string sounds_dir = sounds_dir_;
  SpeechInit(speed, sounds_dir);
}

void DiphoneSpeech::SpeechShutdown() {
  WaitWhileBusy();
  SpeechStop();
  if (service_active_) service_->ServiceClose();
  service_active_ = false;
  DiphoneEngineFree();
}

bool DiphoneSpeech::SpeechBusy() {
  if (keyboard_.KeyPressed()) {
    SpeechStop();
    return false;
  }
  if (service_active_) return wave_.WaveBusy() || service_->ServiceBusy();
  return wave_.WaveBusy();
}

void DiphoneSpeech::SpeechStop() {
  wave_.WaveStop();
  stop_ = true;
  if (service_active_ && (service_->ServiceBusy() || service_type_ == 3)) service_->ServiceStop();
}

void DiphoneSpeech::WaitForService() {
  if (!wait_before_next_) return;
  WaitWhileBusy();
  wait_before_next_ = false;
}

bool DiphoneSpeech::Play(const int16_t* samples, size_t count, int rate) {
  if (stop_ || keyboard_.KeyPressed()) {
    wave_.WaveStop();
    return false;
  }
  // The engine sets its own speed: the player's speed-ups are for recorded and diphone sound.
  const bool cut = wave_.cut;
  const bool faster = wave_.rate_times_15;
  wave_.cut = false;
  wave_.rate_times_15 = false;
  wave_.PlayPcm(reinterpret_cast<const uint8_t*>(samples), count * sizeof(int16_t),
                PcmFormat{rate, 16, 1});
  wave_.cut = cut;
  wave_.rate_times_15 = faster;
  return !stop_ && !keyboard_.KeyPressed();
}

void DiphoneSpeech::StopTwice() {
  SpeechStop();
  SpeechStop();
}

void DiphoneSpeech::Pause(int milliseconds) {
  for (int i = 0; i < milliseconds / 50; ++i) {
    if (!keyboard_.KeyPressed()) console_.Delay(50);
  }
}

void DiphoneSpeech::Punctuation(const std::string& text) {
  if (keyboard_.KeyPressed()) return;
  const auto p = static_cast<unsigned char>(text[0]);
  const char next = text.size() > 1 ? text[1] : ' ';
  WaitWhileBusy();
  SpeakChar(p);
  if (p == '(' || p == ')' || p == ':' || p == ';') {
    Pause(pause_colon_);
  } else if ((p == ',' || p == '-') && next == ' ') {
    Pause(pause_comma_);
  } else if (p == '.' && next == ' ') {
    Pause(pause_full_stop_);
  }
}

void DiphoneSpeech::Speak(std::string_view text) {
  transcript_.Record("speak", text);
  if (service_active_) {
    WaitWhileBusy();
    if (keyboard_.KeyPressed()) return;
    stop_ = false;
    service_->ServiceSpeak(text);
    wait_before_next_ = true;
    return;
  }
  std::string t(text);
  t += ' ';
  stop_ = false;
  unsigned char last = ' ';
  int repeat = 0;
  while (!stop_ && !t.empty()) {
    if (keyboard_.KeyPressed()) {
      SpeechStop();
      return;
    }
    while (!t.empty() && t[0] == '0') {
      PlayNamedSound("_zero");
      t.erase(0, 1);
    }
    if (t.empty()) break;
    unsigned char c = static_cast<unsigned char>(t[0]);
    if (c >= '1' && c <= '9') {
      size_t n = 0;
      while (n < t.size() && (IsDigit(static_cast<unsigned char>(t[n])) || t[n] == '-')) ++n;
      const std::string run = t.substr(0, n);
      t.erase(0, n);
      if (run.find('-') != std::string::npos || run.size() >= 7) {
        SpellText(run);
      } else {
        SpeakWordSounds(NumberToWords(std::stoll(run)), false);
      }
      continue;
    }
    if (IsWordChar(c)) {
      size_t n = 0;
      while (n < t.size() && IsWordChar(static_cast<unsigned char>(t[n]))) ++n;
      const std::string run = t.substr(0, n);
      t.erase(0, n);
      // The appended space (or the spaces around a word) would hide "www" from the comparison.
      const size_t first = run.find_first_not_of(' ');
      const size_t end = run.find_last_not_of(' ');
      const std::string word = first == std::string::npos ? "" : run.substr(first, end - first + 1);
      std::string folded = word;
      for (char& ch : folded) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      if (folded == "WWW") {
        SpellText(word);
      } else {
        synth_.SpeakPhonemes(rules_.TextToPhonemes(std::string_view(run).substr(0, 999)), false);
      }
      if (t.size() >= 2 && t[0] == '-' && IsLetter(static_cast<unsigned char>(t[1]))) t.erase(0, 1);
      continue;
    }
    if (c == last) {
      ++repeat;
      if (repeat > 3) {
        ShortTone();
        c = ' ';
      }
    } else {
      last = c;
      repeat = 0;
    }
    if (c == '-') {
      const char second = t.size() > 2 ? t[1] : ' ';
      if (second == ' ' || second == '-') {
        Punctuation(t);
      } else if (IsDigit(static_cast<unsigned char>(second))) {
        PlayNamedSound("_MENOS");
      } else {
        SpeakChar('-');
      }
    } else if (c == ':' && t.compare(0, 3, "://") == 0) {
      SpellText(t.substr(0, 1));
    } else if (c == '(' || c == ')' || c == ',' || c == '.' || c == ':' || c == ';') {
      Punctuation(t);
    } else if (c != ' ' && c != '\r' && c != '\n' && c != '\t' && !keyboard_.KeyPressed()) {
      SpeakChar(c);
    }
    if (c == '\t') PlayNamedSound("_FON9");
    t.erase(0, 1);
  }
}

void DiphoneSpeech::SpellText(std::string_view text) {
  transcript_.Record("spell", text);
  for (const char ch : text) {
    if (keyboard_.KeyPressed()) return;
    if (ch == '\t') {
      PlayNamedSound("_FON9");
    } else {
      SpeakChar(static_cast<unsigned char>(ch));
    }
  }
}

bool DiphoneSpeech::FileExists(const std::string& host_path) const {
  std::error_code error;
  return fs::is_regular_file(host_.Resolve(host_path), error);
}

void DiphoneSpeech::SpeakChar(unsigned char c) {
  transcript_.Record("char", std::to_string(c));
  WaitForService();
  if ((c >= 1 && c <= 11) || (c >= 13 && c <= 31)) return;
  std::string file = synth_letters_dir_ + "_" + std::to_string(c) + ".wav";
  if (!FileExists(file)) file = synth_letters_dir_ + "_unknown.wav";
  wave_.PlayWaveFile(file);
}

std::string DiphoneSpeech::SoundFile(std::string_view name) const {
  return (name[0] == '_' ? sound_letters_dir_ : sounds_dir_) + std::string(name) + ".wav";
}

void DiphoneSpeech::PlayNamedSound(std::string_view name) {
  if (name.empty()) return;
  WaitForService();
  PlayWaveFile(SoundFile(name));
}

bool DiphoneSpeech::SoundExists(std::string_view name) {
  return !name.empty() && FileExists(SoundFile(name));
}

int DiphoneSpeech::PlayWaveFile(std::string_view name) {
  transcript_.Record("sound", name);
  return wave_.PlayWaveFile(name);
}

bool DiphoneSpeech::SetSoundNoWait(bool on) {
  const bool old = wave_.no_wait;
  wave_.no_wait = on;
  return old;
}

void DiphoneSpeech::PlayLetterSound(std::string_view name) {
  const bool faster = wave_.rate_times_15;
  wave_.rate_times_15 = false;
  PlayWaveFile(synth_letters_dir_ + std::string(name) + ".wav");
  wave_.rate_times_15 = faster;
}

void DiphoneSpeech::PlayImage(const std::vector<uint8_t>& samples) {
  std::vector<uint8_t> image(kWaveHeaderSize + samples.size());
  MakeWaveHeader(image.data(), static_cast<uint32_t>(samples.size()), kSynthRate, 1, 8);
  std::copy(samples.begin(), samples.end(), image.begin() + kWaveHeaderSize);
  wave_.PlayWaveImage(image.data(), image.size());
}

void DiphoneSpeech::ShortTone() {
  transcript_.Record("tone", "short");
  WaitForService();
  const bool cut = wave_.cut;
  wave_.cut = false;
  PlayImage(click_);
  wave_.cut = cut;
  WaitWhileBusy();
}

void DiphoneSpeech::LongTone() {
  transcript_.Record("tone", "long");
  WaitForService();
  while (keyboard_.KeyPressed()) keyboard_.ReadKey();
  static const uint8_t kPeriod[8] = {128, 112, 96, 80, 64, 80, 96, 112};
  std::vector<uint8_t> samples(512 / static_cast<size_t>(click_divisor_));
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = kPeriod[i % 8];
  if (!samples.empty()) samples.back() = 128;
  PlayImage(samples);
  WaitWhileBusy();
}

unsigned char DiphoneSpeech::ReadKeySpoken() {
  const unsigned char key = keyboard_.ReadKey();
  StopTwice();
  SpeakChar(key);
  return key;
}

void DiphoneSpeech::SpeakWordSounds(std::string_view text, bool feminine) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) words.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  std::vector<uint8_t> sound;
  sound.reserve(kWordSoundRoom);
  std::vector<uint8_t> data;
  auto play = [&] {
    if (sound.empty()) return;
    WaitForService();
    PlayImage(sound);
    WaitWhileBusy();
    sound.clear();
  };
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string name = WordSoundName(words[i], feminine && i + 1 == words.size());
    data.clear();
    if (!ReadAfterHeader(host_.Resolve(synth_letters_dir_ + name + ".wav"), data)) continue;
    size_t at = 0;
    while (at < data.size()) {
      if (sound.size() + (data.size() - at) > kWordSoundRoom) play();
      const size_t take = std::min(data.size() - at, kWordSoundRoom - sound.size());
      sound.insert(sound.end(), data.begin() + static_cast<long>(at),
                   data.begin() + static_cast<long>(at + take));
      at += take;
    }
  }
  play();
}

void DiphoneSpeech::SpeakTime(int hour, int minute) {
  SpeakWordSounds(NumberToWords(hour), true);
  if (!speak_all_ && minute != 0) {
    PlayNamedSound("_EHORA");
  } else {
    PlayNamedSound(hour == 0 || hour == 1 ? "_hora" : "_horas");
  }
  if (minute != 0) {
    SpeakWordSounds(NumberToWords(minute), false);
    if (speak_all_) PlayNamedSound(minute == 1 ? "_minuto" : "_minutos");
  }
}

void DiphoneSpeech::SpeakDate(int day, int month, int year) {
  PlayNamedSound(std::string("_") + kWeekdayNames[WeekDay(day, month, year)]);
  if (day == 1) {
    PlayNamedSound("_primeir");
  } else {
    SpeakWordSounds(NumberToWords(day), false);
  }
  PlayNamedSound("_de");
  if (month >= 1 && month <= 12) PlayNamedSound("_" + std::string(kMonthNames[month - 1]).substr(0, 7));
  PlayNamedSound("_de");
  SpeakWordSounds(NumberToWords(year), false);
}

void DiphoneSpeech::PlayBuffer(const uint8_t* image, size_t size) {
  WaitForService();
  wave_.PlayWaveImage(image, size);
  WaitWhileBusy();
}

bool DiphoneSpeech::AppendLetterUnit(std::string_view key, std::vector<uint8_t>& samples) {
  const fs::path path = host_.Resolve(synth_letters_dir_ + std::string(key) + ".wav");
  WaveFileReader file(path);
  WaveLayout layout;
  if (!file.ReadLayout(layout)) return false;
  const uint64_t length =
      std::min<uint64_t>({layout.data_length, file.size() - layout.data_offset, kMaxLetterUnit});
  const size_t before = samples.size();
  samples.resize(before + length);
  samples.resize(before + file.Read(layout.data_offset, samples.data() + before, length));
  return true;
}

}  // namespace navelo
