// A device that vanishes and comes back: OnDeviceLost, and TVaPortKeeper
// opening the same path again. The device is a symbolic link to the slave of
// a pseudo-terminal pair, the way /dev/serial/by-id/ names a USB adapter;
// closing the pair is pulling the adapter out (the kernel hangs the slave up
// and removes its node).
#include "test_support.h"
#include "vakeeper.h"
#include "vathreads.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace {

class DeviceLossTest : public ::testing::Test {
protected:
  DeviceLossTest() {
    char Dir[] = "/tmp/seriallink-loss-XXXXXX";
    if (!mkdtemp(Dir)) throw std::runtime_error("mkdtemp failed");
    FDir = Dir;
    Path = FDir + "/adapter";
    Comm.SetDeviceName(Path);
    PlugIn();
  }
  ~DeviceLossTest() override {
    unlink(Path.c_str());
    rmdir(FDir.c_str());
  }
  void SetUp() override {
    Comm.SetOnDeviceLost([this](TVaCustomComm* Sender, const std::string& Reason) {
      EXPECT_EQ(Sender, &Comm);
      Losses.push_back(Reason);
    });
    Comm.SetOnRxChar([this](TVaCustomComm* Sender, int Count) {
      std::vector<uint8_t> Buf(static_cast<size_t>(Count));
      const int Got = Sender->ReadBuf(Buf.data(), Count);
      Received.append(Buf.begin(), Buf.begin() + Got);
    });
  }
  void TearDown() override {
    Comm.Close();
    EXPECT_TRUE(WorkersEnd(*P.Sync));
  }
  // A new pseudo-terminal pair at Path, replacing the link in one step.
  void PlugIn() {
    Pty = std::make_unique<TPtyPair>();
    const std::string Link = FDir + "/new";
    if (symlink(Pty->SlavePath().c_str(), Link.c_str()) != 0 || rename(Link.c_str(), Path.c_str()) != 0)
      throw std::runtime_error("cannot link the pseudo-terminal");
  }
  // Nothing is left at Path. The link goes first, as udev removes a
  // /dev/serial/by-id/ name: a link left pointing at the closed slave would
  // let the keeper open whichever pseudo-terminal another process is given
  // under that number next.
  void PullOut() {
    unlink(Path.c_str());
    Pty.reset();
  }
  bool Run(const std::function<bool()>& Done) { return P.Sync->RunUntil(Done); }

  std::string FDir, Path;
  std::unique_ptr<TPtyPair> Pty;
  TPort P{""};
  TVaComm& Comm = P.Comm;
  std::vector<std::string> Losses;
  std::string Received;
};

const std::string SIoError = "Error retrieving statistics (5), Input/output error";

}  // namespace

TEST_F(DeviceLossTest, APulledAdapterIsOneLossInsteadOfReports) {
  Comm.Open();
  Pty->Send("ab");
  ASSERT_TRUE(Run([&] { return Received == "ab"; }));
  PullOut();
  ASSERT_TRUE(Run([&] { return !Losses.empty(); }));
  // Which thread meets the vanished device first is the scheduler's choice:
  // usually reading what came fails and names the error; when the event
  // thread's wait reports the hang-up before any read, the hang-up is the
  // loss (seen once under AddressSanitizer). Either way it is one loss.
  const std::string HungUp = "The device " + Path + " has hung up";
  ASSERT_EQ(Losses.size(), 1u);
  EXPECT_TRUE(Losses[0] == SIoError || Losses[0] == HungUp) << Losses[0];
  // Answers still queued fail on the device too: no second loss, nothing
  // reported, and the workers try again only once per pause while the port
  // stays open (a worker that spins makes hundreds of hand-overs).
  const int RunsBefore = P.Sync->Runs();
  const auto Start = std::chrono::steady_clock::now();
  Comm.WriteBuf("answer", 6);
  P.Sync->RunFor(1000ms);
  const int Pauses = int(Since(Start).count() / vacomm_detail::VA_RETRY_PAUSE_MS) + 1;
  EXPECT_LE(P.Sync->Runs() - RunsBefore, 2 * Pauses);
  EXPECT_EQ(Losses.size(), 1u);
  EXPECT_EQ(P.Reports, std::vector<std::string>{});
  EXPECT_TRUE(Comm.Active());
}

TEST_F(DeviceLossTest, WithoutWorkersTheOwnersOwnCallRaisesTheLossOnce) {
  Comm.SetMonitorEvents({});
  Comm.SetDirectWrite(true);
  Comm.Open();
  PullOut();
  // Raised inside the failing call, which then fails as always.
  EXPECT_EQ(CommErrorOf([&] { Comm.InQueCount(); }), SIoError);
  EXPECT_EQ(Losses, std::vector<std::string>{SIoError});
  EXPECT_EQ(CommErrorOf([&] { Comm.WriteBuf("x", 1); }), "Write error (5), Input/output error");
  EXPECT_EQ(Losses.size(), 1u);
}

