#pragma once
// The two small interfaces through which the emulated engine control unit
// sees the outside world. The tester window implements both; tests fake them.
// Nothing here depends on Qt: texts are UTF-8.

#include <cstdint>
#include <string>

// The serial port, as TVaComm offers it.
class TEcuPort {
public:
  virtual ~TEcuPort() = default;
  // Reads up to Count received bytes into Buf; returns how many were read
  // (0 when nothing could be read). May throw EVaCommError.
  virtual int ReadBuf(void* Buf, int Count) = 0;
  // Hands Count bytes to the port's write queue. May throw EVaCommError.
  virtual int WriteBuf(const void* Buf, int Count) = 0;
  // When the bytes of the receive event being handled reached the port, in
  // microseconds of a monotonic clock. Gaps between the pieces of a request
  // are measured with it, so a window thread that is late in handling an
  // event never makes the line look silent.
  virtual int64_t RxEventTime() const = 0;
};

// The eight parameter edit fields whose texts are the live engine values.
enum class TEcuField { VSS, TOG, RPM, ATP, IMAP, Dv, IAT, Ubat };

// The tester window's state as the emulator reads it at each request.
class TEcuPanel {
public:
  virtual ~TEcuPanel() = default;
  // Current text of a parameter edit field.
  virtual std::string FieldText(TEcuField Field) const = 0;
  // The fault code list (CheckListBox1), in list order.
  virtual int FaultCodeCount() const = 0;
  virtual std::string FaultCodeText(int Index) const = 0;
  virtual bool FaultCodeChecked(int Index) const = 0;
  // 1, 2 or 3: the variant whose tool button is in the Indeterminate state.
  virtual int ActiveVariant() const = 0;
  // CheckBox1 "Pause" and CheckBox3 "Нет ответа" of the monitor tab.
  virtual bool PauseChecked() const = 0;
  virtual bool NoAnswerChecked() const = 0;
  // Appends one line at the end of the traffic monitor Memo1.
  virtual void AppendMonitorLine(const std::string& Line) = 0;
};

// What became of received bytes.
enum class TEcuOutcome : uint8_t {
  Answered,         // an answer was handed to the port
  NoAnswerTicked,   // "Нет ответа" was ticked
  OtherTarget,      // addressed to another unit
  NotStarted,       // live data asked for before StartCommunication
  UnknownService,   // a service or local identifier this unit does not answer
  ConversionError,  // a field or fault code text could not be converted
  PortError,        // the port refused the answer
  Functional,       // a functional frame, dropped without a trace
  Noise,            // bytes that cannot begin a frame, skipped
  FragmentDropped,  // a request left incomplete by a silence
  Paused,           // bytes read and discarded while "Pause" was ticked
  FaultRule,        // an answer filter took the answer (withheld, delayed, altered or refused)
};

// A listener to what passes through the emulator, for a record of the
// session. Called on the emulator's thread; it must not throw.
class TEcuObserver {
public:
  virtual ~TEcuObserver() = default;
  // A complete frame, before it is answered: its bytes, and the arrival
  // times of the receive events that brought them, first to last.
  virtual void FrameReceived(const uint8_t* Bytes, int Count, const int64_t* PieceTimes, int Pieces) = 0;
  // What became of the frame just received; any answer comes before this.
  virtual void FrameOutcome(TEcuOutcome Outcome) = 0;
  // An answer handed to the port for the frame just received.
  virtual void AnswerSent(const uint8_t* Bytes, int Count) = 0;
  // Bytes read and dropped outside any frame (noise, a broken fragment,
  // bytes read while paused), with the arrival time of their event.
  virtual void BytesDropped(const uint8_t* Bytes, int Count, int64_t Arrival, TEcuOutcome Why) = 0;
};

// A request as the answer filter sees it: addresses, data bytes (service
// identifier first) and when the receive event that completed it reached
// the port (the port's clock, microseconds).
struct TEcuRequest {
  uint8_t Target = 0;
  uint8_t Source = 0;
  const uint8_t* Data = nullptr;
  int DataLength = 0;
  int64_t Arrival = 0;
};

// What the answer filter wants written for a request now.
enum class TEcuAnswerAction : uint8_t {
  Send,      // the answer as the unit built it (nothing when it has none)
  Withhold,  // nothing
  Replace,   // the bytes the filter put into the replacement buffer
};

// A hook between the answer stage and the port, for a bench that puts the
// trip computer through faulty answers. Called on the emulator's thread for
// every physical frame addressed to the unit that reaches the answer stage
// ("Нет ответа" and "Pause" not ticked, every field text converted), after
// the unit decided its answer and before anything is written. Whatever the
// filter wants sent later it writes through the port itself.
class TEcuAnswerFilter {
public:
  // Room in the replacement buffer.
  static constexpr int MaxReplacement = 1024;
  virtual ~TEcuAnswerFilter() = default;
  // Answer: the frame the unit is about to write (AnswerCount 0: the unit
  // leaves the request unanswered). For Replace, the filter writes up to
  // MaxReplacement bytes into Replacement and sets ReplacementCount.
  // Only port errors may leave it.
  virtual TEcuAnswerAction FilterAnswer(const TEcuRequest& Request, const uint8_t* Answer, int AnswerCount,
                                        uint8_t* Replacement, int& ReplacementCount) = 0;
};
