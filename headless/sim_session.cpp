#include "sim_session.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "builtin_scenarios.h"
#include "numtext.h"
#include "record_file.h"
#include "timing_verdict.h"

namespace {

using TJson = nlohmann::ordered_json;

std::string Dump(const TJson& J) { return J.dump(-1, ' ', false, TJson::error_handler_t::replace); }

// "81 11 F1": bytes as upper-case hex pairs.
std::string HexText(const uint8_t* Bytes, int Count) {
  std::string Text;
  AppendHexBytes(Text, Bytes, static_cast<size_t>(std::max(Count, 0)));
  return Text.empty() ? Text : Text.substr(1);
}

// The names the window's record uses for the edit fields.
std::string EditName(TEcuField Field) { return std::string("Edit") + FieldName(Field); }

}  // namespace

TSimSession::TSimSession(TEcuPort& Port, TOutput Output, TClock ClockUs)
    : FClock(std::move(ClockUs)),
      FOutput(std::move(Output)),
      FEmulator(Port, FPanel),
      FEngine(Port),
      FRunRecord(FClock),
      FFileRecord(FClock) {
  FEmulator.FormCreate();
  FEmulator.SetObserver(this);
  FEngine.SetListener(this);
  FEngine.SetScenarioClock(
      [this]() -> std::optional<int64_t> { return FPlayer ? FPlayer->ScenarioTimeMs() : std::nullopt; });
  FStartUs = FClock();
  FRunRecord.Start();
}

TSimSession::~TSimSession() { FEmulator.SetAnswerFilter(nullptr); }

TSimCounters TSimSession::Counters() const {
  TSimCounters C = FCounts;
  C.FramesReceived = FEmulator.FramesReceived;
  C.FragmentsDropped = FEmulator.FragmentsDropped;
  return C;
}

// ---------------------------------------------------------------------------
// The line

void TSimSession::RxChar(int Count) {
  try {
    FEmulator.RxChar(Count);
  } catch (const EConvertError& E) {
    // The frames were counted by their outcome; the message is the window's.
    if (FEvents) Event(Dump(TJson{{"event", "error"}, {"kind", "conversion"}, {"message", E.what()}}));
  }
}

void TSimSession::PortError(const std::string& Message) {
  ++FCounts.PortErrors;
  Event(Dump(TJson{{"event", "error"}, {"kind", "port"}, {"message", Message}}));
}

void TSimSession::PortState(const std::string& State, const std::string& Text) {
  TJson J{{"event", "port"}, {"state", State}};
  if (!Text.empty()) J["reason"] = Text;
  Event(Dump(J));
}

void TSimSession::Event(const std::string& Json) { FOutput(Json); }

void TSimSession::FrameReceived(const uint8_t* Bytes, int Count, const int64_t* PieceTimes, int Pieces) {
  FRunRecord.FrameReceived(Bytes, Count, PieceTimes, Pieces);
  FFileRecord.FrameReceived(Bytes, Count, PieceTimes, Pieces);
  FFramePending = true;
  FFrameTime = Pieces > 0 ? PieceTimes[0] : FClock();
  if (FEvents) FFrameBytes = HexText(Bytes, Count);
}

void TSimSession::FrameOutcome(TEcuOutcome Outcome) {
  FRunRecord.FrameOutcome(Outcome);
  FFileRecord.FrameOutcome(Outcome);
  if (Outcome == TEcuOutcome::ConversionError) ++FCounts.ConversionErrors;
  FFramePending = false;
  if (FEvents) {
    Event(Dump(
        TJson{{"event", "rx"}, {"t_ms", Ms(FFrameTime)}, {"bytes", FFrameBytes}, {"outcome", OutcomeName(Outcome)}}));
    for (const std::string& Tx : FPendingTx) Event(Tx);
  }
  FPendingTx.clear();
}

std::string TSimSession::TxEvent(const uint8_t* Bytes, int Count, int64_t TimeUs) const {
  return Dump(TJson{{"event", "tx"}, {"t_ms", Ms(TimeUs)}, {"bytes", HexText(Bytes, Count)}});
}

