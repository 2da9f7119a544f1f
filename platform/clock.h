// The calendar clock of the host: today's date and the time of day, as the console reports them.
#pragma once

namespace navelo {

struct DateParts {
  int year = 0;
  int month = 0;    // 1..12
  int day = 0;      // 1..31
  int weekday = 0;  // 0 = Sunday .. 6 = Saturday
};

struct TimeParts {
  int hour = 0;
  int minute = 0;
  int second = 0;
  int hundredths = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateParts GetDate() = 0;
  virtual TimeParts GetTime() = 0;
};

// The local wall clock of the machine.
Clock& SystemClock();

}  // namespace navelo
