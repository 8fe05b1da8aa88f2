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
