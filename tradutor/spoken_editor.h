// The spoken line editor: a line typed, moved through and corrected by ear on one row of the
// console, with the editor's services on function keys (time, date, battery, speed, touch tones,
// opening the word under the cursor, the clipboard).
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "config/config.h"
#include "config/host_env.h"
#include "console/console.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "tradutor/speech.h"

namespace navelo {

// The longest field the editor takes; longer limits are cut to it.
inline constexpr int kEditorMaxLength = 2048;

struct EditorServices {
  Console& console;
  Keyboard& keyboard;
  Speech& speech;
  Config& config;
  const HostEnvironment& host;
  Clock& clock;
};

// What the battery and mains supplies say: the charge of the batteries (-1 when none can be read)
// and whether the machine runs from the mains (1), not (0), or cannot tell (-1).
struct PowerStatus {
  bool has_battery = false;
  int percent = -1;
  int line_online = -1;
};

// Reads the power supplies under a folder laid out as /sys/class/power_supply: one folder per
// supply with its "type", and "capacity" and "status" for batteries, "online" for the others.
PowerStatus ReadPowerStatus(const std::filesystem::path& folder);

// The editor keeps nothing between calls (the echo of typed characters lives in the speech
// layer), so one may be made for each line read.
class SpokenEditor {
 public:
  explicit SpokenEditor(EditorServices services);

  // Where SpeakBattery looks for the power supplies.
  std::filesystem::path power_supply_dir = "/sys/class/power_supply";
  // Starts a program for OpenItem; SpawnChild unless a test puts its own in place. Returns the
  // child's id or -1.
  std::function<int(const SpawnRequest&)> spawn;
  // The current directory as a host path, for OpenItem.
  std::function<std::string()> current_directory;
  // Finds a program along PATH (empty when it is not there), for OpenItem.
  std::function<std::string(std::string_view)> find_in_path = FindInSearchPath;
  // What Alt+Ctrl+F9 opens: a screen review of its own unless the program gives the one whose
  // search text lives as long as the program.
  std::function<void()> screen_review;

  // Empties text and edits it at the output cursor with a limit of 255, then ends the line.
  // Ended with Esc, what was typed is blanked on screen and the text is empty. Returns the key
  // that ended the edit.
  int ReadLineSpoken(std::string& text);
  // Edits text in place at column x, row y (1-based) and returns the key that ended the edit:
  // its byte, or the code of a special key. Trailing blanks are removed from the text.
  int EditLineSpoken(std::string& text, int x, int y, int max_length);

  // Plays the touch tone of each digit, "#" and "*"; a comma pauses for a second.
  void DialTones(std::string_view text);
  // Says the battery's charge, or that there is none, and whether the mains is off.
  void SpeakBattery();
  // Opens a web address with PROG.HTM, a file with PROG.<extension> of navelo.ini or the
  // desktop's opener, or starts a program named by the text.
  void OpenItem(std::string_view text);

 private:
  friend class EditSession;
  EditorServices svc_;
};

}  // namespace navelo
