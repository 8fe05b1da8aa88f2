#include "timing_verdict.h"

#include <algorithm>

#include "session_record.h"

namespace {

constexpr uint8_t EcuAddress = 0x11;
constexpr uint8_t StartCommunication = 0x81;
constexpr uint8_t TesterPresent = 0x3E;

struct TSamples {
  std::vector<double> Ms;
  void Add(double Value) { Ms.push_back(Value); }
};

TTimingMeasure Summarise(const char* Name, const char* Caption, double RangeMin, double RangeMax,
                         std::vector<double> Ms) {
  TTimingMeasure M;
  M.Name = Name;
  M.Caption = Caption;
  M.RangeMinMs = RangeMin;
  M.RangeMaxMs = RangeMax;
  M.Samples = Ms.size();
  if (Ms.empty()) return M;
  for (double V : Ms)
    if (V < RangeMin || V > RangeMax) ++M.Outside;
  std::sort(Ms.begin(), Ms.end());
  M.MinMs = Ms.front();
  M.MaxMs = Ms.back();
  M.MedianMs = Ms.size() % 2 ? Ms[Ms.size() / 2] : (Ms[Ms.size() / 2 - 1] + Ms[Ms.size() / 2]) / 2;
  return M;
}

// The service of a received frame, or -1 when it carries no data byte.
int ServiceOf(std::string_view Frame) {
  if (Frame.size() < 4) return -1;
  const auto Format = static_cast<uint8_t>(Frame[0]);
  const size_t Header = (Format & 0x3F) == 0 ? 4 : 3;
  return Frame.size() > Header + 1 ? static_cast<uint8_t>(Frame[Header]) : -1;
}

bool FromTripComputer(const TRecordEntry& E) {
  return E.Kind == TRecordKind::Received && E.Bytes.size() >= 4 && static_cast<uint8_t>(E.Bytes[2]) != EcuAddress;
}

}  // namespace

bool TTimingVerdict::Pass() const {
  return std::all_of(Measures.begin(), Measures.end(), [](const TTimingMeasure& M) { return M.Pass(); });
}

const TTimingMeasure* TTimingVerdict::Find(const std::string& Name) const {
  for (const TTimingMeasure& M : Measures)
    if (M.Name == Name) return &M;
  return nullptr;
}

TTimingVerdict JudgeTiming(const TSessionRecord& Record, size_t Count) {
  Count = std::min(Count, Record.Count());
  TSamples P4, P3, Present, WakeUp, Retry, P2;
  bool HavePrevious = false;
  TRecordEntry Previous;          // the trip computer's last request
  bool PreviousAnswered = false;  // an answer came after it
  int64_t LastAnswerUs = 0;
  bool HavePresent = false;
  int64_t LastPresentUs = 0;
  bool HaveWakeUp = false;
  int64_t WakeUpUs = 0;
  size_t Starts = 0, StartsWithoutWakeUp = 0;
  size_t RetriedRequests = 0, Run = 0, LongestRun = 0;

  for (size_t I = 0; I < Count; ++I) {
    const TRecordEntry E = Record.Entry(I);
    if (E.Kind == TRecordKind::Dropped) {
      if (E.Outcome == TEcuOutcome::Noise && E.Bytes.size() == 1 && E.Bytes[0] == 0) {
        HaveWakeUp = true;
        WakeUpUs = E.TimeUs;
      }
      continue;
    }
    if (E.Kind == TRecordKind::Sent) {
      if (HavePrevious && !PreviousAnswered) P2.Add((E.TimeUs - Previous.TimeUs - Previous.SpanUs) / 1000.0);
      PreviousAnswered = true;
      LastAnswerUs = E.TimeUs;
      continue;
    }
    if (!FromTripComputer(E)) continue;

    if (E.MaxGapUs >= 0) P4.Add(E.MaxGapUs / 1000.0);
    if (HavePrevious && PreviousAnswered) P3.Add((E.TimeUs - LastAnswerUs) / 1000.0);
    if (HavePrevious && !PreviousAnswered && E.Bytes == Previous.Bytes) {
      Retry.Add((E.TimeUs - Previous.TimeUs - Previous.SpanUs) / 1000.0);
      if (Run++ == 0) ++RetriedRequests;
      LongestRun = std::max(LongestRun, Run);
    } else {
      Run = 0;
    }
    const int Service = ServiceOf(E.Bytes);
    if (Service == TesterPresent) {
      if (HavePresent) Present.Add((E.TimeUs - LastPresentUs) / 1000.0);
      HavePresent = true;
      LastPresentUs = E.TimeUs;
    }
    if (Service == StartCommunication) {
      ++Starts;
      if (HaveWakeUp) WakeUp.Add((E.TimeUs - WakeUpUs) / 1000.0);
      else ++StartsWithoutWakeUp;
    }
    HaveWakeUp = false;
    HavePrevious = true;
    Previous = E;
    PreviousAnswered = false;
  }

  TTimingVerdict V;
  V.Measures.push_back(Summarise("P4", "P4: паузы между байтами запроса", 0, 20, std::move(P4.Ms)));
  V.Measures.push_back(Summarise("P3", "P3: от ответа до следующего запроса", 55, 5000, std::move(P3.Ms)));
  V.Measures.push_back(Summarise("TesterPresent", "Интервал TesterPresent", 0, 5000, std::move(Present.Ms)));
  TTimingMeasure Wake = Summarise("WakeUp", "Пробуждение перед StartCommunication", 20, 60, std::move(WakeUp.Ms));
  Wake.Note =
      "StartCommunication: " + std::to_string(Starts) + ", без пробуждения: " + std::to_string(StartsWithoutWakeUp);
  V.Measures.push_back(std::move(Wake));
  TTimingMeasure Retries = Summarise("Retries", "Повторы неотвеченных запросов", 55, 5000, std::move(Retry.Ms));
  Retries.Note = "запросов повторено: " + std::to_string(RetriedRequests) +
                 ", наибольшее число повторов подряд: " + std::to_string(LongestRun);
  V.Measures.push_back(std::move(Retries));
  V.Measures.push_back(Summarise("P2", "P2: время ответа тестера", 0, 50, std::move(P2.Ms)));
  return V;
}
