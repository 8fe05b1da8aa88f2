#pragma once
// The fault codes the operator can tick in the tester window's list, in list
// order. Each text is the four-digit code, one blank and the description; the
// first four characters are what the fault code report sends.

#include <array>
#include <string>
#include <vector>

inline constexpr int FaultCodeItemCount = 113;

// UTF-8 item texts of CheckListBox1, in list order.
extern const std::array<const char*, FaultCodeItemCount> FaultCodeItems;

// The code of a fault list item: its first four characters, upper case.
std::string FaultItemCode(const std::string& ItemText);

// The ticks that select exactly Codes in a list whose items have ItemCodes
// (as FaultItemCode gives them): a code ticks the first item with that code
// not yet ticked, so a code named twice ticks the first two such items; every
// other item is unticked. Codes are compared upper case; a code beyond the
// items that have it ticks nothing more.
std::vector<bool> TicksForCodes(const std::vector<std::string>& ItemCodes, const std::vector<std::string>& Codes);
