// The settings of a serial port as data: the enumerations with their
// platform values, and the settings objects (TVaBuffers, TVaFlowControl,
// TVaEventChars) that tell their owning port about every change.
#pragma once

#include "vaerror.h"

#include <cstdint>
#include <functional>
#include <initializer_list>

// ---------------------------------------------------------------------------
// Enumerations and sets

enum TVaBaudrate {
  brUser,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum TVaParity { paNone, paOdd, paEven, paMark, paSpace };
enum TVaDatabits { db4, db5, db6, db7, db8 };
enum TVaStopbits { sb1, sb15, sb2 };
enum TVaCommOption { coErrorChar, coNullStrip, coParityCheck };
enum TVaCommEvent {
  ceBreak,
  ceCts,
  ceDsr,
  ceError,
  ceRing,
  ceRlsd,
  ceRxChar,
  ceTxEmpty,
  ceRxFlag,
  cePErr,
  ceRx80Full,
  ceEvent1,
  ceEvent2
};
enum TVaControlDtr { dtrDisabled, dtrEnabled, dtrHandshake };
enum TVaControlRts { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TVaIntW = int32_t;  // 0 .. 2147483647
using TVaPortInt = int;

// A small set of enumerators held as bits (enumerator n is bit n).
template <typename E, typename Bits>
class TVaSet {
public:
  constexpr TVaSet() = default;
  constexpr TVaSet(std::initializer_list<E> Members) {
    for (E m : Members) FBits = Bits(FBits | Bit(m));
  }
  static constexpr TVaSet FromBits(Bits b) {
    TVaSet s;
    s.FBits = b;
    return s;
  }
  constexpr Bits ToBits() const { return FBits; }
  constexpr bool Contains(E m) const { return (FBits & Bit(m)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TVaSet& Include(E m) {
    FBits = Bits(FBits | Bit(m));
    return *this;
  }
  constexpr TVaSet& Exclude(E m) {
    FBits = Bits(FBits & ~Bit(m));
    return *this;
  }
  friend constexpr bool operator==(TVaSet a, TVaSet b) { return a.FBits == b.FBits; }

private:
  static constexpr Bits Bit(E m) { return Bits(Bits(1) << int(m)); }
  Bits FBits = 0;
};
using TVaCommEvents = TVaSet<TVaCommEvent, uint16_t>;
using TVaCommOptions = TVaSet<TVaCommOption, uint8_t>;

// Platform event bits (the values of the Windows EV_* constants).
constexpr uint32_t VA_EV_RXCHAR = 0x0001, VA_EV_RXFLAG = 0x0002, VA_EV_TXEMPTY = 0x0004, VA_EV_CTS = 0x0008,
                   VA_EV_DSR = 0x0010, VA_EV_RLSD = 0x0020, VA_EV_BREAK = 0x0040, VA_EV_ERR = 0x0080,
                   VA_EV_RING = 0x0100, VA_EV_PERR = 0x0200, VA_EV_RX80FULL = 0x0400, VA_EV_EVENT1 = 0x0800,
                   VA_EV_EVENT2 = 0x1000;
// Line error flags (the values of the Windows CE_* constants).
constexpr uint32_t VA_CE_RXOVER = 0x0001, VA_CE_OVERRUN = 0x0002, VA_CE_RXPARITY = 0x0004, VA_CE_FRAME = 0x0008,
                   VA_CE_BREAK = 0x0010;

// The platform event bits of a set of events.
uint32_t VaEventMask(TVaCommEvents Events);
// The rate in bits per second that a TVaBaudrate other than brUser names.
int VaBaudrateValue(TVaBaudrate Rate);

// ---------------------------------------------------------------------------
// Settings objects

// A settings object that tells its owning port about every change.
class TVaPersistent {
public:
  TVaPersistent() = default;
  TVaPersistent(const TVaPersistent&) = delete;
  TVaPersistent& operator=(const TVaPersistent&) = delete;
  virtual ~TVaPersistent() = default;

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int32_t UpdateCount() const { return FUpdateCount; }
  void SetOnChange(std::function<void()> OnChange) { FOnChange = std::move(OnChange); }

protected:
  // Calls OnChange unless an update is in progress.
  void Changed();

private:
  int32_t FUpdateCount = 0;
  std::function<void()> FOnChange;
};

// Queue sizes, time-outs and flow-control limits.
class TVaBuffers : public TVaPersistent {
public:
  TVaIntW ReadSize() const { return FReadSize; }
  TVaIntW WriteSize() const { return FWriteSize; }
  TVaIntW ReadTimeout() const { return FReadTimeout; }
  TVaIntW WriteTimeout() const { return FWriteTimeout; }
  TVaIntW XonLimit() const { return FXonLimit; }
  TVaIntW XoffLimit() const { return FXoffLimit; }
  // The sizes and limits notify the port when they change; a negative value
  // raises EVaCommError and is not stored.
  void SetReadSize(TVaIntW Value);
  void SetWriteSize(TVaIntW Value);
  void SetXonLimit(TVaIntW Value);
  void SetXoffLimit(TVaIntW Value);
  // The time-outs are used by the next read or write; they notify nobody.
  void SetReadTimeout(TVaIntW Value);
  void SetWriteTimeout(TVaIntW Value);
  // Copies every field, notifying once.
  void Assign(const TVaBuffers& Source);

private:
  void SetNotifying(TVaIntW& Field, TVaIntW Value);
  TVaIntW FReadSize = 4096, FWriteSize = 2048, FReadTimeout = 1000, FWriteTimeout = 1000, FXonLimit = 1024,
          FXoffLimit = 1024;
};

// Handshake settings.
class TVaFlowControl : public TVaPersistent {
public:
  bool OutCtsFlow() const { return FOutCtsFlow; }
  bool OutDsrFlow() const { return FOutDsrFlow; }
  TVaControlDtr ControlDtr() const { return FControlDtr; }
  TVaControlRts ControlRts() const { return FControlRts; }
  bool XonXoffOut() const { return FXonXoffOut; }
  bool XonXoffIn() const { return FXonXoffIn; }
  bool DsrSensitivity() const { return FDsrSensitivity; }
  bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
  void SetOutCtsFlow(bool Value) { Set(FOutCtsFlow, Value); }
  void SetOutDsrFlow(bool Value) { Set(FOutDsrFlow, Value); }
  void SetControlDtr(TVaControlDtr Value) { Set(FControlDtr, Value); }
  void SetControlRts(TVaControlRts Value) { Set(FControlRts, Value); }
  void SetXonXoffOut(bool Value) { Set(FXonXoffOut, Value); }
  void SetXonXoffIn(bool Value) { Set(FXonXoffIn, Value); }
  void SetDsrSensitivity(bool Value) { Set(FDsrSensitivity, Value); }
  void SetTxContinueOnXoff(bool Value) { Set(FTxContinueOnXoff, Value); }
  void Assign(const TVaFlowControl& Source);

private:
  template <typename T>
  void Set(T& Field, T Value) {
    if (Field == Value) return;
    Field = Value;
    Changed();
  }
  bool FOutCtsFlow = false, FOutDsrFlow = false;
  TVaControlDtr FControlDtr = dtrDisabled;
  TVaControlRts FControlRts = rtsDisabled;
  bool FXonXoffOut = false, FXonXoffIn = false, FDsrSensitivity = false, FTxContinueOnXoff = false;
};

// Special characters, selected by index: 1 Xon, 2 Xoff, 3 Error, 4 Event, 5 Eof.
// Every assignment notifies, equal or not.
class TVaEventChars : public TVaPersistent {
public:
  char XonChar() const { return FChars[0]; }
  char XoffChar() const { return FChars[1]; }
  char ErrorChar() const { return FChars[2]; }
  char EventChar() const { return FChars[3]; }
  char EofChar() const { return FChars[4]; }
  char Char(int Index) const;
  void SetChar(int Index, char Value);  // Index outside 1..5 raises EVaCommError
  void SetXonChar(char Value) { SetChar(1, Value); }
  void SetXoffChar(char Value) { SetChar(2, Value); }
  void SetErrorChar(char Value) { SetChar(3, Value); }
  void SetEventChar(char Value) { SetChar(4, Value); }
  void SetEofChar(char Value) { SetChar(5, Value); }
  void Assign(const TVaEventChars& Source);

private:
  char FChars[5] = {0x11, 0x13, 0x00, 0x00, 0x00};
};

namespace vacomm_detail {
// Raises "Property value out of range (%d)" when Value is negative: the
// rule of every numeric property of the port and its settings objects.
void VaCheckNotNegative(int64_t Value);
}  // namespace vacomm_detail
