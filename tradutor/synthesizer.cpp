// The diphone synthesizer: chunks, units, keys and their fallbacks, the output buffer.
#include "tradutor/synthesizer.h"

#include <algorithm>
#include <cstring>

#include "tradutor/wave_player.h"

namespace navelo {
namespace {

bool VowelLike(char c) { return std::string_view("AEIOUaeiouwy").find(c) != std::string_view::npos; }
bool Consonant(char c) { return std::string_view("bcdfgjklmnpqrstvxz").find(c) != std::string_view::npos; }
bool Glide(char c) { return c == 'w' || c == 'y'; }
bool VowelMark(char c) { return c == '^' || c == '~'; }
bool StressedVowel(char c) { return std::string_view("AEIOU").find(c) != std::string_view::npos; }
bool EndsWith(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}
std::string FoldUpper(std::string s) {
  for (char& c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 'a' && b <= 'z') c = static_cast<char>(b - 32);
    else if (b > 223) c = static_cast<char>(b - 32);
  }
  return s;
}

int PunctuationSilence(char c) {
  switch (c) {
    case ',': return 4000;
    case '.': return 8000;
    case ';': return 6000;
    case ':': return 8000;
    default: return 0;
  }
}

}  // namespace

DiphoneSynthesizer::DiphoneSynthesizer(DiphoneDatabase& database, SynthesizerSink& sink,
                                       uint32_t seed)
    : database_(database), sink_(sink), random_(seed), buffer_(kSynthBufferSize) {}

void DiphoneSynthesizer::SpeakPhonemes(std::string_view phonemes, bool pauses_off) {
  fill_ = 44;
  text_ = phonemes;
  read_ = 0;
  stress_mode_ = 1;
  while (read_ < text_.size()) {
    const std::string chunk = ReadChunk(pauses_off);
    SpeakChunk(chunk, 1.0);
    if (read_ < text_.size() && read_ >= 1 && text_[read_ - 1] != ' ') {
      AppendSilence(params.interpal);
    }
  }
  Flush();
}

std::string DiphoneSynthesizer::ReadChunk(bool pauses_off) {
  if (text_[read_] == '[') {
    stress_mode_ = 1;
    ++read_;
  }
  std::string chunk;
  auto add = [&chunk](char c) {
    if (chunk.size() < 40) chunk += c;
  };
  bool ended_by_slash = false;
  while (read_ < text_.size() && text_[read_] != ' ' && text_[read_] != ']') {
    const char c = text_[read_];
    if (c == '/') {
      ++read_;
      if (chunk.size() > 8) {
        ended_by_slash = true;
        break;
      }
    } else if (c == '_') {
      add('_');
      if (read_ + 1 < text_.size()) add(text_[read_ + 1]);
      read_ += 2;
    } else if (c == '|') {
      chunk = "_TRACO";
      ++read_;
    } else {
      add(c);
      ++read_;
    }
  }
  if (!ended_by_slash && read_ < text_.size()) ++read_;  // the space or "]"
  read_ = std::min(read_, text_.size());
  if (!pauses_off && chunk.size() == 2 && chunk[0] == '_' && PunctuationSilence(chunk[1]) > 0) {
    AppendSilence(PunctuationSilence(chunk[1]));
    chunk.clear();
  }
  return chunk;
}

void DiphoneSynthesizer::SpeakChunk(const std::string& p, double x) {
  const size_t n = p.size();
  if (n == 0) return;
  if (n == 1) {
    SpeakUnit(p, x);
    return;
  }
  if (n > 2) {
    const std::string_view two = std::string_view(p).substr(0, 2);
    if (Consonant(p[0]) && Consonant(p[1]) && two != "dj" && two != "nh" && two != "rr" &&
        two != "ks" && p.compare(0, 3, "tch") != 0) {
      SpeakUnit(p.substr(0, 1), 1.0);
      SpeakChunk(p.substr(1), x);
      return;
    }
    if (EndsWith(p, "rr")) {
      SpeakChunk(p.substr(0, n - 2), x);
      SpeakUnit("rr", x);
      return;
    }
    if (Consonant(p[n - 1])) {
      SpeakChunk(p.substr(0, n - 1), x);
      SpeakChunk(p.substr(n - 1), x);
      return;
    }
  }
  if (Glide(p[n - 1])) {
    if (VowelLike(p[n - 2]) && n > 2) {
      SpeakChunk(p.substr(0, n - 1), 0.6);
      SpeakUnit(p.substr(n - 2), x);
      return;
    }
    if (VowelMark(p[n - 2]) && n > 3) {
      if (p[n - 2] == '~') SpeakChunk(p.substr(0, n - 2) + "^", 0.6);
      else SpeakChunk(p.substr(0, n - 1), 0.6);
      SpeakUnit(std::string{p[n - 3], p[n - 1], p[n - 2]}, x);
      return;
    }
    if (VowelMark(p[n - 2]) && n == 3) {
      SpeakUnit(std::string{p[0], p[2], p[1]}, x);
      return;
    }
  }
  if (p != "_s" && p[n - 1] == 's') {
    SpeakChunk(p.substr(0, n - 1), 0.7);
    SpeakUnit("s", x);
    return;
  }
  SpeakUnit(p, x);
}