void TSimSession::AnswerSent(const uint8_t* Bytes, int Count) {
  FRunRecord.AnswerSent(Bytes, Count);
  FFileRecord.AnswerSent(Bytes, Count);
  ++FCounts.AnswersSent;
  if (!FEvents) return;
  const std::string Line = TxEvent(Bytes, Count, FClock());
  if (FFramePending) FPendingTx.push_back(Line);
  else Event(Line);
}

void TSimSession::BytesDropped(const uint8_t* Bytes, int Count, int64_t Arrival, TEcuOutcome Why) {
  FRunRecord.BytesDropped(Bytes, Count, Arrival, Why);
  FFileRecord.BytesDropped(Bytes, Count, Arrival, Why);
  if (FEvents)
    Event(Dump(
        TJson{{"event", "drop"}, {"t_ms", Ms(Arrival)}, {"bytes", HexText(Bytes, Count)}, {"why", OutcomeName(Why)}}));
}

void TSimSession::FaultHit(const TFaultRule& Rule, size_t Index, uint64_t Hits, int64_t NowUs) {
  FRunRecord.FaultHit(Rule, Index, Hits, NowUs);
  FFileRecord.FaultHit(Rule, Index, Hits, NowUs);
  ++FCounts.FaultHits;
  if (!FEvents) return;
  const std::string Line = Dump(TJson{{"event", "fault"},
                                      {"t_ms", Ms(NowUs)},
                                      {"rule", DescribeFaultRule(Rule)},
                                      {"action", FaultActionName(Rule.Action)},
                                      {"hits", Hits}});
  if (FFramePending) FPendingTx.push_back(Line);
  else Event(Line);
}

void TSimSession::FaultFrameSent(const uint8_t* Bytes, int Count, int64_t NowUs) {
  FRunRecord.FaultFrameSent(Bytes, Count, NowUs);
  FFileRecord.FaultFrameSent(Bytes, Count, NowUs);
  ++FCounts.AnswersSent;
  if (!FEvents) return;
  const std::string Line = TxEvent(Bytes, Count, NowUs);
  if (FFramePending) FPendingTx.push_back(Line);
  else Event(Line);
}

// ---------------------------------------------------------------------------
// Commands

void TSimSession::HandleLine(const std::string& Line) {
  const TSimParse Parse = ParseSimCommand(Line, DecimalSeparator());
  FOutput(Parse.Command ? Execute(*Parse.Command) : "ERROR " + Parse.Error);
}

void TSimSession::Change(const std::string& What) {
  FRunRecord.Change(What);
  FFileRecord.Change(What);
}

void TSimSession::SetField(TEcuField Field, const std::string& Text) {
  if (FPanel.FieldText(Field) == Text) return;
  FPanel.SetFieldText(Field, Text);
  Change(EditName(Field) + "=" + Text);
}

void TSimSession::SetVariant(int Variant) {
  if (FPanel.ActiveVariant() == Variant) return;
  FPanel.SetVariant(Variant);
  Change("Variant=" + std::to_string(Variant));
}

