#pragma once
// A fault rule: which requests it takes (a service and identifier, every
// N-th request, a time window of the scenario) and the one thing it does to
// their answers. Rules come from a scenario file or from the controls that
// apply one rule by hand; TFaultEngine applies them. No Qt.

#include <cstdint>
#include <optional>
#include <string>

enum class TFaultAction : uint8_t {
  NoAnswer,     // the answer is not sent
  Late,         // the answer is sent DelayMs later
  BadChecksum,  // the answer's checksum byte is wrong (inverted)
  Cut,          // only the first CutBytes bytes of the answer are sent
  Negative,     // 7F <service> <NegativeCode> instead of the answer
  Silent,       // the unit sends nothing at all for SilentMs
};

struct TFaultRule {
  // Matching. A request matches when every given condition holds.
  std::optional<uint8_t> Service;     // the request's service identifier
  std::optional<uint8_t> Identifier;  // its second data byte (local identifier)
  uint32_t EveryNth = 1;              // every N-th matching request (1: each)
  // Scenario time window in milliseconds, [FromMs, ToMs); none: always.
  std::optional<int64_t> FromMs;
  std::optional<int64_t> ToMs;

  TFaultAction Action = TFaultAction::NoAnswer;
  int32_t DelayMs = 0;       // Late
  int32_t CutBytes = 0;      // Cut
  uint8_t NegativeCode = 0;  // Negative: 0x10, 0x11, 0x12, 0x21, 0x22, 0x31 or 0x78
  // Negative 0x78 (response pending): the real answer follows after this
  // many milliseconds (within P3max, 5000 ms).
  int32_t PendingMs = 1000;
  int32_t SilentMs = 0;  // Silent

  std::string Name;  // shown in the window and the record ("" : made up from the rule)
};

// The negative response codes a rule may send (ISO 14230-3).
inline bool IsAllowedNegativeCode(int Code) {
  return Code == 0x10 || Code == 0x11 || Code == 0x12 || Code == 0x21 || Code == 0x22 || Code == 0x31 || Code == 0x78;
}
