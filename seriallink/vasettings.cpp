#include "vasettings.h"

#include "vatext.h"

#include <string>

using namespace vacomm_detail;

namespace {
void CheckCharIndex(int Index) {
  if (Index < 1 || Index > 5) throw EVaCommError(VaSubstitute("Invalid character index (%d)", {VaIntArg(Index)}));
}
}  // namespace

void vacomm_detail::VaCheckNotNegative(int64_t Value) {
  if (Value < 0) throw EVaCommError(VaSubstitute("Property value out of range (%d)", {VaIntArg(Value)}));
}

// ---------------------------------------------------------------------------
// Platform values

uint32_t VaEventMask(TVaCommEvents Events) {
  static const uint32_t Bits[] = {VA_EV_BREAK,    VA_EV_CTS,    VA_EV_DSR,     VA_EV_ERR,    VA_EV_RING,
                                  VA_EV_RLSD,     VA_EV_RXCHAR, VA_EV_TXEMPTY, VA_EV_RXFLAG, VA_EV_PERR,
                                  VA_EV_RX80FULL, VA_EV_EVENT1, VA_EV_EVENT2};
  uint32_t Mask = 0;
  for (int i = 0; i <= int(ceEvent2); ++i)
    if (Events.Contains(TVaCommEvent(i))) Mask |= Bits[i];
  return Mask;
}

int VaBaudrateValue(TVaBaudrate Rate) {
  static const int Rates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                              14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  const int i = int(Rate);
  return i >= 0 && i < int(sizeof Rates / sizeof Rates[0]) ? Rates[i] : 0;
}

// ---------------------------------------------------------------------------
// Settings objects

void TVaPersistent::EndUpdate() {
  if (FUpdateCount > 0) --FUpdateCount;
  Changed();
}

void TVaPersistent::Changed() {
  if (FUpdateCount == 0 && FOnChange) FOnChange();
}

void TVaBuffers::SetNotifying(TVaIntW& Field, TVaIntW Value) {
  VaCheckNotNegative(Value);
  if (Field == Value) return;
  Field = Value;
  Changed();
}

void TVaBuffers::SetReadSize(TVaIntW Value) { SetNotifying(FReadSize, Value); }
void TVaBuffers::SetWriteSize(TVaIntW Value) { SetNotifying(FWriteSize, Value); }
void TVaBuffers::SetXonLimit(TVaIntW Value) { SetNotifying(FXonLimit, Value); }
void TVaBuffers::SetXoffLimit(TVaIntW Value) { SetNotifying(FXoffLimit, Value); }

void TVaBuffers::SetReadTimeout(TVaIntW Value) {
  VaCheckNotNegative(Value);
  FReadTimeout = Value;
}

void TVaBuffers::SetWriteTimeout(TVaIntW Value) {
  VaCheckNotNegative(Value);
  FWriteTimeout = Value;
}

void TVaBuffers::Assign(const TVaBuffers& Source) {
  if (&Source == this) return;
  BeginUpdate();
  FReadSize = Source.FReadSize;
  FWriteSize = Source.FWriteSize;
  FReadTimeout = Source.FReadTimeout;
  FWriteTimeout = Source.FWriteTimeout;
  FXonLimit = Source.FXonLimit;
  FXoffLimit = Source.FXoffLimit;
  EndUpdate();
}

void TVaFlowControl::Assign(const TVaFlowControl& Source) {
  if (&Source == this) return;
  BeginUpdate();
  FOutCtsFlow = Source.FOutCtsFlow;
  FOutDsrFlow = Source.FOutDsrFlow;
  FControlDtr = Source.FControlDtr;
  FControlRts = Source.FControlRts;
  FXonXoffOut = Source.FXonXoffOut;
  FXonXoffIn = Source.FXonXoffIn;
  FDsrSensitivity = Source.FDsrSensitivity;
  FTxContinueOnXoff = Source.FTxContinueOnXoff;
  EndUpdate();
}

char TVaEventChars::Char(int Index) const {
  CheckCharIndex(Index);
  return FChars[Index - 1];
}

void TVaEventChars::SetChar(int Index, char Value) {
  CheckCharIndex(Index);
  FChars[Index - 1] = Value;
  Changed();
}

void TVaEventChars::Assign(const TVaEventChars& Source) {
  if (&Source == this) return;
  BeginUpdate();
  for (int i = 0; i < 5; ++i) FChars[i] = Source.FChars[i];
  EndUpdate();
}