std::string TSimSession::Execute(const TSimCommand& C) {
  switch (C.Verb) {
    case TSimVerb::Set:
    case TSimVerb::Text: SetField(C.Field, C.Text); return "OK " + std::string(FieldName(C.Field)) + "=" + C.Text;
    case TSimVerb::Tick: return Tick(C, true);
    case TSimVerb::Untick: return Tick(C, false);
    case TSimVerb::UntickAll:
      for (int I = 0; I < FPanel.FaultCodeCount(); ++I) {
        if (!FPanel.FaultCodeChecked(I)) continue;
        FPanel.SetTicked(I, false);
        Change("Tick " + FPanel.ItemCode(I) + "=0");
      }
      return "OK nothing ticked";
    case TSimVerb::Variant: SetVariant(C.Item); return "OK variant " + std::to_string(C.Item);
    case TSimVerb::Pause:
      if (FPanel.PauseChecked() != C.On) Change(C.On ? "Pause=1" : "Pause=0");
      FPanel.SetPause(C.On);
      return std::string("OK pause ") + (C.On ? "on" : "off");
    case TSimVerb::NoAnswer:
      if (FPanel.NoAnswerChecked() != C.On) Change(C.On ? "NoAnswer=1" : "NoAnswer=0");
      FPanel.SetNoAnswer(C.On);
      return std::string("OK noanswer ") + (C.On ? "on" : "off");
    case TSimVerb::Events: FEvents = C.On; return std::string("OK events ") + (C.On ? "on" : "off");
    case TSimVerb::Rule: return AddRule(C.Rule);
    case TSimVerb::RuleRemove: return RemoveRule(C.Id);
    case TSimVerb::RuleClear:
      for (uint64_t Id : FHandRuleIds) FEngine.RemoveRule(Id);
      FHandRuleIds.clear();
      UpdateFilter();
      return "OK no rule applied by hand";
    case TSimVerb::RecordStart: {
      const std::string Error = StartRecord(C.Text);
      return Error.empty() ? "OK recording to " + C.Text : "ERROR record start: " + Error;
    }
    case TSimVerb::RecordStop: return StopRecord();
    case TSimVerb::RecordSave: {
      std::string Verdict;
      const std::string Error = SaveRecord(C.Text, FFileRecord, Verdict);
      if (!Error.empty()) return "ERROR record save: " + Error;
      return "OK record written to " + C.Text + ": " + std::to_string(FFileRecord.Count()) + " entries, timing " +
             Verdict;
    }
    case TSimVerb::ScenarioPlay: return PlayScenario();
    case TSimVerb::ScenarioPause:
      if (!FPlayer) return "ERROR scenario pause: no scenario loaded (--scenario)";
      if (FPlayer->State() != TPlayState::Playing) return "ERROR scenario pause: the scenario is not playing";
      FPlayer->Pause();
      return "OK scenario paused";
    case TSimVerb::ScenarioStop:
      if (!FPlayer) return "ERROR scenario stop: no scenario loaded (--scenario)";
      FPlayer->Stop();
      return "OK scenario stopped";
    case TSimVerb::Counters: return "OK " + CountersJson();
    case TSimVerb::Values: return "OK " + ValuesJson();
    case TSimVerb::Help: return std::string("OK commands: ") + SimCommandList + " (--help tells more)";
    case TSimVerb::Quit: FQuit = true; return "OK bye";
  }
  return "ERROR unknown command";
}

std::string TSimSession::Tick(const TSimCommand& C, bool Ticked) {
  const char* Verb = Ticked ? "tick" : "untick";
  int Index = C.Item - 1;
  if (C.Item == 0) {
    if (!FPanel.HasCode(C.Code)) return std::string("ERROR ") + Verb + ": no fault code " + C.Code + " in the list";
    Index = FPanel.FindItem(C.Code, Ticked);
    if (Index < 0)
      return std::string("ERROR ") + Verb + ": every item with code " + C.Code + " is " +
             (Ticked ? "ticked" : "unticked") + " already";
  }
  if (FPanel.FaultCodeChecked(Index) != Ticked) {
    FPanel.SetTicked(Index, Ticked);
    Change("Tick " + FPanel.ItemCode(Index) + (Ticked ? "=1" : "=0"));
  }
  return std::string("OK ") + (Ticked ? "ticked" : "unticked") + " #" + std::to_string(Index + 1) + " " +
         FPanel.ItemCode(Index);
}

std::string TSimSession::AddRule(const TFaultRule& Rule) {
  uint64_t Id = 0;
  try {
    // Before the scenario's rules: what is applied by hand takes the request first.
    Id = FEngine.AddRule(Rule, true);
  } catch (const std::invalid_argument& E) {
    return std::string("ERROR rule: ") + E.what();
  }
  FHandRuleIds.push_back(Id);
  UpdateFilter();
  return "OK rule " + std::to_string(Id) + ": " + DescribeFaultRule(Rule);
}

