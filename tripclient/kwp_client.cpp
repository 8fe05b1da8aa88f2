#include "kwp_client.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr uint8_t StartCommunication = 0x81;
constexpr uint8_t ReadDataByLocalIdentifier = 0x21;
constexpr uint8_t ReadDtcByStatus = 0x18;
constexpr uint8_t TesterPresent = 0x3E;
constexpr uint8_t NegativeResponse = 0x7F;
constexpr uint8_t ResponsePending = 0x78;
// Local identifiers that the client looks for in a variant's records.
constexpr uint8_t HighestLocalId = 15;

}  // namespace

TKwpClient::TKwpClient(TKwpLink& Link) : FLink(Link) { FTrip.SetFuelConstants(TFuelConstants::BenchDefault()); }

void TKwpClient::SetVariant(int Variant) {
  if (Variant < 1 || Variant > 3 || Variant == FVariant) return;
  FVariant = Variant;
  FValues = {};
  FValueTimes = {};
  FFixedSeen.reset();
  ForgetPolling();
}

void TKwpClient::Start(int64_t NowUs) {
  if (FPhase != TPhase::Stopped) return;
  FAdapterEchoes = false;
  FLastProblem = TKwpProblem::None;
  BeginInit(NowUs);
}

void TKwpClient::Stop() {
  if (FPhase == TPhase::WakeLow) FLink.SetBreak(false);
  FPhase = TPhase::Stopped;
  FState = TKwpLinkState::Stopped;
  FRxCount = 0;
  FRepeatDue = false;
}

std::optional<TKwpRequestKind> TKwpClient::Awaiting() const {
  if (FPhase != TPhase::Awaiting) return std::nullopt;
  return FRequest.Kind;
}

int64_t TKwpClient::NextDeadlineUs() const {
  switch (FPhase) {
    case TPhase::Stopped: return Never;
    case TPhase::WakeLow:
    case TPhase::WakeHigh:
    case TPhase::Pause: return FPhaseEndUs;
    case TPhase::Awaiting: return FAnswerDeadlineUs;
    case TPhase::Idle: return FNextSendUs;
  }
  return Never;
}

// ---------------------------------------------------------------------------
// Time

void TKwpClient::Tick(int64_t NowUs) {
  switch (FPhase) {
    case TPhase::Stopped: return;
    case TPhase::WakeLow:
      if (NowUs < FPhaseEndUs) return;
      FLink.SetBreak(false);
      FPhase = TPhase::WakeHigh;
      FPhaseEndUs = NowUs + FTiming.WakeHighUs;
      return;
    case TPhase::WakeHigh:
      if (NowUs < FPhaseEndUs) return;
      Send(MakeRequest(TKwpRequestKind::StartCommunication, {StartCommunication}), NowUs);
      return;
    case TPhase::Awaiting:
      if (NowUs < FAnswerDeadlineUs) return;
      ++FCounters.Timeouts;
      Failed(FSendRefused   ? TKwpProblem::PortRefused
             : FAnswerBegun ? TKwpProblem::Broken
                            : TKwpProblem::Timeout,
             NowUs);
      return;
    case TPhase::Idle:
      if (NowUs < FNextSendUs) return;
      SendNext(NowUs);
      return;
    case TPhase::Pause:
      if (NowUs < FPhaseEndUs) return;
      BeginInit(NowUs);
      return;
  }
}

void TKwpClient::BeginInit(int64_t NowUs) {
  ++FCounters.Inits;
  FState = TKwpLinkState::Init;
  FRxCount = 0;
  FRepeatDue = false;
  FLongRequests = false;
  FFixedSeen.reset();
  ForgetPolling();
  FLastRequestUs = NowUs;
  if (FLink.SetBreak(true)) {
    FPhase = TPhase::WakeLow;
    FPhaseEndUs = NowUs + FTiming.WakeLowUs;
  } else {
    // No break on this port: the unit must do without the wake-up pattern.
    Send(MakeRequest(TKwpRequestKind::StartCommunication, {StartCommunication}), NowUs);
  }
}

