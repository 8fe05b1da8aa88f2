// The Win32 half's rules that need no Windows: transfer records that a
// driver may still own are never reused or freed under it, and waits that
// keep ending without events are not spun on.
#include "varecords.h"

#include <gtest/gtest.h>

#include <set>

using namespace vacomm_detail;

namespace {

// A record whose transfer the test finishes by hand; counts the living ones.
struct TFakeRecord {
  static int Alive;
  bool Done = false;
  TFakeRecord() { ++Alive; }
  ~TFakeRecord() { --Alive; }
  bool Finished() const { return Done; }
};
int TFakeRecord::Alive = 0;

}  // namespace

TEST(RecordPool, AnAbandonedRecordIsNeverHandedOutAgainNorFreedUnfinished) {
  TFakeRecord::Alive = 0;
  std::set<TFakeRecord*> Abandoned;
  {
    TVaRecordPool<TFakeRecord> Pool;
    TFakeRecord* First = &Pool.Current();
    EXPECT_EQ(&Pool.Current(), First);  // a healthy transfer's record is kept for the next
    for (int i = 0; i < 3; ++i) {
      TFakeRecord* R = &Pool.Current();
      EXPECT_EQ(Abandoned.count(R), 0u) << "a record the driver may still own was reused";
      Abandoned.insert(R);
      Pool.Abandon();
    }
    EXPECT_EQ(Pool.Abandoned(), 3u);
    EXPECT_EQ(Abandoned.count(&Pool.Current()), 0u);
    // Sweeping keeps every record whose transfer has not finished.
    Pool.Sweep();
    EXPECT_EQ(Pool.Abandoned(), 3u);
    EXPECT_EQ(TFakeRecord::Alive, 4);

    // One finishes late: it is freed at the next sweep, the others stay.
    TFakeRecord* Late = *Abandoned.begin();
    Late->Done = true;
    Abandoned.erase(Late);
    Pool.Sweep();
    EXPECT_EQ(Pool.Abandoned(), 2u);
    EXPECT_EQ(TFakeRecord::Alive, 3);
  }
  // The pool is gone: the current record is freed, the two unfinished ones
  // are left to the driver.
  EXPECT_EQ(TFakeRecord::Alive, 2);
  for (TFakeRecord* R : Abandoned) delete R;  // the "driver" is done with them now
}

TEST(RecordPool, FinishedAbandonedRecordsAreFreedWhenThePoolGoes) {
  TFakeRecord::Alive = 0;
  {
    TVaRecordPool<TFakeRecord> Pool;
    TFakeRecord& R = Pool.Current();
    Pool.Abandon();
    R.Done = true;
    Pool.Current();
  }
  EXPECT_EQ(TFakeRecord::Alive, 0);
}

TEST(WaitJudge, FailuresCarryTheirCodeAndEmptyWaitsInARowAreAHangup) {
  TVaWaitJudge Judge;
  uint32_t Mask = 99;
  int Error = 99;
  // A wait with events passes them on.
  EXPECT_EQ(Judge.Judge(true, 0x81, 0, Mask, Error), TVaWaitStatus::Events);
  EXPECT_EQ(Mask, 0x81u);
  EXPECT_EQ(Error, 0);
  // A failed wait is a failure with its code, every time: the event thread
  // counts them and reports the device lost.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Judge.Judge(false, 0x81, 995, Mask, Error), TVaWaitStatus::Failed);
    EXPECT_EQ(Error, 995);
    EXPECT_EQ(Mask, 0u);
  }
  // One wait without events (the mask was changed meanwhile) is ordinary.
  EXPECT_EQ(Judge.Judge(true, 0, 0, Mask, Error), TVaWaitStatus::Events);
  EXPECT_EQ(Mask, 0u);
  EXPECT_EQ(Judge.Judge(true, 1, 0, Mask, Error), TVaWaitStatus::Events);
  EXPECT_EQ(Judge.Judge(true, 0, 0, Mask, Error), TVaWaitStatus::Events);
  // A driver that keeps ending waits for nothing is a hang-up, for as long
  // as it goes on.
  EXPECT_EQ(Judge.Judge(true, 0, 0, Mask, Error), TVaWaitStatus::Hangup);
  EXPECT_EQ(Judge.Judge(true, 0, 0, Mask, Error), TVaWaitStatus::Hangup);
  // A real event ends it.
  EXPECT_EQ(Judge.Judge(true, 4, 0, Mask, Error), TVaWaitStatus::Events);
  EXPECT_EQ(Judge.Judge(true, 0, 0, Mask, Error), TVaWaitStatus::Events);
}