std::string TSimSession::RemoveRule(uint64_t Id) {
  const auto It = std::find(FHandRuleIds.begin(), FHandRuleIds.end(), Id);
  if (It == FHandRuleIds.end()) return "ERROR rule remove: no rule " + std::to_string(Id) + " applied by hand";
  FEngine.RemoveRule(Id);
  FHandRuleIds.erase(It);
  UpdateFilter();
  return "OK rule " + std::to_string(Id) + " removed";
}

void TSimSession::UpdateFilter() {
  // The engine is the filter only while it holds a rule: without one the
  // unit answers exactly as it does without any bench.
  if (FEngine.RuleCount() > 0) {
    FEmulator.SetAnswerFilter(&FEngine);
    return;
  }
  FEmulator.SetAnswerFilter(nullptr);
  FEngine.Reset();
}

std::string TSimSession::CountersJson() const {
  const TSimCounters C = Counters();
  TJson J{{"frames_received", C.FramesReceived},     {"answers_sent", C.AnswersSent},
          {"conversion_errors", C.ConversionErrors}, {"port_errors", C.PortErrors},
          {"fragments_dropped", C.FragmentsDropped}, {"fault_hits", C.FaultHits},
          {"recording", FFileRecord.Recording()}};
  if (FFileRecord.Recording()) J["record_entries"] = FFileRecord.Count();
  return Dump(J);
}

std::string TSimSession::ValuesJson() const {
  TJson Fields = TJson::object();
  for (int I = 0; I < EcuFieldCount; ++I) {
    const auto F = static_cast<TEcuField>(I);
    Fields[FieldName(F)] = FPanel.FieldText(F);
  }
  TJson J{{"variant", FPanel.ActiveVariant()},
          {"fields", Fields},
          {"ticked", FPanel.TickedCodes()},
          {"pause", FPanel.PauseChecked()},
          {"no_answer", FPanel.NoAnswerChecked()}};
  if (FPlayer) J["scenario"] = {{"name", FPlayer->Scenario().Name}, {"elapsed_ms", FPlayer->ElapsedMs()}};
  return Dump(J);
}

// ---------------------------------------------------------------------------
// Scenario

std::string TSimSession::LoadScenario(const std::string& Source) {
  static const std::string Builtin = "builtin:";
  TScenarioLoad Load =
      Source.rfind(Builtin, 0) == 0 ? LoadBuiltinScenario(Source.substr(Builtin.size())) : LoadScenarioFile(Source);
  std::string Problems;
  const auto Add = [&Problems](const std::string& Text) { Problems += (Problems.empty() ? "" : "; ") + Text; };
  for (const TScenarioMessage& E : Load.Errors) Add(E.Text);
  if (Load.Scenario) {
    TSimPanel Probe = FPanel;
    const std::string Codes = Probe.TickExactly(Load.Scenario->FaultCodes);
    if (!Codes.empty()) Add("\"faults\": " + Codes);
    for (const TFaultRule& Rule : Load.Scenario->Rules) {
      const std::string Problem = CheckFaultRule(Rule);
      if (!Problem.empty()) Add(Problem);
    }
  }
  if (!Load.Scenario && Problems.empty()) Problems = "not read";
  if (!Problems.empty()) return Problems;
  for (const TScenarioMessage& W : Load.Warnings) Event(Dump(TJson{{"event", "warning"}, {"message", W.Text}}));
  FPlayer = std::make_unique<TScenarioPlayer>(std::move(*Load.Scenario), [this] { return FClock() / 1000; });
  FPlayer->SetSpeed(FSpeed);
  return {};
}

bool TSimSession::SetScenarioSpeed(double Factor) {
  if (!(Factor >= TScenarioPlayer::MinSpeed && Factor <= TScenarioPlayer::MaxSpeed)) return false;
  FSpeed = Factor;
  if (FPlayer) FPlayer->SetSpeed(Factor);
  return true;
}