TKwpClient::TRequest TKwpClient::MakeRequest(TKwpRequestKind Kind, std::vector<uint8_t> Data, uint8_t LocalId) const {
  TRequest R;
  R.Kind = Kind;
  R.Service = Data.at(0);
  R.LocalId = LocalId;
  R.Variant = FVariant;
  // StartCommunication always has the short header: the unit's key bytes
  // are not known yet.
  R.Frame = KwpRequest(UnitAddress, TesterAddress, Data, FLongRequests && Kind != TKwpRequestKind::StartCommunication);
  return R;
}

void TKwpClient::Send(TRequest Request, int64_t NowUs) {
  FRequest = std::move(Request);
  ++FRequest.Attempts;
  ++FCounters.Requests;
  if (FRequest.Attempts > 1) ++FCounters.Retries;
  // Everything is set before the link is called: a link may hand bytes
  // back from inside Send.
  FPhase = TPhase::Awaiting;
  FRxCount = 0;
  FEchoMatched = 0;
  FAnswerBegun = false;
  FSendRefused = false;
  FLastRequestUs = NowUs;
  const auto Length = static_cast<int64_t>(FRequest.Frame.size());
  FAnswerDeadlineUs = NowUs + Length * FTiming.ByteUs + FTiming.P2MaxUs;
  const std::vector<uint8_t> Frame = FRequest.Frame;
  if (!FLink.Send(Frame.data(), static_cast<int>(Frame.size()))) {
    ++FCounters.PortErrors;
    FSendRefused = true;
  }
}

void TKwpClient::SendNext(int64_t NowUs) {
  if (NowUs < FEarliestSendUs) {
    FNextSendUs = FEarliestSendUs;
    return;
  }
  if (FRepeatDue) {
    FRepeatDue = false;
    Send(FRequest, NowUs);
    return;
  }
  if (NowUs >= FFaultCodesDueUs) {
    FFaultCodesDueUs = NowUs + FTiming.FaultCodesUs;
    Send(MakeRequest(TKwpRequestKind::FaultCodes, {ReadDtcByStatus, 0x00, 0xFF, 0x00}), NowUs);
    return;
  }
  int64_t RecordDueUs = Never;
  if (const std::optional<uint8_t> Id = NextRecord(NowUs, RecordDueUs)) {
    Send(MakeRequest(TKwpRequestKind::ReadRecord, {ReadDataByLocalIdentifier, *Id}, *Id), NowUs);
    return;
  }
  const int64_t PresentDueUs = FLastRequestUs + FTiming.TesterPresentUs;
  if (NowUs >= PresentDueUs) {
    Send(MakeRequest(TKwpRequestKind::TesterPresent, {TesterPresent, 0x01}), NowUs);
    return;
  }
  // Nothing is due yet; every candidate lies after NowUs.
  FNextSendUs = std::min({FFaultCodesDueUs, RecordDueUs, PresentDueUs});
}

std::optional<uint8_t> TKwpClient::NextRecord(int64_t NowUs, int64_t& DueUs) {
  DueUs = Never;
  if (!FPolling) return std::nullopt;
  if (!FCycleStarted || FCycleIndex >= FCycle.size()) {
    if (FCycleStarted && NowUs < FCycleStartUs + FTiming.PollPeriodUs) {
      DueUs = FCycleStartUs + FTiming.PollPeriodUs;
      return std::nullopt;
    }
    FCycle.clear();
    for (uint8_t Id = 1; Id <= HighestLocalId; ++Id) {
      if (LiveRecordLength(FVariant, Id) != 0 && !FFixedSeen[Id]) FCycle.push_back(Id);
    }
    FCycleIndex = 0;
    FCycleStartUs = NowUs;
    FCycleStarted = true;
    // A variant without records to ask: nothing until the settings change.
    if (FCycle.empty()) return std::nullopt;
  }
  return FCycle[FCycleIndex++];
}