void DiphoneSynthesizer::SpeakUnit(const std::string& u, double x) {
  if (u[0] == '_') {
    // A lone "_" (a string that ends in it) names no letter.
    if (u.size() < 2) return;
    SpeakKey("_" + std::to_string(static_cast<unsigned char>(u[1])), stress_mode_, x);
    return;
  }
  std::string key = "$";
  bool stressed = false;
  for (const char c : u) {
    if (c == '^' || c == '~') {
      SpeakKey(key + (c == '^' ? "CIRC" : "TIL"), stress_mode_, x);
      key = "$";
      continue;
    }
    if (StressedVowel(c)) {
      stress_mode_ = 2;
      stressed = true;
    }
    if (key.size() < 12) key += c;
  }
  if (key != "$") SpeakKey(key, stress_mode_, x);
  if (stressed) stress_mode_ = 0;
}

void DiphoneSynthesizer::SpeakKey(const std::string& k, int mode, double x) {
  bool found;
  if (k[0] == '_') {
    scratch_.clear();
    found = sink_.AppendLetterUnit(k, scratch_);
    if (found) Append(scratch_.data(), scratch_.size());
  } else {
    found = AppendDatabaseUnit(k, mode, x);
  }
  if (found) return;
  if (k.size() <= 2) {
    AppendNoise();
    return;
  }
  const size_t d = k.size();
  const char c = k[d - 1];
  if (VowelLike(c)) {
    SpeakKey(k.substr(0, d - 1), mode, 0.9 * x);
    SpeakKey(std::string("$") + c, mode, x);
  } else if (EndsWith(k, "CIRC") && d >= 7) {
    SpeakKey(k.substr(0, d - 5), mode, 0.9 * x);
    SpeakKey("$" + k.substr(d - 5), mode, x);
  } else if (EndsWith(k, "TIL")) {
    const std::string base = k.substr(0, d - 3);
    const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(base.back())));
    if (last == 'I' || last == 'U') SpeakKey(base, mode, 0.9 * x);
    else SpeakKey(base + "CIRC", 2, 0.9 * x);
    SpeakKey("$nn", 1, 0.9);
  }
}

bool DiphoneSynthesizer::AppendDatabaseUnit(const std::string& key, int mode, double x) {
  const auto unit = database_.Find(FoldUpper(key));
  if (!unit) return false;
  long length = unit->length;
  if (mode != 2 && key.size() > 2) {
    length = std::max<long>(length - params.cortefon, std::min<long>(length, params.sobrafon));
  }
  length = std::max<long>(length, 0);
  const auto take = static_cast<size_t>(x * static_cast<double>(length));
  scratch_.clear();
  database_.ReadData(unit->offset, take, scratch_);
  Append(scratch_.data(), scratch_.size());
  return true;
}

void DiphoneSynthesizer::AppendNoise() {
  uint8_t noise[300];
  for (uint8_t& sample : noise) sample = static_cast<uint8_t>(88 + random_() % 80);
  Append(noise, sizeof noise);
}

void DiphoneSynthesizer::AppendSilence(int samples) {
  uint8_t block[100];
  std::memset(block, 128, sizeof block);
  for (int i = 0; i < samples / 100; ++i) Append(block, sizeof block);
}

void DiphoneSynthesizer::Append(const uint8_t* bytes, size_t count) {
  // Sound longer than the whole buffer is played in several pieces.
  while (count > 0) {
    if (fill_ + count >= kSynthBufferSize && fill_ > kWaveHeaderSize) Flush();
    const size_t take = std::min(count, kSynthBufferSize - 1 - fill_);
    std::memcpy(buffer_.data() + fill_, bytes, take);
    fill_ += take;
    bytes += take;
    count -= take;
  }
}

void DiphoneSynthesizer::Flush() {
  if (fill_ <= kWaveHeaderSize) return;
  MakeWaveHeader(buffer_.data(), static_cast<uint32_t>(fill_ - kWaveHeaderSize), kSynthRate, 1, 8);
  sink_.PlayBuffer(buffer_.data(), fill_);
  fill_ = kWaveHeaderSize;
}

}  // namespace navelo
