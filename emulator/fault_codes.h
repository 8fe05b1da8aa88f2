#pragma once
// The fault codes the operator can tick in the tester window's list, in list
// order. Each text is the four-digit code, one blank and the description; the
// first four characters are what the fault code report sends.

#include <array>

inline constexpr int FaultCodeItemCount = 113;

// UTF-8 item texts of CheckListBox1, in list order.
extern const std::array<const char*, FaultCodeItemCount> FaultCodeItems;
