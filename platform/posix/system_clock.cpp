// The local wall clock through localtime_r.
#include <sys/time.h>

#include <ctime>

#include "platform/clock.h"

namespace navelo {
namespace {

class PosixClock final : public Clock {
 public:
  DateParts GetDate() override {
    const std::tm tm = Now(nullptr);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_wday};
  }
  TimeParts GetTime() override {
    int hundredths = 0;
    const std::tm tm = Now(&hundredths);
    return {tm.tm_hour, tm.tm_min, tm.tm_sec, hundredths};
  }

 private:
  static std::tm Now(int* hundredths) {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    const time_t seconds = tv.tv_sec;
    localtime_r(&seconds, &tm);
    if (hundredths != nullptr) *hundredths = static_cast<int>(tv.tv_usec / 10000);
    return tm;
  }
};

}  // namespace

Clock& SystemClock() {
  static PosixClock clock;
  return clock;
}

}  // namespace navelo
