// The notification sinks a Speech API 4 engine calls, over one progress record: made here so the
// tests can call them as an engine would.
#pragma once

#include <memory>
#include <mutex>

#include "platform/speech/sapi_rules.h"
#include "platform/win32/sapi4_interfaces.h"

namespace navelo::win32 {

struct Sapi4Notices {
  std::mutex lock;
  Sapi4Progress progress;
};

// Two new sinks, one reference each (the caller releases them).
struct Sapi4Sinks {
  std::shared_ptr<Sapi4Notices> notices;
  sapi4::NotifySink* notify = nullptr;
  sapi4::BufferNotifySink* buffer = nullptr;
};
Sapi4Sinks MakeSapi4Sinks();

}  // namespace navelo::win32
