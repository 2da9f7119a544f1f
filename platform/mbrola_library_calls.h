// The MBROLA library's calls as function pointers, and the back end over them; shared by the
// platforms' loaders, which differ only in how they find the entry points (and, on 32-bit
// Windows, in the calling convention, which the loader defines before including this).
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "platform/mbrola_backend.h"

#ifndef NAVELO_MBROLA_CALL
#define NAVELO_MBROLA_CALL
#endif

namespace navelo {

struct MbrolaCalls {
  int(NAVELO_MBROLA_CALL* init)(char* database) = nullptr;
  int(NAVELO_MBROLA_CALL* write)(char* pho) = nullptr;
  int(NAVELO_MBROLA_CALL* flush)() = nullptr;
  int(NAVELO_MBROLA_CALL* read)(short* samples, int max) = nullptr;
  void(NAVELO_MBROLA_CALL* close)() = nullptr;
  void(NAVELO_MBROLA_CALL* reset)() = nullptr;
  int(NAVELO_MBROLA_CALL* last_error_text)(char* text, int size) = nullptr;
  void(NAVELO_MBROLA_CALL* set_no_error)(int value) = nullptr;
};

class MbrolaLibraryBackend final : public MbrolaBackend {
 public:
  MbrolaLibraryBackend(const MbrolaCalls& calls, std::function<void()> unload)
      : calls_(calls), unload_(std::move(unload)) {}
  ~MbrolaLibraryBackend() override { Unload(); }

  int Init(const std::string& database) override {
    std::string copy = database;
    initialised_ = calls_.init(copy.data()) >= 0;
    return initialised_ ? 0 : -1;
  }
  int Write(std::string_view pho) override {
    std::string copy(pho);
    return calls_.write(copy.data());
  }
  int Flush() override { return calls_.flush(); }
  int Read(int16_t* samples, int max) override { return calls_.read(samples, max); }
  void Reset() override { calls_.reset(); }
  void Close() override {
    if (initialised_) calls_.close();
    initialised_ = false;
    Unload();
  }
  void SetNoError(int value) override { calls_.set_no_error(value); }
  std::string LastError() override {
    char text[256] = {};
    calls_.last_error_text(text, sizeof text - 1);
    return text;
  }
  const char* Kind() const override { return "library"; }

 private:
  void Unload() {
    if (unload_) unload_();
    unload_ = nullptr;
  }

  MbrolaCalls calls_;
  std::function<void()> unload_;
  bool initialised_ = false;
};

// Fills calls from a symbol lookup after checking that all 23 entry points are there; false
// (with the missing name in reason) otherwise.
template <typename Lookup>
bool FindMbrolaCalls(Lookup lookup, MbrolaCalls& calls, std::string& reason) {
  for (const char* name : kMbrolaEntryPoints) {
    if (lookup(name) == nullptr) {
      reason = std::string("the MBROLA library has no ") + name;
      return false;
    }
  }
  calls.init = reinterpret_cast<decltype(calls.init)>(lookup("init_MBR"));
  calls.write = reinterpret_cast<decltype(calls.write)>(lookup("write_MBR"));
  calls.flush = reinterpret_cast<decltype(calls.flush)>(lookup("flush_MBR"));
  calls.read = reinterpret_cast<decltype(calls.read)>(lookup("read_MBR"));
  calls.close = reinterpret_cast<decltype(calls.close)>(lookup("close_MBR"));
  calls.reset = reinterpret_cast<decltype(calls.reset)>(lookup("reset_MBR"));
  calls.last_error_text = reinterpret_cast<decltype(calls.last_error_text)>(lookup("lastErrorStr_MBR"));
  calls.set_no_error = reinterpret_cast<decltype(calls.set_no_error)>(lookup("setNoError_MBR"));
  return true;
}

}  // namespace navelo