namespace {

class PortKeeperTest : public DeviceLossTest {
protected:
  void SetUp() override {
    DeviceLossTest::SetUp();
    Keeper = std::make_unique<TVaPortKeeper>(Comm);
    Keeper->SetOnStateChange(
        [this](TVaKeeperState State, const std::string& Text) { Changes.emplace_back(State, Text); });
    Comm.SetOnOpen([this](TVaCustomComm*) { ++Opens; });
    Comm.Open();
    Keeper->Opened();
  }
  void TearDown() override {
    Keeper.reset();
    DeviceLossTest::TearDown();
  }
  using TChange = std::pair<TVaKeeperState, std::string>;
  std::unique_ptr<TVaPortKeeper> Keeper;
  std::vector<TChange> Changes;
  int Opens = 0;
};

}  // namespace

TEST_F(PortKeeperTest, BringsThePortBackWhenADeviceIsAtThePathAgain) {
  const std::string NotFound = "Specified device not found (" + Path + ").";
  uint32_t Now = 0xFFFFFC00u;  // the millisecond clock wraps on the way
  PullOut();
  ASSERT_TRUE(Run([&] { return Keeper->State() == TVaKeeperState::Lost; }));
  EXPECT_FALSE(Comm.Active());
  // The failed read or the hang-up, whichever the port met first (see above).
  const std::string Loss = Keeper->Reason();
  EXPECT_TRUE(Loss == SIoError || Loss == "The device " + Path + " has hung up") << Loss;
  // Nothing at the path: one attempt a second, only the first one reported.
  for (int i = 0; i < 12; ++i, Now += 250) Keeper->Tick(Now);
  EXPECT_EQ(Keeper->Attempts(), 2);
  EXPECT_EQ(Keeper->Reason(), Loss);
  EXPECT_EQ(Changes,
            (std::vector<TChange>{
                {TVaKeeperState::Open, ""}, {TVaKeeperState::Lost, Loss}, {TVaKeeperState::Reopening, NotFound}}));
  // Plugged in again: the next due tick opens the same path.
  PlugIn();
  Keeper->Tick(Now - 10);
  EXPECT_FALSE(Comm.Active());
  Keeper->Tick(Now);
  EXPECT_TRUE(Comm.Active());
  EXPECT_EQ(Keeper->Attempts(), 3);
  EXPECT_EQ(Changes.back(), TChange(TVaKeeperState::Open, ""));
  Pty->Send("back");
  EXPECT_TRUE(Run([&] { return Received == "back"; }));
  Comm.WriteBuf("ok", 2);
  const auto Answer = ReceiveRunning(*Pty, *P.Sync, 2);
  EXPECT_EQ(std::string(Answer.begin(), Answer.end()), "ok");
  // The next loss is raised again.
  PullOut();
  EXPECT_TRUE(Run([&] { return Keeper->State() == TVaKeeperState::Lost; }));
  EXPECT_EQ(P.Reports, std::vector<std::string>{});
}

TEST_F(PortKeeperTest, LeavesAHealthyPortAloneAndStopsWhenTheOwnerCloses) {
  uint32_t Now = 0;
  for (int i = 0; i < 20; ++i, Now += 250) {
    Keeper->Tick(Now);
    Pty->Send("x");
    ASSERT_TRUE(Run([&] { return Received.size() == size_t(i + 1); }));
  }
  EXPECT_EQ(Opens, 1);
  EXPECT_EQ(Keeper->Attempts(), 0);
  // Closed while the device was away: no more attempts, also once a device
  // is at the path again.
  PullOut();
  ASSERT_TRUE(Run([&] { return Keeper->State() == TVaKeeperState::Lost; }));
  Keeper->Tick(Now);
  Keeper->Tick(Now += 1000);
  EXPECT_EQ(Keeper->State(), TVaKeeperState::Reopening);
  Keeper->Closed();
  PlugIn();
  for (int i = 0; i < 12; ++i) Keeper->Tick(Now += 250);
  EXPECT_FALSE(Comm.Active());
  EXPECT_EQ(Keeper->Attempts(), 1);
  EXPECT_EQ(Keeper->Reason(), "");
  // Closed by the owner while open: the keeper notices at its next tick.
  Comm.Open();
  Keeper->Opened();
  Comm.Close();
  Keeper->Tick(Now += 250);
  EXPECT_EQ(Keeper->State(), TVaKeeperState::Closed);
  Keeper->Tick(Now += 5000);
  EXPECT_EQ(Opens, 2);
}
