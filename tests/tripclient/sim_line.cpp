#include "sim_line.h"

#include <gtest/gtest.h>

#include "numtext.h"

#include <algorithm>

TSimLine::TSimLine() {
  // The unit's fields hold the tester window's start values, written with
  // a comma.
  SetDecimalSeparator(',');
}

bool TSimLine::Send(const uint8_t* Bytes, int Count) {
  const TBytes Request(Bytes, Bytes + Count);
  Sent.push_back({Now, Request});
  if (Refuse) return false;
  const int64_t End = Now + Count * Client.Timing().ByteUs;
  if (Echo) Deliver(End + LatencyUs, Request);
  if (Unplugged) return true;
  Unit.Port.Now = End;
  Unit.Event(Request);
  for (const TBytes& Answer : Unit.Sent()) {
    const TBytes Out = Alter ? Alter(Request, Answer) : Answer;
    if (!Out.empty()) Deliver(End + AnswerDelayUs + LatencyUs, Out);
  }
  return true;
}

bool TSimLine::SetBreak(bool On) {
  Breaks.push_back({Now, On});
  return CanBreak;
}

void TSimLine::Deliver(int64_t TimeUs, TBytes Bytes) { FQueue.emplace(TimeUs, std::move(Bytes)); }

bool TSimLine::Run(int64_t UntilUs, const std::function<bool()>& Done) {
  int TicksAtNow = 0;
  int64_t TickTime = -1;
  for (;;) {
    if (Done && Done()) return true;
    const int64_t Due = Client.NextDeadlineUs();
    const int64_t Next = FQueue.empty() ? Due : std::min(Due, FQueue.begin()->first);
    if (Next > UntilUs) {
      Now = std::max(Now, UntilUs);
      return Done ? Done() : false;
    }
    Now = std::max(Now, Next);
    // Bytes that are due with a deadline reach the client first.
    if (!FQueue.empty() && FQueue.begin()->first <= Due) {
      const TBytes Bytes = FQueue.begin()->second;
      FQueue.erase(FQueue.begin());
      Delivered.push_back({Now, Bytes});
      Client.Received(Bytes.data(), static_cast<int>(Bytes.size()), Now);
      continue;
    }
    ++Ticks;
    TicksAtNow = TickTime == Now ? TicksAtNow + 1 : 1;
    TickTime = Now;
    Client.Tick(Now);
    // A repeat may follow its time-out at the same moment; more than that
    // at one time is a client that does not move on.
    if (TicksAtNow > 3) {
      ADD_FAILURE() << "the client ticks at " << Now << " us without moving on";
      return false;
    }
  }
}

std::vector<uint8_t> TSimLine::ServicesFrom(size_t Index) const {
  std::vector<uint8_t> Services;
  for (size_t I = Index; I < Sent.size(); ++I) {
    const TBytes& F = Sent[I].Bytes;
    Services.push_back(F[0] == 0x80 ? F[4] : F[3]);
  }
  return Services;
}
