// The local wall clock through GetLocalTime.
#include <windows.h>

#include "platform/clock.h"

namespace navelo {
namespace {

class WindowsClock final : public Clock {
 public:
  DateParts GetDate() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wDayOfWeek};
  }
  TimeParts GetTime() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds / 10};
  }
};

}  // namespace

Clock& SystemClock() {
  static WindowsClock clock;
  return clock;
}

}  // namespace navelo
