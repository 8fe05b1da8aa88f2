// Feeds arbitrary receive events to the emulator, with field texts, ticks,
// variant and check boxes also taken from the input, and checks after every
// event that the state is sound and every written frame well formed. A second
// emulator gets the same bytes one per event, each with the time of the event
// it came in: frames are found by their headers and lengths, so both must
// show the same monitor lines and send the same answers however the bytes
// were split.
//
// Input layout: one flags byte (variant, "Pause", "Нет ответа", separator),
// one selector per edit field (a known text, or up to 15 raw bytes), one byte
// of fault code ticks, then events. An event byte E means: 0xFF a count in
// the next two bytes, 0xFE toggle "Pause", 0xFD toggle "Нет ответа", 0xFC
// next variant, 0xFB FormCreate, 0xFA a silence of the next byte times 1 ms,
// otherwise a count of E + 1. A count is followed by up to that many bytes;
// the port may hold fewer than reported. Every event takes 1 ms per byte.

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "ecu_emulator.h"
#include "numtext.h"

namespace {

[[noreturn]] void Fail() { __builtin_trap(); }

class TInput {
public:
  TInput(const uint8_t* Data, size_t Size) : Data(Data), Size(Size) {}
  bool Empty() const { return Pos >= Size; }
  uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
  std::string Text(size_t Max) {
    std::string S;
    while (S.size() < Max && Pos < Size) S += static_cast<char>(Data[Pos++]);
    return S;
  }

private:
  const uint8_t* Data;
  size_t Size;
  size_t Pos = 0;
};

const char* const KnownTexts[] = {"0",          "20",          "12,00",   "12.00",   "-40",
                                  "2147483647", "-2147483648", "1e4000",  "-1e4000", "",
                                  "abc",        "20,5",        "2,5",     "820",     "10000",
                                  "16384",      " 7 ",         "1e-5000", "+,5",     "99999999999999999999"};

class TPort : public TEcuPort {
public:
  int ReadBuf(void* Buf, int Count) override {
    if (Count < 0 || Count > TEcuEmulator::BufferSize) Fail();
    int N = 0;
    auto* Out = static_cast<uint8_t*>(Buf);
    while (N < Count && !Input.empty()) {
      Out[N++] = Input.front();
      Input.pop_front();
    }
    return N;
  }
  int WriteBuf(const void* Buf, int Count) override {
    const auto* In = static_cast<const uint8_t*>(Buf);
    CheckFrame(In, Count);
    Written.emplace_back(In, In + Count);
    return Count;
  }
  int64_t RxEventTime() const override { return Now; }
  std::deque<uint8_t> Input;
  std::vector<std::vector<uint8_t>> Written;
  int64_t Now = 0;

private:
  static void CheckFrame(const uint8_t* F, int Count) {
    if (Count < 5) Fail();
    unsigned Sum = 0;
    for (int I = 0; I < Count - 1; ++I) Sum += F[I];
    if (static_cast<uint8_t>(Sum) != F[Count - 1]) Fail();
    if (F[0] == 0x80) {
      if (Count != F[3] + 5) Fail();
    } else if (F[0] < 0x81 || F[0] > 0xBF || Count != F[0] - 0x80 + 4) {
      Fail();
    }
  }
};

class TPanel : public TEcuPanel {
public:
  std::string FieldText(TEcuField Field) const override { return Fields[static_cast<int>(Field)]; }
  int FaultCodeCount() const override { return 113; }
  std::string FaultCodeText(int Index) const override {
    if (Index < 0 || Index >= 113) Fail();
    // A few items that do not begin with a code, the rest like the window's.
    if (Index == 7) return "01";
    if (Index == 8) return "X102 bad";
    return std::to_string(1000 + Index) + " Неисправность";
  }
  bool FaultCodeChecked(int Index) const override {
    if (Index < 0 || Index >= 113) Fail();
    return (Index * 37 + Ticks) % 256 < Density;
  }
  int ActiveVariant() const override { return Variant; }
  bool PauseChecked() const override { return Pause; }
  bool NoAnswerChecked() const override { return NoAnswer; }
  void AppendMonitorLine(const std::string& Line) override {
    if (Line.size() < 5 + 3 || (Line.size() - 5) % 3 != 0 || Line.compare(0, 5, " - > ") != 0) Fail();
    Lines.push_back(Line);
  }
  std::vector<std::string> Lines;

