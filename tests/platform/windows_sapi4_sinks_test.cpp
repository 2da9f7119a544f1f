// The notification sinks the Speech API 4 engine hands to the engine, called through their
// declared interfaces as an engine calls them: what they answer to, their reference counts, and
// the busy test their notices make.
#include <gtest/gtest.h>

#include "platform/win32/sapi4_sinks.h"

namespace navelo::win32 {
namespace {

Sapi4Progress Progress(const Sapi4Sinks& sinks) {
  std::lock_guard<std::mutex> lock(sinks.notices->lock);
  return sinks.notices->progress;
}

TEST(WindowsSapi4Sinks, EachSinkAnswersToItsOwnInterfaceOnly) {
  Sapi4Sinks sinks = MakeSapi4Sinks();
  void* object = nullptr;
  EXPECT_EQ(sinks.notify->QueryInterface(sapi4::kIidNotifySink, &object), S_OK);
  EXPECT_EQ(object, sinks.notify);
  sinks.notify->Release();
  EXPECT_EQ(sinks.notify->QueryInterface(IID_IUnknown, &object), S_OK);
  sinks.notify->Release();
  EXPECT_EQ(sinks.notify->QueryInterface(sapi4::kIidBufferNotifySink, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(sinks.buffer->QueryInterface(sapi4::kIidBufferNotifySink, &object), S_OK);
  EXPECT_EQ(object, sinks.buffer);
  sinks.buffer->Release();
  EXPECT_EQ(sinks.buffer->QueryInterface(sapi4::kIidNotifySink, &object), E_NOINTERFACE);
  // One reference each is the caller's; a reference the engine keeps outlives the caller's.
  EXPECT_EQ(sinks.notify->AddRef(), 2u);
  EXPECT_EQ(sinks.notify->Release(), 1u);
  EXPECT_EQ(sinks.notify->Release(), 0u);
  EXPECT_EQ(sinks.buffer->Release(), 0u);
}

TEST(WindowsSapi4Sinks, TheNoticesMakeTheBusyTest) {
  Sapi4Sinks sinks = MakeSapi4Sinks();
  EXPECT_FALSE(Progress(sinks).Busy(false));
  sinks.buffer->TextDataStarted(1);
  EXPECT_TRUE(Progress(sinks).Busy(true));
  sinks.notify->AudioStart(2);
  sinks.buffer->TextDataDone(3, 0);
  // Text done, sound still playing.
  EXPECT_FALSE(Progress(sinks).Busy(true));
  EXPECT_TRUE(Progress(sinks).Busy(false));
  // Notices the engine only reports change nothing.
  sinks.notify->AttribChanged(1);
  sinks.notify->Visual(4, 'a', 'a', 0, nullptr);
  sinks.buffer->BookMark(5, 1);
  sinks.buffer->WordPosition(6, 2);
  EXPECT_TRUE(Progress(sinks).Busy(false));
  sinks.notify->AudioStop(7);
  EXPECT_FALSE(Progress(sinks).Busy(false));
  sinks.buffer->TextDataDone(8, 0);
  EXPECT_EQ(Progress(sinks).pending(), 0);
  sinks.notify->Release();
  sinks.buffer->Release();
}

}  // namespace
}  // namespace navelo::win32