std::string TSimSession::PlayScenario() {
  if (!FPlayer) return "ERROR scenario play: no scenario loaded (--scenario)";
  const TPlayState State = FPlayer->State();
  if (State == TPlayState::Playing) return "OK scenario playing";
  if (State == TPlayState::Paused) {
    FPlayer->Resume();
  } else {
    // From the start: the scenario's variant and fault codes, its rules
    // counting anew after those applied by hand.
    const TScenario& S = FPlayer->Scenario();
    if (S.Variant) SetVariant(*S.Variant);
    if (!S.FaultCodes.empty()) {
      std::vector<bool> Before;
      for (int I = 0; I < FPanel.FaultCodeCount(); ++I) Before.push_back(FPanel.FaultCodeChecked(I));
      FPanel.TickExactly(S.FaultCodes);
      for (int I = 0; I < FPanel.FaultCodeCount(); ++I) {
        const bool Ticked = FPanel.FaultCodeChecked(I);
        if (Ticked != Before[static_cast<size_t>(I)]) Change("Tick " + FPanel.ItemCode(I) + (Ticked ? "=1" : "=0"));
      }
    }
    for (uint64_t Id : FScenarioRuleIds) FEngine.RemoveRule(Id);
    FScenarioRuleIds.clear();
    for (const TFaultRule& Rule : S.Rules) FScenarioRuleIds.push_back(FEngine.AddRule(Rule, false));
    UpdateFilter();
    FPlayer->Play();
  }
  FFinalWritten = false;
  FNextTickUs = FClock();
  Tick();
  return "OK scenario playing: " + FPlayer->Scenario().Name;
}

void TSimSession::Tick() {
  const int64_t Now = FClock();
  if (FPlayer && !FFinalWritten && Now >= FNextTickUs) {
    const TPlayState State = FPlayer->State();
    if (State == TPlayState::Playing || State == TPlayState::Finished) {
      const TFieldValues Values = FPlayer->Values();
      for (int I = 0; I < EcuFieldCount; ++I) {
        if (!Values[I]) continue;
        const auto Field = static_cast<TEcuField>(I);
        SetField(Field, GaugeFieldText(Field, *Values[I]));
      }
    }
    if (State == TPlayState::Finished) {
      FFinalWritten = true;
      Event(Dump(TJson{{"event", "scenario"}, {"state", "finished"}, {"name", FPlayer->Scenario().Name}}));
    } else if (State != TPlayState::Playing) {
      FFinalWritten = true;  // paused or stopped: the fields stay as they are
    }
    FNextTickUs = Now + ScenarioTickUs;
  }
  if (FEngine.NextDueUs() && *FEngine.NextDueUs() <= Now) {
    try {
      FEngine.Poll(Now);
    } catch (const std::exception& E) {
      PortError(E.what());
    }
  }
}

std::optional<int64_t> TSimSession::NextWakeUs() const {
  std::optional<int64_t> Next = FEngine.NextDueUs();
  const bool Playing = FPlayer && FPlayer->State() == TPlayState::Playing;
  if (Playing || (FPlayer && !FFinalWritten)) Next = Next ? std::min(*Next, FNextTickUs) : FNextTickUs;
  return Next;
}

// ---------------------------------------------------------------------------
// Records

std::string TSimSession::StartRecord(const std::string& Path) {
  if (FFileRecord.Recording()) return "a record to " + FRecordPath + " is running; record stop ends it";
  namespace fs = std::filesystem;
  const fs::path File(std::u8string(reinterpret_cast<const char8_t*>(Path.data()), Path.size()));
  std::error_code Code;
  const fs::path Folder = File.has_parent_path() ? File.parent_path() : fs::path(".");
  if (!fs::is_directory(Folder, Code)) return "the folder of " + Path + " does not exist";
  if (fs::is_directory(File, Code)) return Path + " is a folder";
  FFileRecord.Clear();
  FFileRecord.Start();
  FRecordPath = Path;
  return {};
}

