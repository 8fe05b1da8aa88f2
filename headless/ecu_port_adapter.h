#pragma once
// The serial port as the emulated unit sees it: TEcuPort over a TVaComm.
// The tester window, the command-line program and the Windows end-to-end
// check all put the emulator behind their port through this one class.

#include "ecu_interfaces.h"
#include "vacomm.h"

class TEcuPortAdapter : public TEcuPort {
public:
  explicit TEcuPortAdapter(TVaCustomComm& Comm) : FComm(Comm) {}
  int ReadBuf(void* Buf, int Count) override { return FComm.ReadBuf(Buf, Count); }
  int WriteBuf(const void* Buf, int Count) override { return FComm.WriteBuf(Buf, Count); }
  int64_t RxEventTime() const override { return FComm.RxEventTime(); }
  TVaCustomComm& Comm() const { return FComm; }

private:
  TVaCustomComm& FComm;
};
