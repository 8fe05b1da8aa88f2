#pragma once
// A port that plays the K-line adapter (queued received bytes, recorded
// written frames) and a panel with the tester window's start values.

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ecu_emulator.h"

using TBytes = std::vector<uint8_t>;

// The frames of a plain exchange with the unit at address 11 (tester F1),
// shared by the suites that drive the emulator.
inline const TBytes StartComm = {0x81, 0x11, 0xF1, 0x81, 0x04};
inline const TBytes StartCommAnswer = {0x83, 0xF1, 0x11, 0xC1, 0x6B, 0x8F, 0x40};
inline const TBytes TesterPresent = {0x81, 0x11, 0xF1, 0x3E, 0xC1};
inline const TBytes TesterPresentAnswer = {0x81, 0xF1, 0x11, 0x7E, 0x01};
inline const TBytes Record01 = {0x82, 0x11, 0xF1, 0x21, 0x01, 0xA6};
inline const TBytes Record01Answer = {0x89, 0xF1, 0x11, 0x61, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xEB};
inline const TBytes Record06 = {0x82, 0x11, 0xF1, 0x21, 0x06, 0xAB};

class TFakePort : public TEcuPort {
public:
  int ReadBuf(void* Buf, int Count) override {
    if (!ReadError.empty()) throw std::runtime_error(ReadError);
    ReadSizes.push_back(Count);
    int N = 0;
    auto* Out = static_cast<uint8_t*>(Buf);
    while (N < Count && !Input.empty() && (ReadLimit < 0 || N < ReadLimit)) {
      Out[N++] = Input.front();
      Input.pop_front();
    }
    return N;
  }
  int WriteBuf(const void* Buf, int Count) override {
    if (!WriteError.empty()) throw std::runtime_error(WriteError);
    const auto* In = static_cast<const uint8_t*>(Buf);
    Written.emplace_back(In, In + Count);
    return Count;
  }
  int64_t RxEventTime() const override { return Now; }

  std::deque<uint8_t> Input;
  int64_t Now = 0;  // the arrival time of the next event, in microseconds
  std::vector<TBytes> Written;
  std::vector<int> ReadSizes;
  int ReadLimit = -1;  // bytes one ReadBuf returns at most; -1: no limit
  std::string ReadError;
  std::string WriteError;
};

class TFakePanel : public TEcuPanel {
public:
  TFakePanel() {
    // The window's start values under a comma locale.
    Fields = {{TEcuField::VSS, "0"},  {TEcuField::TOG, "20"},  {TEcuField::RPM, "0"},  {TEcuField::ATP, "0"},
              {TEcuField::IMAP, "0"}, {TEcuField::Dv, "0,00"}, {TEcuField::IAT, "20"}, {TEcuField::Ubat, "12,00"}};
  }
  std::string FieldText(TEcuField Field) const override {
    Reads.push_back(Field);
    return Fields.at(Field);
  }
  int FaultCodeCount() const override { return static_cast<int>(Faults.size()); }
  std::string FaultCodeText(int Index) const override { return Faults.at(static_cast<size_t>(Index)).first; }
  bool FaultCodeChecked(int Index) const override { return Faults.at(static_cast<size_t>(Index)).second; }
  int ActiveVariant() const override { return Variant; }
  bool PauseChecked() const override { return Pause; }
  bool NoAnswerChecked() const override { return NoAnswer; }
  void AppendMonitorLine(const std::string& Line) override { Lines.push_back(Line); }

  std::map<TEcuField, std::string> Fields;
  std::vector<std::pair<std::string, bool>> Faults;
  int Variant = 1;
  bool Pause = false;
  bool NoAnswer = false;
  std::vector<std::string> Lines;
  mutable std::vector<TEcuField> Reads;
};

// An emulator wired to the fakes, with helpers to play receive events.
class TEcuBench {
public:
  TEcuBench() : Ecu(Port, Panel) {}

  // Lets Ms milliseconds of silence pass on the line.
  void Wait(int64_t Ms) { Port.Now += Ms * 1000; }
  // One receive event carrying exactly these bytes.
  void Event(const TBytes& Bytes) {
    Port.Input.insert(Port.Input.end(), Bytes.begin(), Bytes.end());
    Ecu.RxChar(static_cast<int>(Bytes.size()));
  }
  // The frames written since the last call.
  std::vector<TBytes> Sent() {
    std::vector<TBytes> Frames;
    Frames.swap(Port.Written);
    return Frames;
  }
  // The single frame written by the request just fed; empty if none.
  TBytes Answer(const TBytes& Request) {
    Sent();
    Event(Request);
    const std::vector<TBytes> Frames = Sent();
    if (Frames.size() > 1) throw std::logic_error("more than one answer");
    return Frames.empty() ? TBytes{} : Frames[0];
  }
  // Starts communication, as a tester does before reading live data.
  void Start() { Answer({0x81, 0x11, 0xF1, 0x81, 0x04}); }

  TFakePort Port;
  TFakePanel Panel;
  TEcuEmulator Ecu;
};

// A frame from the given bytes with the checksum appended.
inline TBytes WithChecksum(TBytes Bytes) {
  unsigned Sum = 0;
  for (uint8_t B : Bytes) Sum += B;
  Bytes.push_back(static_cast<uint8_t>(Sum));
  return Bytes;
}

// Frames print as hex in failure messages.
inline std::string Hex(const TBytes& Bytes) {
  std::string Text;
  char Buf[4];
  for (uint8_t B : Bytes) {
    std::snprintf(Buf, sizeof Buf, "%02X ", B);
    Text += Buf;
  }
  return Text;
}