  std::string Fields[8];
  int Ticks = 0;
  int Density = 0;
  int Variant = 1;
  bool Pause = false;
  bool NoAnswer = false;
};

void CheckState(const TEcuEmulator& Ecu) {
  if (Ecu.PartialCount < 0 || Ecu.PartialCount > TEcuEmulator::BufferSize) Fail();
  if (!Ecu.RequestPending && Ecu.PartialCount != 0) Fail();
  if (Ecu.HeaderLength != 3 && Ecu.HeaderLength != 4) Fail();
  if (Ecu.RequestPending) {
    // A pending fragment is shorter than its frame, which is never longer
    // than a long header with 255 data bytes.
    if (Ecu.PartialCount < 1 || Ecu.PartialFrame[0] < 0x80) Fail();
    if (Ecu.HeaderLength == 4 && Ecu.PartialCount >= 4 && Ecu.PartialCount >= Ecu.PartialFrame[3] + 5) Fail();
    if (Ecu.HeaderLength == 3 && Ecu.PartialCount >= (Ecu.PartialFrame[0] & 0x3F) + 4) Fail();
  }
}

// Runs one event on an emulator; a conversion error is reported to the
// operator and sends nothing for its request.
void Run(TEcuEmulator& Ecu, int Count) {
  try {
    Ecu.RxChar(Count);
  } catch (const EConvertError&) {}
  CheckState(Ecu);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TInput In(Data, Size);
  TPort Port;
  TPanel Panel;
  const uint8_t Flags = In.Byte();
  Panel.Variant = 1 + Flags % 3;
  Panel.Pause = Flags & 0x04;
  Panel.NoAnswer = Flags & 0x08;
  SetDecimalSeparator(Flags & 0x10 ? '.' : ',');
  for (std::string& Field : Panel.Fields) {
    const uint8_t Selector = In.Byte();
    constexpr size_t Known = sizeof KnownTexts / sizeof KnownTexts[0];
    Field = Selector < Known ? KnownTexts[Selector] : In.Text(Selector % 16);
  }
  Panel.Ticks = In.Byte();
  Panel.Density = In.Byte();

  TEcuEmulator Ecu(Port, Panel);
  TPort BytePort;
  TPanel BytePanel = Panel;
  TEcuEmulator ByteEcu(BytePort, BytePanel);
  int64_t Now = 0;
  while (!In.Empty()) {
    const uint8_t E = In.Byte();
    int Count;
    if (E == 0xFE) {
      Panel.Pause = BytePanel.Pause = !Panel.Pause;
      continue;
    } else if (E == 0xFD) {
      Panel.NoAnswer = BytePanel.NoAnswer = !Panel.NoAnswer;
      continue;
    } else if (E == 0xFC) {
      Panel.Variant = BytePanel.Variant = Panel.Variant % 3 + 1;
      continue;
    } else if (E == 0xFB) {
      Ecu.FormCreate();
      ByteEcu.FormCreate();
      continue;
    } else if (E == 0xFA) {
      Now += In.Byte() * 1000;
      continue;
    } else if (E == 0xFF) {
      Count = In.Byte() << 8;
      Count |= In.Byte();
      if (Count == 0) Count = 1;
    } else {
      Count = E + 1;
    }
    // The port holds what the input still has, up to the reported count.
    const std::string Bytes = In.Text(static_cast<size_t>(Count));
    Port.Input.assign(Bytes.begin(), Bytes.end());
    Port.Now = BytePort.Now = Now;
    Run(Ecu, Count);
    Port.Input.clear();  // what was not read stays out of the next event
    for (char Byte : Bytes) {
      BytePort.Input.assign(1, static_cast<uint8_t>(Byte));
      Run(ByteEcu, 1);
    }
    if (Panel.Lines != BytePanel.Lines || Port.Written != BytePort.Written) Fail();
    Panel.Lines.clear();
    BytePanel.Lines.clear();
    Port.Written.clear();
    BytePort.Written.clear();
    if (Ecu.FramesReceived != ByteEcu.FramesReceived || Ecu.AnswersSent != ByteEcu.AnswersSent) Fail();
    Now += 1000 * static_cast<int64_t>(Bytes.size());
  }
  return 0;
}