std::string TSimSession::SaveRecord(const std::string& Path, const TSessionRecord& Record, std::string& Verdict) {
  const size_t Count = Record.Count();
  const std::string Error = SaveRecordFile(Path, RecordFormatOf(Path), Record, Count);
  if (Error.empty()) Verdict = JudgeTiming(Record, Count).Pass() ? "pass" : "fail";
  return Error;
}

std::string TSimSession::StopRecord() {
  if (!FFileRecord.Recording()) return "ERROR record stop: no record is running";
  FFileRecord.Stop();
  std::string Verdict;
  const std::string Error = SaveRecord(FRecordPath, FFileRecord, Verdict);
  if (!Error.empty())
    return "ERROR record stop: " + FRecordPath + " not written (" + Error + "); record save FILE writes it elsewhere";
  return "OK record written to " + FRecordPath + ": " + std::to_string(FFileRecord.Count()) + " entries, timing " +
         Verdict;
}

// ---------------------------------------------------------------------------
// The end

TSimEnd TSimSession::Finish(const std::string& Reason, const TSimChecks& Checks) {
  TSimEnd End;
  if (FPlayer) FPlayer->Pause();
  TJson Summary{{"end", Reason}};
  const TSimCounters C = Counters();
  Summary["frames_received"] = C.FramesReceived;
  Summary["answers_sent"] = C.AnswersSent;
  Summary["conversion_errors"] = C.ConversionErrors;
  Summary["port_errors"] = C.PortErrors;
  Summary["fragments_dropped"] = C.FragmentsDropped;
  Summary["fault_hits"] = C.FaultHits;

  if (FFileRecord.Recording()) {
    FFileRecord.Stop();
    std::string Verdict;
    const std::string Error = SaveRecord(FRecordPath, FFileRecord, Verdict);
    TJson R{{"file", FRecordPath}, {"entries", FFileRecord.Count()}, {"written", Error.empty()}};
    if (!Error.empty()) {
      R["error"] = Error;
      End.ExitStatus = 1;
    }
    Summary["record"] = R;
  }

  FRunRecord.Stop();
  const TTimingVerdict Verdict = JudgeTiming(FRunRecord);
  TJson Measures = TJson::array();
  for (const TTimingMeasure& M : Verdict.Measures) {
    TJson J{{"name", M.Name}, {"samples", M.Samples}};
    if (M.Samples > 0) {
      // Microseconds are what the clock resolves.
      const auto Ms3 = [](double Ms) { return std::round(Ms * 1000.0) / 1000.0; };
      J["min_ms"] = Ms3(M.MinMs);
      J["median_ms"] = Ms3(M.MedianMs);
      J["max_ms"] = Ms3(M.MaxMs);
    }
    J["range_ms"] = {M.RangeMinMs, M.RangeMaxMs};
    J["outside"] = M.Outside;
    J["pass"] = M.Pass();
    Measures.push_back(J);
  }
  Summary["timing"] = {{"pass", Verdict.Pass()}, {"measures", Measures}};
  if (FRunRecord.LeftOut() > 0) Summary["timing"]["left_out"] = FRunRecord.LeftOut();

  TJson Results = TJson::object();
  const auto Check = [&](const char* Name, bool Pass) {
    Results[Name] = Pass;
    if (!Pass) End.ExitStatus = 1;
  };
  if (Checks.NoTimingViolations) Check("no_timing_violations", Verdict.Pass());
  if (Checks.NoConversionErrors) Check("no_conversion_errors", C.ConversionErrors == 0);
  if (Checks.MinAnswers) Check("min_answers", C.AnswersSent >= *Checks.MinAnswers);
  Summary["checks"] = Results;
  Summary["exit_status"] = End.ExitStatus;
  End.SummaryLine = "SUMMARY " + Dump(Summary);
  return End;
}
