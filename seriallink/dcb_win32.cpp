#include "dcb_win32.h"

namespace vacomm_detail {

TVaWin32Dcb VaWin32Dcb(const TVaDCB& R) {
  TVaWin32Dcb D = {};
  D.DCBlength = R.DCBlength;
  D.BaudRate = R.BaudRate;
  D.fBinary = R.fBinary;
  D.fParity = R.fParity;
  D.fOutxCtsFlow = R.fOutxCtsFlow;
  D.fOutxDsrFlow = R.fOutxDsrFlow;
  D.fDtrControl = R.fDtrControl & 3u;
  D.fDsrSensitivity = R.fDsrSensitivity;
  D.fTXContinueOnXoff = R.fTXContinueOnXoff;
  D.fOutX = R.fOutX;
  D.fInX = R.fInX;
  D.fErrorChar = R.fErrorChar;
  D.fNull = R.fNull;
  D.fRtsControl = R.fRtsControl & 3u;
  D.fAbortOnError = R.fAbortOnError;
  D.XonLim = R.XonLim;
  D.XoffLim = R.XoffLim;
  D.ByteSize = R.ByteSize;
  D.Parity = R.Parity;
  D.StopBits = R.StopBits;
  D.XonChar = R.XonChar;
  D.XoffChar = R.XoffChar;
  D.ErrorChar = R.ErrorChar;
  D.EofChar = R.EofChar;
  D.EvtChar = R.EvtChar;
  return D;
}

}  // namespace vacomm_detail
