#pragma once
// Faults on cue: TFaultEngine sits between the emulator's answer stage and
// the port (TEcuAnswerFilter) and applies a list of fault rules to the
// requests addressed to the unit.
//
// Matching: the rules are tried in list order and the first that takes a
// request wins. A rule looks at a request when its service, identifier and
// scenario time window hold (each condition only where given); it counts
// those requests and takes every EveryNth-th of them. A rule never sees the
// requests that an earlier rule took. A rule with a time window matches
// only while a scenario time is known.
//
// Actions, on the answer the unit built (bytes exact):
// - NoAnswer: nothing is written.
// - Late: the answer is written DelayMs after the request arrived.
// - BadChecksum: the answer with its last byte inverted (xor 0xFF).
// - Cut: the first CutBytes bytes of the answer (0: nothing).
// - Negative: 83 <tester> 11 7F <service> <code> <checksum>, the way the
//   unit frames its answers, also for a request the unit leaves unanswered.
//   For 78 (response pending) the unit's own answer follows PendingMs later.
// - Silent: from the request on, nothing is written for SilentMs: no answer
//   to any request (those requests are not offered to the rules either) and
//   no held answer; held answers that fall due meanwhile go out when the
//   silence ends.
// Where the unit has no answer, Late, BadChecksum and Cut write nothing.
//
// Answers held for later (Late, the answer after 78) wait in a queue of at
// most MaxPending frames, ordered by due time; a frame that finds it full is
// dropped and counted. The host writes them out with Poll, at or after the
// time NextDueUs names; Poll also runs before each request is filtered, so
// frames due before a request go out before its answer.
//
// Times are microseconds on the port's clock (arrival times of requests,
// NowUs of Poll). Everything runs on the window thread. No Qt.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ecu_interfaces.h"
#include "fault_rule.h"

// Told what the engine does; called on the engine's thread; must not throw.
class TFaultListener {
public:
  virtual ~TFaultListener() = default;
  // Rule (at Index in the list) took a request that arrived at NowUs; Hits
  // counts its hits so far, this one included.
  virtual void FaultHit(const TFaultRule& Rule, size_t Index, uint64_t Hits, int64_t NowUs) = 0;
  // The engine wrote a frame it had held (a late answer, the answer after a
  // response pending) through the port at NowUs.
  virtual void FaultFrameSent(const uint8_t* Bytes, int Count, int64_t NowUs) = 0;
};

class TFaultEngine : public TEcuAnswerFilter {
public:
  static constexpr size_t MaxPending = 256;
  // The emulated unit's address, the source of every negative response.
  static constexpr uint8_t EcuAddress = 0x11;
  // The scenario's time in milliseconds; none while no scenario plays.
  using TScenarioClock = std::function<std::optional<int64_t>()>;

  explicit TFaultEngine(TEcuPort& Port);

  // Replaces the rules (a scenario's schedule); every count starts again.
  // Throws std::invalid_argument (with CheckFaultRule's text) for a rule
  // that cannot be applied, leaving the rules as they were.
  void SetRules(std::vector<TFaultRule> Rules);
  // One rule applied by hand: added first (it takes precedence over the
  // schedule) or last. Returns an id for RemoveRule. Throws like SetRules.
  uint64_t AddRule(const TFaultRule& Rule, bool First = true);
  // Removes the rule with this id; false when there is none.
  bool RemoveRule(uint64_t Id);
  // Removes every rule; frames already held and a silence go on.
  void ClearRules();
  // Removes every rule, drops the held frames and ends a silence.
  void Reset();

  size_t RuleCount() const { return FRules.size(); }
  const TFaultRule& Rule(size_t Index) const { return FRules.at(Index).Rule; }
  uint64_t RuleId(size_t Index) const { return FRules.at(Index).Id; }
  uint64_t Hits(size_t Index) const { return FRules.at(Index).Hits; }

  // The scenario time for the rules' windows: a clock, read at each
  // request, or else a value set by hand (none at start).
  void SetScenarioClock(TScenarioClock Clock) { FScenarioClock = std::move(Clock); }
  void SetScenarioTimeMs(std::optional<int64_t> Ms) { FScenarioTimeMs = Ms; }

  void SetListener(TFaultListener* Value) { FListener = Value; }

  // Writes every held frame due at NowUs (none while the unit is silent);
  // returns how many. A port error leaves it with the frame dropped.
  int Poll(int64_t NowUs);
  // When Poll has something to write next; none when nothing is held.
  std::optional<int64_t> NextDueUs() const;

  size_t PendingCount() const { return FPending.size(); }
  // Held frames dropped because the queue was full.
  uint64_t DroppedPending() const { return FDroppedPending; }
  // Requests swallowed by a silence.
  uint64_t Swallowed() const { return FSwallowed; }
  // Whether the unit is silent at NowUs.
  bool SilentAt(int64_t NowUs) const { return FSilentUntilUs && NowUs < *FSilentUntilUs; }

  // TEcuAnswerFilter
  TEcuAnswerAction FilterAnswer(const TEcuRequest& Request, const uint8_t* Answer, int AnswerCount,
                                uint8_t* Replacement, int& ReplacementCount) override;

private:
  struct TRuleState {
    TFaultRule Rule;
    uint64_t Id = 0;
    uint64_t Seen = 0;  // requests that met the conditions
    uint64_t Hits = 0;
  };

  std::optional<int64_t> ScenarioTimeMs() const;
  bool Conditions(const TFaultRule& Rule, const TEcuRequest& Request, std::optional<int64_t> TimeMs) const;
  void Hold(int64_t DueUs, const uint8_t* Bytes, int Count);

  TEcuPort& FPort;
  std::vector<TRuleState> FRules;
  uint64_t FNextId = 1;
  TScenarioClock FScenarioClock;
  std::optional<int64_t> FScenarioTimeMs;
  TFaultListener* FListener = nullptr;
  // Held frames by due time; frames due at the same time keep their order.
  std::multimap<int64_t, std::vector<uint8_t>> FPending;
  uint64_t FDroppedPending = 0;
  std::optional<int64_t> FSilentUntilUs;
  uint64_t FSwallowed = 0;
};

// The name the record files and the scenario files use for an action
// ("no_answer", "late", "bad_checksum", "cut", "negative", "silent").
const char* FaultActionName(TFaultAction Action);

// The rule's name, or when it has none a description made up from it
// ("21 06, каждый 3-й, 10..20 с: ответ через 200 мс").
std::string DescribeFaultRule(const TFaultRule& Rule);

// Empty when the engine can apply the rule, else what is wrong with it.
std::string CheckFaultRule(const TFaultRule& Rule);
