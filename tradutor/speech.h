// The write-and-speak layer as the interpreter, the menu and the editor see it: speaking a text,
// writing it to the console first, letter sounds, named prompt sounds, the two tones, spoken keys,
// and the busy and stop operations through which every wait lets a key silence speech.
#pragma once

#include <cstdint>
#include <string_view>

#include "console/console.h"

namespace navelo {

class Speech {
 public:
  explicit Speech(Console& console) : console_(console) {}
  virtual ~Speech() = default;
  Speech(const Speech&) = delete;
  Speech& operator=(const Speech&) = delete;

  // Starts the speech machinery for a speed (1 to 5; below 1 the configured one) with the
  // directory of plain-named sounds. When the voice database is missing it reports the error,
  // waits for Enter and ends the program; it returns the error number only where ending the
  // program is not possible (tests). 0 when started.
  virtual int SpeechInit(int speed, std::string_view sounds_dir) = 0;
  // Switches between the diphone synthesizer and a speech service without reloading the
  // database.
  virtual void SpeechReconfigure(int speed, bool use_service, int service_type, int voice,
                                 int service_speed, int pitch) = 0;
  virtual void SpeechShutdown() = 0;
  // The line editor's change of speed: the speech layer starts again at that speed with the
  // configured voice (a speech service too, when the configuration asks for one).
  virtual void SpeechRestart(int speed) { SpeechReconfigure(speed, false, 0, 0, 0, 0); }

  virtual void Speak(std::string_view text) = 0;
  // False at once when a key is waiting (speech is then stopped, the key stays queued).
  virtual bool SpeechBusy() = 0;
  virtual void SpeechStop() = 0;

  // Each character with its letter sound; stops at once when a key is waiting.
  virtual void SpellText(std::string_view text) = 0;
  virtual void SpeakChar(unsigned char c) = 0;
  // name + ".wav" in the letters directory when it begins with "_", else in the sounds directory.
  virtual void PlayNamedSound(std::string_view name) = 0;
  virtual bool SoundExists(std::string_view name) = 0;
  // Plays a WAV file named by a host path; returns 0 played or skipped for a waiting key, -1 not
  // a usable file, else the device's error code.
  virtual int PlayWaveFile(std::string_view name) = 0;
  virtual void ShortTone() = 0;
  virtual void LongTone() = 0;
  // Reads a key, silences speech and speaks the key byte; returns it.
  virtual unsigned char ReadKeySpoken() = 0;
  virtual void SpeakTime(int hour, int minute) = 0;
  virtual void SpeakDate(int day, int month, int year) = 0;

  // Settings of the layer read at start: the line editor speaks typed characters; more verbose
  // prompts.
  virtual bool Echo() const = 0;
  virtual bool SpeakAll() const = 0;
  // The line editor's F4 turns the echo on and off for the rest of the run.
  virtual void SetEcho(bool /*on*/) {}
  // While on, sound files return without waiting for their end (the line editor's sounds: the
  // next key stops them). Returns the setting it replaces.
  virtual bool SetSoundNoWait(bool /*on*/) { return false; }
  // Plays name + ".wav" from the synthesizer's letters folder at its recorded rate (the touch
  // tones the line editor dials).
  virtual void PlayLetterSound(std::string_view /*name*/) {}
  // True while an external speech service speaks instead of the diphone synthesizer: Speak then
  // returns while the service talks, so readers hand it whole lines.
  virtual bool ServiceActive() const { return false; }

  // The text is on screen before speech starts.
  void SpeakWrite(std::string_view text);
  void SpeakWriteLine(std::string_view text);
  void SpeakWriteNumber(int64_t n);

  // Waits while SpeechBusy, keeping the window's messages moving.
  void WaitWhileBusy();

 protected:
  Console& console_;
};

}  // namespace navelo
