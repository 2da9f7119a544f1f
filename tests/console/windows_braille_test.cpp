// The braille display binding of Windows against a stand-in for the vendor's fsbrldspapi.dll
// (tests/braille/fake_vendor_display.cpp, built under that name): the console row arrives at the
// library as cells, the display's key events come back through its window message into the key
// queue, and a missing library, entry point or display leaves the binding inactive with the
// reason.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/braille_output.h"
#include "platform/braille_display.h"
#include "tests/console/braille_console.h"

namespace navelo {
namespace {

// The build folder is a Linux path; under Wine it is seen through drive Z.
std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// The stand-in library, loaded by the test from its folder before the binding looks for it by
// name, and its test functions.
class FakeLibrary {
 public:
  explicit FakeLibrary(const char* folder) {
    const std::string dir = WindowsPath(folder);
    SetDllDirectoryA(dir.c_str());
    module_ = LoadLibraryA((dir + "\\fsbrldspapi.dll").c_str());
    setup_ = reinterpret_cast<SetupFunction>(reinterpret_cast<void*>(GetProcAddress(module_, "FakeSetup")));
    last_cells_ = reinterpret_cast<LastCellsFunction>(
        reinterpret_cast<void*>(GetProcAddress(module_, "FakeLastCells")));
    counts_ =
        reinterpret_cast<CountsFunction>(reinterpret_cast<void*>(GetProcAddress(module_, "FakeCounts")));
    press_ = reinterpret_cast<PressFunction>(reinterpret_cast<void*>(GetProcAddress(module_, "FakePress")));
  }
  ~FakeLibrary() {
    SetDllDirectoryA(nullptr);
    if (module_ != nullptr) FreeLibrary(module_);
  }
  bool loaded() const {
    return module_ != nullptr && setup_ && last_cells_ && counts_ && press_;
  }

  void Setup(int cells, bool refuse_open) { setup_(cells, refuse_open ? 1 : 0); }
  std::vector<uint8_t> LastCells() {
    std::vector<uint8_t> cells(256);
    const int n = last_cells_(cells.data(), static_cast<int>(cells.size()));
    cells.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return cells;
  }
  struct Record {
    int opens = 0;
    int writes = 0;
    int offset = 0;
    int configuration = 0;
    std::string port;
  };
  Record Count() {
    Record c;
    char port[32] = {};
    counts_(&c.opens, &c.writes, &c.offset, &c.configuration, port, sizeof port);
    c.port = port;
    return c;
  }
  bool Press(unsigned type, unsigned data) { return press_(type, data) != 0; }