void TKwpClient::ForgetPolling() {
  FCycle.clear();
  FCycleIndex = 0;
  FCycleStarted = false;
}

// ---------------------------------------------------------------------------
// Received bytes

void TKwpClient::Received(const uint8_t* Bytes, int Count, int64_t ArrivalUs) {
  if (Bytes == nullptr || FPhase == TPhase::Stopped) return;
  for (int I = 0; I < Count; ++I) Feed(Bytes[I], ArrivalUs);
}

void TKwpClient::Feed(uint8_t Byte, int64_t ArrivalUs) {
  if (FPhase != TPhase::Awaiting) {
    ++FCounters.NoiseBytes;
    return;
  }
  FRx[static_cast<size_t>(FRxCount++)] = Byte;
  if (FEchoMatched >= 0) {
    const auto Length = static_cast<int>(FRequest.Frame.size());
    if (Byte == FRequest.Frame[static_cast<size_t>(FRxCount - 1)]) {
      FEchoMatched = FRxCount;
      if (FRxCount == Length) {
        // The adapter's echo: the request has left the line, and the wait
        // for its answer starts now.
        FRxCount = 0;
        FEchoMatched = -1;
        ++FCounters.Echoes;
        FAdapterEchoes = true;
        FAnswerDeadlineUs = ArrivalUs + FTiming.P2MaxUs;
      }
      return;
    }
    // Not an echo: the bytes so far begin the answer.
    FEchoMatched = -1;
  }
  // Bytes that cannot begin a frame are line noise.
  int Skip = 0;
  while (Skip < FRxCount && KwpFrameLength(FRx.data() + Skip, FRxCount - Skip) < 0) ++Skip;
  if (Skip > 0) {
    std::memmove(FRx.data(), FRx.data() + Skip, static_cast<size_t>(FRxCount - Skip));
    FRxCount -= Skip;
    FCounters.NoiseBytes += static_cast<uint64_t>(Skip);
  }
  if (FRxCount == 0) return;
  FAnswerBegun = true;
  FAnswerDeadlineUs = ArrivalUs + FTiming.P1MaxUs;
  const int Need = KwpFrameLength(FRx.data(), FRxCount);
  if (Need > 0 && FRxCount >= Need) TakeFrame(ArrivalUs);
}

void TKwpClient::TakeFrame(int64_t EndUs) {
  const std::optional<TKwpFrame> Frame = KwpReadFrame(FRx.data(), FRxCount);
  if (Frame && Frame->ChecksumOk && Frame->Target == TesterAddress && Frame->Source == UnitAddress &&
      Frame->DataLength == 3 && Frame->Data[0] == NegativeResponse && Frame->Data[1] == FRequest.Service &&
      Frame->Data[2] == ResponsePending) {
    // The unit needs longer: the request stays on the line, its answer is
    // due within P2*max.
    FRxCount = 0;
    FAnswerBegun = false;
    FAnswerDeadlineUs = EndUs + FTiming.P2StarMaxUs;
    ++FCounters.Pending;
    return;
  }
  TKwpProblem Problem = TKwpProblem::Unexpected;
  const bool Taken = Frame && Accept(*Frame, EndUs, Problem);
  FRxCount = 0;
  FEarliestSendUs = EndUs + FTiming.P3MinUs;
  if (!Taken) {
    ++FCounters.BadFrames;
    Failed(Problem, EndUs);
    return;
  }
  ++FCounters.Answers;
  FState = TKwpLinkState::Connected;
  FPhase = TPhase::Idle;
  FRepeatDue = false;
  FNextSendUs = FEarliestSendUs;
}

