// The Speech API engines' choices that need no system call.
#include "platform/speech/sapi_rules.h"

namespace navelo {

Sapi5Choice Sapi5VoiceChoice(int voice, int speed, int count) {
  // 0 is what navelo.ini holds when no voice was chosen: the first voice, at the speed asked for.
  if (voice == 0) return {0, speed};
  if (voice < 0 || voice > count) return {0, 0};
  return {voice - 1, speed};
}

std::string Sapi5Text(std::string_view text) {
  return text.empty() ? std::string(" ") : std::string(text);
}

int Sapi4ModeCount(int voice) {
  if (voice < 0) return -1;
  return voice == 0 ? 1 : voice;
}

std::string Sapi4Text(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  std::string prepared(text);
  if (prepared.size() == 1 && prepared[0] >= '0' && prepared[0] <= '9') prepared += '.';
  return prepared;
}

}  // namespace navelo
