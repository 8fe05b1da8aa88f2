#include "sim_panel.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "fault_codes.h"
#include "numtext.h"

namespace {

std::string Upper(std::string Text) {
  for (char& C : Text) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  return Text;
}

}  // namespace

TSimPanel::TSimPanel() : FItems(FaultCodeItems.begin(), FaultCodeItems.end()) { Reset(); }

void TSimPanel::Reset() {
  const std::string Fraction = std::string(1, DecimalSeparator()) + "00";
  FTexts = {"0", "20", "0", "0", "0", "0" + Fraction, "20", "12" + Fraction};
  FTicks.assign(FItems.size(), false);
  FVariant = 1;
  FPause = false;
  FNoAnswer = false;
}

std::string TSimPanel::ItemCode(int Index) const { return FaultItemCode(FItems.at(static_cast<size_t>(Index))); }

bool TSimPanel::HasCode(const std::string& Code) const {
  const std::string Wanted = Upper(Code);
  for (int I = 0; I < FaultCodeCount(); ++I) {
    if (ItemCode(I) == Wanted) return true;
  }
  return false;
}

int TSimPanel::FindItem(const std::string& Code, bool Ticked) const {
  const std::string Wanted = Upper(Code);
  for (int I = 0; I < FaultCodeCount(); ++I) {
    if (ItemCode(I) == Wanted && FTicks[static_cast<size_t>(I)] != Ticked) return I;
  }
  return -1;
}

std::string TSimPanel::TickExactly(const std::vector<std::string>& Codes) {
  std::map<std::string, int> Wanted, Available;
  for (const std::string& Code : Codes) ++Wanted[Upper(Code)];
  for (int I = 0; I < FaultCodeCount(); ++I) ++Available[ItemCode(I)];
  for (const auto& [Code, Count] : Wanted) {
    const int Have = Available[Code];
    if (Have == 0) return "no fault code " + Code + " in the list";
    if (Count > Have)
      return "fault code " + Code + " named " + std::to_string(Count) + " times, the list has " + std::to_string(Have) +
             " such items";
  }
  std::vector<std::string> ItemCodes;
  for (int I = 0; I < FaultCodeCount(); ++I) ItemCodes.push_back(ItemCode(I));
  FTicks = TicksForCodes(ItemCodes, Codes);
  return {};
}

std::vector<std::string> TSimPanel::TickedCodes() const {
  std::vector<std::string> Codes;
  for (int I = 0; I < FaultCodeCount(); ++I) {
    if (FTicks[static_cast<size_t>(I)]) Codes.push_back(ItemCode(I));
  }
  return Codes;
}
