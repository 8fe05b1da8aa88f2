#include "fault_engine.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

constexpr uint8_t NegativeResponse = 0x7F;
constexpr uint8_t ResponsePending = 0x78;

std::string HexByte(uint8_t Value) {
  char Buf[4];
  std::snprintf(Buf, sizeof Buf, "%02X", Value);
  return Buf;
}

void CheckAll(const std::vector<TFaultRule>& Rules) {
  for (const TFaultRule& Rule : Rules) {
    const std::string Problem = CheckFaultRule(Rule);
    if (!Problem.empty()) throw std::invalid_argument(Problem);
  }
}

}  // namespace

TFaultEngine::TFaultEngine(TEcuPort& Port) : FPort(Port) {}

void TFaultEngine::SetRules(std::vector<TFaultRule> Rules) {
  CheckAll(Rules);
  FRules.clear();
  FRules.reserve(Rules.size());
  for (TFaultRule& Rule : Rules) FRules.push_back({std::move(Rule), FNextId++, 0, 0});
}

uint64_t TFaultEngine::AddRule(const TFaultRule& Rule, bool First) {
  CheckAll({Rule});
  const uint64_t Id = FNextId++;
  FRules.insert(First ? FRules.begin() : FRules.end(), TRuleState{Rule, Id, 0, 0});
  return Id;
}

bool TFaultEngine::RemoveRule(uint64_t Id) {
  const auto It = std::find_if(FRules.begin(), FRules.end(), [Id](const TRuleState& R) { return R.Id == Id; });
  if (It == FRules.end()) return false;
  FRules.erase(It);
  return true;
}

void TFaultEngine::ClearRules() { FRules.clear(); }

void TFaultEngine::Reset() {
  FRules.clear();
  FPending.clear();
  FSilentUntilUs.reset();
}

std::optional<int64_t> TFaultEngine::ScenarioTimeMs() const {
  return FScenarioClock ? FScenarioClock() : FScenarioTimeMs;
}

int TFaultEngine::Poll(int64_t NowUs) {
  if (SilentAt(NowUs)) return 0;
  int Written = 0;
  // Writing adds nothing to the queue, so this ends after at most
  // MaxPending frames.
  while (!FPending.empty() && FPending.begin()->first <= NowUs) {
    const std::vector<uint8_t> Frame = std::move(FPending.begin()->second);
    FPending.erase(FPending.begin());
    FPort.WriteBuf(Frame.data(), static_cast<int>(Frame.size()));
    ++Written;
    if (FListener != nullptr) FListener->FaultFrameSent(Frame.data(), static_cast<int>(Frame.size()), NowUs);
  }
  return Written;
}

std::optional<int64_t> TFaultEngine::NextDueUs() const {
  if (FPending.empty()) return std::nullopt;
  const int64_t Due = FPending.begin()->first;
  return FSilentUntilUs ? std::max(Due, *FSilentUntilUs) : Due;
}

void TFaultEngine::Hold(int64_t DueUs, const uint8_t* Bytes, int Count) {
  if (Count <= 0) return;
  if (FPending.size() >= MaxPending) {
    ++FDroppedPending;
    return;
  }
  FPending.emplace(DueUs, std::vector<uint8_t>(Bytes, Bytes + Count));
}

bool TFaultEngine::Conditions(const TFaultRule& Rule, const TEcuRequest& Request, std::optional<int64_t> TimeMs) const {
  if (Rule.Service && Request.Data[0] != *Rule.Service) return false;
  if (Rule.Identifier && (Request.DataLength < 2 || Request.Data[1] != *Rule.Identifier)) return false;
  if (Rule.FromMs || Rule.ToMs) {
    if (!TimeMs) return false;
    if (Rule.FromMs && *TimeMs < *Rule.FromMs) return false;
    if (Rule.ToMs && *TimeMs >= *Rule.ToMs) return false;
  }
  return true;
}

