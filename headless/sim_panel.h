#pragma once
// The unit's state as the command-line program keeps it: what the tester
// window holds in its eight parameter edit fields, its fault code list, its
// variant buttons and the two check boxes of its monitor tab, without a
// window. The emulator reads it through TEcuPanel at each request, as it
// reads the window; field texts are kept as given, bad ones included.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ecu_interfaces.h"
#include "scenario.h"

class TSimPanel : public TEcuPanel {
public:
  // The window's start state (see Reset).
  TSimPanel();

  // Start values as the window shows them, written with the decimal
  // separator in use (0; 20; 0; 0; 0; 0,00; 20; 12,00 in the order of
  // TEcuField), the 113 fault code items unticked, variant 1, "Pause" and
  // "Нет ответа" clear.
  void Reset();

  void SetFieldText(TEcuField Field, std::string Text) { FTexts[FieldIndex(Field)] = std::move(Text); }
  void SetVariant(int Variant) { FVariant = Variant; }
  void SetPause(bool On) { FPause = On; }
  void SetNoAnswer(bool On) { FNoAnswer = On; }

  // The code of item Index (0-based): the first four characters of its text.
  std::string ItemCode(int Index) const;
  // Whether any item has Code (four hex digits, either case).
  bool HasCode(const std::string& Code) const;
  // The first item with Code whose tick differs from Ticked (the item that
  // ticking or unticking Code changes); -1 when there is none.
  int FindItem(const std::string& Code, bool Ticked) const;
  void SetTicked(int Index, bool Ticked) { FTicks.at(static_cast<size_t>(Index)) = Ticked; }
  // Ticks exactly the items of Codes, in list order (a code named twice
  // ticks the first two items with it), and unticks the rest. Returns what
  // is wrong, with nothing changed, when the list has too few items with a
  // code; empty on success.
  std::string TickExactly(const std::vector<std::string>& Codes);
  // The codes of the ticked items, in list order.
  std::vector<std::string> TickedCodes() const;

  // Monitor lines the emulator appended (the program shows frames as event
  // lines instead).
  uint64_t MonitorLines() const { return FMonitorLines; }

  // TEcuPanel
  std::string FieldText(TEcuField Field) const override { return FTexts[FieldIndex(Field)]; }
  int FaultCodeCount() const override { return static_cast<int>(FItems.size()); }
  std::string FaultCodeText(int Index) const override { return FItems.at(static_cast<size_t>(Index)); }
  bool FaultCodeChecked(int Index) const override { return FTicks.at(static_cast<size_t>(Index)); }
  int ActiveVariant() const override { return FVariant; }
  bool PauseChecked() const override { return FPause; }
  bool NoAnswerChecked() const override { return FNoAnswer; }
  void AppendMonitorLine(const std::string&) override { ++FMonitorLines; }

private:
  std::array<std::string, EcuFieldCount> FTexts;
  std::vector<std::string> FItems;
  std::vector<bool> FTicks;
  int FVariant = 1;
  bool FPause = false;
  bool FNoAnswer = false;
  uint64_t FMonitorLines = 0;
};
