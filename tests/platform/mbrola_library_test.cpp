// The MBROLA library loaded at run time (a fake one built by the tests): all 23 entry points make
// it usable and its calls reach it; one missing, or no file, and it is not loaded.
#include <gmock/gmock.h>

#include <vector>

#include "platform/mbrola_backend.h"

namespace navelo {
namespace {

using ::testing::HasSubstr;

TEST(MbrolaLibraryTest, WithEveryEntryPointTheLibraryLoadsAndItsCallsWork) {
  std::string reason;
  std::unique_ptr<MbrolaBackend> library = LoadMbrolaLibrary({NAVELO_FAKE_MBROLA}, reason);
  ASSERT_NE(library, nullptr) << reason;
  EXPECT_STREQ(library->Kind(), "library");
  EXPECT_EQ(library->Init("voz"), 0);
  library->SetNoError(-63);
  library->Reset();
  EXPECT_GE(library->Write("a 10\r\n"), 0);
  EXPECT_GE(library->Write("_ 5\r\n"), 0);
  EXPECT_GE(library->Flush(), 0);
  std::vector<int16_t> samples(1000, 0);
  EXPECT_EQ(library->Read(samples.data(), 1000), 240);  // 16 samples a millisecond
  EXPECT_EQ(samples[0], 1000);
  EXPECT_EQ(samples[239], 1000);
  EXPECT_EQ(library->Read(samples.data(), 1000), 0);
  EXPECT_EQ(library->LastError(), "fake failure");
  library->Close();
}

TEST(MbrolaLibraryTest, ALibraryLackingAnEntryPointOrNotThereIsNotLoaded) {
  std::string reason;
  EXPECT_EQ(LoadMbrolaLibrary({NAVELO_FAKE_MBROLA_INCOMPLETE}, reason), nullptr);
  EXPECT_THAT(reason, HasSubstr("appendf0_Phone"));
  EXPECT_EQ(LoadMbrolaLibrary({"nao-existe/mbrola-falsa.lib"}, reason), nullptr);
  EXPECT_EQ(reason, "no MBROLA library was found");
}

}  // namespace
}  // namespace navelo
