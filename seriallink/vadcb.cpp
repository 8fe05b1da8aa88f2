#include "vadcb.h"

TVaDCB VaBuildDCB(const TVaLineSettings& Line, const TVaFlowControl& Flow, const TVaEventChars& Chars,
                  const TVaBuffers& Buffers) {
  TVaDCB D;
  D.DCBlength = VA_DCB_LENGTH;
  D.BaudRate = uint32_t(Line.Baudrate == brUser ? Line.UserBaudrate : VaBaudrateValue(Line.Baudrate));
  D.fBinary = true;
  D.fParity = Line.Options.Contains(coParityCheck);
  D.fOutxCtsFlow = Flow.OutCtsFlow();
  D.fOutxDsrFlow = Flow.OutDsrFlow();
  D.fDtrControl = uint8_t(Flow.ControlDtr());
  D.fDsrSensitivity = Flow.DsrSensitivity();
  D.fTXContinueOnXoff = Flow.TxContinueOnXoff();
  D.fOutX = Flow.XonXoffOut();
  D.fInX = Flow.XonXoffIn();
  D.fErrorChar = Line.Options.Contains(coErrorChar);
  D.fNull = Line.Options.Contains(coNullStrip);
  D.fRtsControl = uint8_t(Flow.ControlRts());
  D.fAbortOnError = false;
  D.XonLim = uint16_t(Buffers.XonLimit() & 0xFFFF);
  D.XoffLim = uint16_t(Buffers.XoffLimit() & 0xFFFF);
  D.ByteSize = uint8_t(4 + int(Line.Databits));
  D.Parity = uint8_t(Line.Parity);
  D.StopBits = uint8_t(Line.Stopbits);
  D.XonChar = Chars.XonChar();
  D.XoffChar = Chars.XoffChar();
  D.ErrorChar = Chars.ErrorChar();
  D.EofChar = Chars.EofChar();
  D.EvtChar = Chars.EventChar();
  return D;
}
