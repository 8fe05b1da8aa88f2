// The program's output: a reader that stops reading or goes away never holds
// anything up.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "sim_loop.h"

namespace {

using namespace std::chrono_literals;

TEST(LineOutput, AReaderThatStopsReadingNeverBlocksTheWriter) {
  std::promise<void> Release;
  std::shared_future<void> Released = Release.get_future().share();
  auto Written = std::make_shared<std::string>();
  auto WrittenLock = std::make_shared<std::mutex>();
  TLineOutput Output(
      [=](const char* Data, size_t Size) {
        Released.wait();  // the reader reads nothing until released
        std::lock_guard<std::mutex> Guard(*WrittenLock);
        Written->append(Data, Size);
        return true;
      },
      1000);
  // Far more than the queue holds: every call returns, the rest is counted.
  for (int I = 0; I < 1000; ++I) Output.Write("line " + std::to_string(I));
  EXPECT_GT(Output.DroppedLines(), 800u);
  EXPECT_FALSE(Output.Flush(50ms));
  Release.set_value();
  EXPECT_TRUE(Output.Flush(10s));
  std::lock_guard<std::mutex> Guard(*WrittenLock);
  EXPECT_EQ(Written->rfind("line 0\n", 0), 0u);
  // Once there is room again, one line says how many went missing.
  const std::string Notice = "{\"event\":\"output\",\"dropped_lines\":" + std::to_string(Output.DroppedLines()) + "}\n";
  EXPECT_NE(Written->find(Notice), std::string::npos) << *Written;
}

TEST(LineOutput, AReaderThatHasGoneTakesNoMoreLines) {
  std::atomic<int> Calls{0};
  TLineOutput Output([&](const char*, size_t) {
    ++Calls;
    return false;  // EPIPE
  });
  Output.Write("first");
  EXPECT_TRUE(Output.Flush(10s));
  EXPECT_TRUE(Output.ReaderGone());
  for (int I = 0; I < 100; ++I) Output.Write("more");
  EXPECT_TRUE(Output.Flush(10s));
  EXPECT_EQ(Calls.load(), 1);
  EXPECT_EQ(Output.DroppedLines(), 100u);
}

}  // namespace