TEcuAnswerAction TFaultEngine::FilterAnswer(const TEcuRequest& Request, const uint8_t* Answer, int AnswerCount,
                                            uint8_t* Replacement, int& ReplacementCount) {
  const int64_t NowUs = Request.Arrival;
  Poll(NowUs);
  if (SilentAt(NowUs)) {
    ++FSwallowed;
    return TEcuAnswerAction::Withhold;
  }
  // A frame without a service identifier has nothing for a rule to match
  // or to refuse.
  if (Request.DataLength < 1 || FRules.empty()) return TEcuAnswerAction::Send;

  const std::optional<int64_t> TimeMs = ScenarioTimeMs();
  size_t Index = 0;
  for (; Index < FRules.size(); ++Index) {
    TRuleState& State = FRules[Index];
    if (!Conditions(State.Rule, Request, TimeMs)) continue;
    if (++State.Seen % std::max<uint32_t>(State.Rule.EveryNth, 1) == 0) break;
  }
  if (Index == FRules.size()) return TEcuAnswerAction::Send;

  TRuleState& Taken = FRules[Index];
  ++Taken.Hits;
  // The listener may change nothing of the rules, but a copy keeps the rule
  // valid whatever it does.
  const TFaultRule Rule = Taken.Rule;
  if (FListener != nullptr) FListener->FaultHit(Rule, Index, Taken.Hits, NowUs);

  const int Count = std::clamp(AnswerCount, 0, MaxReplacement);
  switch (Rule.Action) {
    case TFaultAction::NoAnswer: return TEcuAnswerAction::Withhold;
    case TFaultAction::Late:
      Hold(NowUs + int64_t{Rule.DelayMs} * 1000, Answer, Count);
      return TEcuAnswerAction::Withhold;
    case TFaultAction::BadChecksum:
      if (Count == 0) return TEcuAnswerAction::Withhold;
      std::copy(Answer, Answer + Count, Replacement);
      Replacement[Count - 1] ^= 0xFF;
      ReplacementCount = Count;
      return TEcuAnswerAction::Replace;
    case TFaultAction::Cut:
      ReplacementCount = std::clamp(Rule.CutBytes, 0, Count);
      std::copy(Answer, Answer + ReplacementCount, Replacement);
      return TEcuAnswerAction::Replace;
    case TFaultAction::Negative: {
      // 7F, the refused service and the code, in the short header form with
      // the tester as target and the unit as source (ISO 14230-3 7.2).
      const uint8_t Frame[6] = {0x83, Request.Source, EcuAddress, NegativeResponse, Request.Data[0], Rule.NegativeCode};
      unsigned Sum = 0;
      for (uint8_t B : Frame) Sum += B;
      std::copy(Frame, Frame + 6, Replacement);
      Replacement[6] = static_cast<uint8_t>(Sum);
      ReplacementCount = 7;
      // "Response pending": the unit's own answer follows; where the unit
      // has none, nothing more is sent, as a unit that gave up would.
      if (Rule.NegativeCode == ResponsePending) Hold(NowUs + int64_t{Rule.PendingMs} * 1000, Answer, Count);
      return TEcuAnswerAction::Replace;
    }
    case TFaultAction::Silent:
      FSilentUntilUs = NowUs + int64_t{Rule.SilentMs} * 1000;
      return TEcuAnswerAction::Withhold;
  }
  return TEcuAnswerAction::Send;
}

const char* FaultActionName(TFaultAction Action) {
  switch (Action) {
    case TFaultAction::NoAnswer: return "no_answer";
    case TFaultAction::Late: return "late";
    case TFaultAction::BadChecksum: return "bad_checksum";
    case TFaultAction::Cut: return "cut";
    case TFaultAction::Negative: return "negative";
    case TFaultAction::Silent: return "silent";
  }
  return "unknown";
}

std::string DescribeFaultRule(const TFaultRule& Rule) {
  if (!Rule.Name.empty()) return Rule.Name;
  std::string Text;
  if (Rule.Service) Text = HexByte(*Rule.Service);
  if (Rule.Identifier) Text += (Rule.Service ? " " : "идентификатор ") + HexByte(*Rule.Identifier);
  if (Text.empty()) Text = "все запросы";
  if (Rule.EveryNth > 1) Text += ", каждый " + std::to_string(Rule.EveryNth) + "-й";
  if (Rule.FromMs && Rule.ToMs) Text += ", " + std::to_string(*Rule.FromMs) + ".." + std::to_string(*Rule.ToMs) + " мс";
  else if (Rule.FromMs) Text += ", с " + std::to_string(*Rule.FromMs) + " мс";
  else if (Rule.ToMs) Text += ", до " + std::to_string(*Rule.ToMs) + " мс";
  Text += ": ";
  switch (Rule.Action) {
    case TFaultAction::NoAnswer: return Text + "нет ответа";
    case TFaultAction::Late: return Text + "ответ через " + std::to_string(Rule.DelayMs) + " мс";
    case TFaultAction::BadChecksum: return Text + "неверная контрольная сумма";
    case TFaultAction::Cut: return Text + "обрезан после байта " + std::to_string(Rule.CutBytes);
    case TFaultAction::Negative:
      Text += "отрицательный ответ " + HexByte(Rule.NegativeCode);
      if (Rule.NegativeCode == ResponsePending) Text += ", ответ через " + std::to_string(Rule.PendingMs) + " мс";
      return Text;
    case TFaultAction::Silent: return Text + "молчание " + std::to_string(Rule.SilentMs) + " мс";
  }
  return Text;
}

std::string CheckFaultRule(const TFaultRule& Rule) {
  const std::string Who = "правило \"" + DescribeFaultRule(Rule) + "\": ";
  if (Rule.EveryNth < 1) return Who + "\"каждый\" должно быть не меньше 1";
  switch (Rule.Action) {
    case TFaultAction::NoAnswer:
    case TFaultAction::BadChecksum: break;
    case TFaultAction::Late:
      if (Rule.DelayMs < 1 || Rule.DelayMs > 60000) return Who + "задержка должна быть от 1 до 60000 мс";
      break;
    case TFaultAction::Cut:
      if (Rule.CutBytes < 0) return Who + "число байт не может быть отрицательным";
      break;
    case TFaultAction::Negative:
      if (!IsAllowedNegativeCode(Rule.NegativeCode))
        return Who + "код отрицательного ответа должен быть одним из 10, 11, 12, 21, 22, 31, 78";
      if (Rule.NegativeCode == ResponsePending && (Rule.PendingMs < 1 || Rule.PendingMs > 5000))
        return Who + "ожидание ответа после 78 должно быть от 1 до 5000 мс";
      break;
    case TFaultAction::Silent:
      if (Rule.SilentMs < 1 || Rule.SilentMs > 600000) return Who + "молчание должно быть от 1 до 600000 мс";
      break;
  }
  return {};
}
