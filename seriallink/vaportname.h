// The one rule for the names of numbered serial ports, used by both
// platform halves to turn a device path into the platform's path.
#pragma once

#include <string>

namespace vacomm_detail {

// True when Name is "COMn" with n from 1 to 256: the letters in either
// case, n in decimal without a leading zero ("COM1", "com12", "COM256"; not
// "COM0", "COM01", "COM257", "COM1:"). Number is then n.
bool VaComPortNumber(const std::string& Name, int& Number);

}  // namespace vacomm_detail
