#include "vaportname.h"

namespace vacomm_detail {

bool VaComPortNumber(const std::string& Name, int& Number) {
  // "COM" in either case, then one to three digits, the first not 0. Read
  // byte by byte, whatever the locale.
  if (Name.size() < 4 || Name.size() > 6) return false;
  for (size_t i = 0; i < 3; ++i)
    if (Name[i] != "COM"[i] && Name[i] != "com"[i]) return false;
  if (Name[3] == '0') return false;
  int Value = 0;
  for (size_t i = 3; i < Name.size(); ++i) {
    if (Name[i] < '0' || Name[i] > '9') return false;
    Value = Value * 10 + (Name[i] - '0');
  }
  if (Value > 256) return false;
  Number = Value;
  return true;
}

}  // namespace vacomm_detail