bool TKwpClient::Accept(const TKwpFrame& Frame, int64_t EndUs, TKwpProblem& Problem) {
  if (!Frame.ChecksumOk) {
    Problem = TKwpProblem::Checksum;
    return false;
  }
  if (Frame.Target != TesterAddress || Frame.Source != UnitAddress) {
    Problem = TKwpProblem::Addresses;
    return false;
  }
  Problem = TKwpProblem::Unexpected;
  if (Frame.DataLength < 1) return false;
  const uint8_t* Data = Frame.Data;
  if (Data[0] == NegativeResponse) {
    Problem = TKwpProblem::Negative;
    return false;
  }
  if (Data[0] != FRequest.Service + 0x40) return false;

  switch (FRequest.Kind) {
    case TKwpRequestKind::StartCommunication: {
      if (Frame.DataLength != 3) return false;
      const std::optional<TKwpKeyBytes> Keys = KwpCheckKeyBytes(Data[1], Data[2]);
      if (!Keys) {
        Problem = TKwpProblem::KeyBytes;
        return false;
      }
      FLongRequests = !Keys->ShortHeader;
      FFaultCodesDueUs = EndUs;
      return true;
    }
    case TKwpRequestKind::ReadRecord: {
      const std::optional<TLiveRecord> Record = DecodeLiveRecord(FRequest.Variant, FRx.data(), size_t(FRxCount));
      if (!Record || Record->LocalId != FRequest.LocalId) return false;
      ++FRecordsTaken[Record->LocalId & 0x0F];
      bool Carries = false;
      for (size_t Q = 0; Q < Record->Values.size(); ++Q) {
        if (!Record->Values[Q]) continue;
        Carries = true;
        // An answer to a variant asked before a change is not shown.
        if (FRequest.Variant != FVariant) continue;
        FValues[Q] = Record->Values[Q];
        FValueTimes[Q] = EndUs;
      }
      if (!Carries) FFixedSeen.set(Record->LocalId & 0x0F);
      FTrip.AddSample(TripSampleOf(EndUs, *Record));
      return true;
    }
    case TKwpRequestKind::FaultCodes: {
      std::optional<std::vector<TKwpFaultCode>> Codes = KwpReadFaultCodes(Data, Frame.DataLength);
      if (!Codes) return false;
      FFaultCodes = std::move(*Codes);
      FFaultCodesKnown = true;
      return true;
    }
    case TKwpRequestKind::TesterPresent: return true;
  }
  return false;
}

void TKwpClient::Failed(TKwpProblem Problem, int64_t NowUs) {
  FLastProblem = Problem;
  FRxCount = 0;
  if (FRequest.Kind == TKwpRequestKind::StartCommunication || FRequest.Attempts > FTiming.Repeats) {
    GiveUp(NowUs);
    return;
  }
  FState = TKwpLinkState::Retrying;
  FPhase = TPhase::Idle;
  FRepeatDue = true;
  FNextSendUs = std::max(NowUs, FEarliestSendUs);
}

void TKwpClient::GiveUp(int64_t NowUs) {
  FState = TKwpLinkState::NoAnswer;
  FPhase = TPhase::Pause;
  FPhaseEndUs = NowUs + FTiming.ReinitPauseUs;
  FRepeatDue = false;
}

const char* KwpLinkStateName(TKwpLinkState State) {
  switch (State) {
    case TKwpLinkState::Stopped: return "Stopped";
    case TKwpLinkState::Init: return "Init";
    case TKwpLinkState::Connected: return "Connected";
    case TKwpLinkState::Retrying: return "Retrying";
    case TKwpLinkState::NoAnswer: return "NoAnswer";
  }
  return "?";
}

const char* KwpProblemName(TKwpProblem Problem) {
  switch (Problem) {
    case TKwpProblem::None: return "none";
    case TKwpProblem::Timeout: return "timeout";
    case TKwpProblem::Broken: return "broken answer";
    case TKwpProblem::Checksum: return "checksum";
    case TKwpProblem::Addresses: return "addresses";
    case TKwpProblem::Negative: return "negative response";
    case TKwpProblem::Unexpected: return "unexpected answer";
    case TKwpProblem::KeyBytes: return "key bytes";
    case TKwpProblem::PortRefused: return "port refused the request";
  }
  return "?";
}