 private:
  using SetupFunction = void (*)(int, int);
  using LastCellsFunction = int (*)(uint8_t*, int);
  using CountsFunction = void (*)(int*, int*, int*, int*, char*, int);
  using PressFunction = int (*)(unsigned, unsigned);
  HMODULE module_ = nullptr;
  SetupFunction setup_ = nullptr;
  LastCellsFunction last_cells_ = nullptr;
  CountsFunction counts_ = nullptr;
  PressFunction press_ = nullptr;
};

// Its console, with the braille display bound to it.
struct Console : BrailleConsole {
  explicit Console(BrailleDisplay& braille) : BrailleConsole(braille, "Z:\\nonexistent\\navelo.ini") {}
};

TEST(WindowsBraille, TheConsoleRowArrivesAsCells) {
  FakeLibrary fake(NAVELO_FAKE_BRAILLE_DIR);
  ASSERT_TRUE(fake.loaded());
  fake.Setup(40, false);
  std::unique_ptr<BrailleDisplay> braille = MakeBrailleDisplay();
  Console c(*braille);
  c.console.Open();
  EXPECT_EQ(braille->CellCount(), 40);
  FakeLibrary::Record counts = fake.Count();
  EXPECT_EQ(counts.opens, 1);
  EXPECT_EQ(counts.port, "USB");
  EXPECT_EQ(counts.configuration, 2);
  // Opening shows the blank cursor row: 40 empty cells.
  EXPECT_EQ(fake.LastCells(), std::vector<uint8_t>(40, 0));
  c.console.Write("Casa 12");
  EXPECT_EQ(fake.LastCells(), CellsOf("{casa #ab", 40));
  c.console.Write("\r\nCASA azul");
  EXPECT_EQ(fake.LastCells(), CellsOf("{{casa azul", 40));
  c.console.GotoXY(1, 1);
  EXPECT_EQ(fake.LastCells(), CellsOf("{casa #ab", 40));
  counts = fake.Count();
  EXPECT_EQ(counts.offset, 0);
  EXPECT_GE(counts.writes, 4);
}

TEST(WindowsBraille, KeysOfTheDisplayReachReadKey) {
  FakeLibrary fake(NAVELO_FAKE_BRAILLE_DIR);
  ASSERT_TRUE(fake.loaded());
  fake.Setup(20, false);
  std::unique_ptr<BrailleDisplay> braille = MakeBrailleDisplay();
  Console c(*braille);
  c.console.Open();
  ASSERT_EQ(braille->CellCount(), 20);
  EXPECT_FALSE(c.console.KeyPressed());
  // Dots 1-2-4 pressed one after another, then released: "f".
  ASSERT_TRUE(fake.Press(1, 1 * 256));
  ASSERT_TRUE(fake.Press(1, 2 * 256));
  ASSERT_TRUE(fake.Press(1, 8 * 256));
  ASSERT_TRUE(fake.Press(1, 3));
  // A routing bar moving down, and dot 8 alone (Enter).
  ASSERT_TRUE(fake.Press(3, 32));
  ASSERT_TRUE(fake.Press(1, 128 * 256));
  ASSERT_TRUE(fake.Press(1, 3));
  // Checked before reading, which would wait for ever for a key that never came.
  ASSERT_TRUE(c.console.KeyPressed());
  EXPECT_EQ(c.console.ReadKey(), 'f');
  EXPECT_EQ(c.console.ReadKey(), 0);
  EXPECT_EQ(c.console.ReadKey(), 80);
  EXPECT_EQ(c.console.ReadKey(), '\r');
  EXPECT_FALSE(c.console.KeyPressed());
}

TEST(WindowsBraille, WithoutTheLibraryTheBindingSaysItIsUnavailable) {
  std::unique_ptr<BrailleDisplay> braille = MakeBrailleDisplay();
  std::string reason;
  EXPECT_FALSE(braille->Open(reason));
  EXPECT_NE(reason.find("fsbrldspapi.dll"), std::string::npos) << reason;
  EXPECT_EQ(braille->CellCount(), 0);
  // The console works as before.
  Console c(*braille);
  c.console.Open();
  c.console.Write("Casa");
  EXPECT_EQ(c.console.ScreenText().substr(0, 5), "Casa\n");
}

TEST(WindowsBraille, ALibraryWithoutAnEntryPointIsNotUsed) {
  FakeLibrary fake(NAVELO_FAKE_BRAILLE_WITHOUT_WRITE_DIR);
  ASSERT_TRUE(fake.loaded());
  std::unique_ptr<BrailleDisplay> braille = MakeBrailleDisplay();
  std::string reason;
  EXPECT_FALSE(braille->Open(reason));
  EXPECT_NE(reason.find("_fbWrite@16"), std::string::npos) << reason;
  EXPECT_EQ(fake.Count().opens, 0);
}

TEST(WindowsBraille, NoDisplayOrNoCellsLeavesTheBindingInactive) {
  FakeLibrary fake(NAVELO_FAKE_BRAILLE_DIR);
  ASSERT_TRUE(fake.loaded());
  fake.Setup(40, true);
  {
    std::unique_ptr<BrailleDisplay> braille = MakeBrailleDisplay();
    std::string reason;
    EXPECT_FALSE(braille->Open(reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(braille->CellCount(), 0);
  }
  fake.Setup(0, false);
  std::unique_ptr<BrailleDisplay> braille = MakeBrailleDisplay();
  Console c(*braille);
  c.console.Open();
  c.console.Write("Casa");
  EXPECT_EQ(braille->CellCount(), 0);
  EXPECT_EQ(fake.Count().opens, 2);
  EXPECT_EQ(fake.Count().writes, 0);
}

}  // namespace
}  // namespace navelo
