// The Win32 DCB built from the settings record. The layout is declared here
// rather than taken from <windows.h>, so that the record is built and
// checked by the same function on every platform; the Win32 half hands it
// to SetCommState as it stands.
#pragma once

#include "vadcb.h"

#include <cstdint>

namespace vacomm_detail {

// The DCB of the Windows serial communications API, field for field: 28
// bytes, little-endian, the flags as bit-fields from the lowest bit up.
struct TVaWin32Dcb {
  uint32_t DCBlength;
  uint32_t BaudRate;
  uint32_t fBinary : 1;
  uint32_t fParity : 1;
  uint32_t fOutxCtsFlow : 1;
  uint32_t fOutxDsrFlow : 1;
  uint32_t fDtrControl : 2;
  uint32_t fDsrSensitivity : 1;
  uint32_t fTXContinueOnXoff : 1;
  uint32_t fOutX : 1;
  uint32_t fInX : 1;
  uint32_t fErrorChar : 1;
  uint32_t fNull : 1;
  uint32_t fRtsControl : 2;
  uint32_t fAbortOnError : 1;
  uint32_t fDummy2 : 17;
  uint16_t wReserved;
  uint16_t XonLim;
  uint16_t XoffLim;
  uint8_t ByteSize;
  uint8_t Parity;
  uint8_t StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  uint16_t wReserved1;
};
static_assert(sizeof(TVaWin32Dcb) == VA_DCB_LENGTH, "the DCB is 28 bytes");

// The DCB of a settings record: every field of the record in its place,
// the reserved ones zero. The two-bit fields take the low two bits of the
// record's values.
TVaWin32Dcb VaWin32Dcb(const TVaDCB& Record);

}  // namespace vacomm_detail
