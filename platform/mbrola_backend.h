// The calls of the MBROLA diphone synthesizer that the Portuguese engine makes, behind one
// interface with three back ends: the MBROLA library loaded at run time, the `mbrola` program
// run as a child with pipes (where the platform has one), and our own stand-in synthesizer
// (tradutor/pho_synthesizer.h). Phoneme lines go in as .pho text; 16-bit mono samples at
// 16000 Hz come out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace navelo {

class MbrolaBackend {
 public:
  virtual ~MbrolaBackend() = default;
  // Opens the voice database (a native path). Negative: it cannot be used.
  virtual int Init(const std::string& database) = 0;
  // Hands over .pho text (lines ending in CR LF). Negative: synthesis failed.
  virtual int Write(std::string_view pho) = 0;
  // Ends the utterance: everything written is synthesized.
  virtual int Flush() = 0;
  // Up to max samples of what was synthesized; 0 when there is no more, negative on failure.
  virtual int Read(int16_t* samples, int max) = 0;
  // Drops what was written and not read.
  virtual void Reset() = 0;
  // Releases the database (and unloads the library).
  virtual void Close() = 0;
  // Non-zero: a missing diphone is replaced by silence instead of being an error.
  virtual void SetNoError(int value) = 0;
  // The back end's text for its last error (empty when none).
  virtual std::string LastError() = 0;
  // "library", "program" or "stand-in".
  virtual const char* Kind() const = 0;
};

// The file name of the MBROLA library on this platform ("mbrola.dll", "libmbrola.so").
const char* MbrolaLibraryFileName();

// Loads the first of the candidate files (native paths) that loads and has all 23 entry points
// of the library; where the platform has a library search path, the bare file name is tried
// last. nullptr, with the reason, when none does.
std::unique_ptr<MbrolaBackend> LoadMbrolaLibrary(const std::vector<std::string>& candidates,
                                                 std::string& reason);

// The 23 entry points a usable library exports.
extern const char* const kMbrolaEntryPoints[23];

// The `mbrola` program (a native path) started for each utterance with the .pho text on its
// standard input and the samples read from its standard output. nullptr, with the reason, where
// the platform has no such program.
std::unique_ptr<MbrolaBackend> MakeMbrolaProgram(const std::string& program, std::string& reason);

}  // namespace navelo
