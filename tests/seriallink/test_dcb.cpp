// The settings as records, without a device: the settings record built from
// the settings, and the Win32 DCB built from the record, byte for byte as
// SetCommState takes it.
#include "dcb_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <vector>

using namespace vacomm_detail;

namespace {

using TBytes = std::array<uint8_t, 28>;

TBytes BytesOf(const TVaDCB& Record) {
  const TVaWin32Dcb Dcb = VaWin32Dcb(Record);
  TBytes Bytes;
  std::memcpy(Bytes.data(), &Dcb, Bytes.size());
  return Bytes;
}

// The record of the tester window's port.
TVaDCB KLineRecord() {
  TVaLineSettings Line;
  Line.Baudrate = brUser;
  Line.UserBaudrate = 10400;
  TVaFlowControl Flow;
  TVaEventChars Chars;
  TVaBuffers Buffers;
  return VaBuildDCB(Line, Flow, Chars, Buffers);
}

}  // namespace

TEST(Records, EveryEnumeratorOfTheSettingsGoesIntoItsField) {
  struct {
    const char* What;
    std::function<void(TVaLineSettings&, TVaFlowControl&)> Set;
    std::function<int(const TVaDCB&)> Field;
    int Expected;
  } const Cases[] = {
      {"db4", [](auto& L, auto&) { L.Databits = db4; }, [](auto& D) { return D.ByteSize; }, 4},
      {"db5", [](auto& L, auto&) { L.Databits = db5; }, [](auto& D) { return D.ByteSize; }, 5},
      {"db7", [](auto& L, auto&) { L.Databits = db7; }, [](auto& D) { return D.ByteSize; }, 7},
      {"db8", [](auto& L, auto&) { L.Databits = db8; }, [](auto& D) { return D.ByteSize; }, 8},
      {"paNone", [](auto& L, auto&) { L.Parity = paNone; }, [](auto& D) { return D.Parity; }, 0},
      {"paOdd", [](auto& L, auto&) { L.Parity = paOdd; }, [](auto& D) { return D.Parity; }, 1},
      {"paEven", [](auto& L, auto&) { L.Parity = paEven; }, [](auto& D) { return D.Parity; }, 2},
      {"paMark", [](auto& L, auto&) { L.Parity = paMark; }, [](auto& D) { return D.Parity; }, 3},
      {"paSpace", [](auto& L, auto&) { L.Parity = paSpace; }, [](auto& D) { return D.Parity; }, 4},
      {"sb1", [](auto& L, auto&) { L.Stopbits = sb1; }, [](auto& D) { return D.StopBits; }, 0},
      {"sb15", [](auto& L, auto&) { L.Stopbits = sb15; }, [](auto& D) { return D.StopBits; }, 1},
      {"sb2", [](auto& L, auto&) { L.Stopbits = sb2; }, [](auto& D) { return D.StopBits; }, 2},
      {"dtrEnabled", [](auto&, auto& F) { F.SetControlDtr(dtrEnabled); }, [](auto& D) { return D.fDtrControl; }, 1},
      {"dtrHandshake", [](auto&, auto& F) { F.SetControlDtr(dtrHandshake); }, [](auto& D) { return D.fDtrControl; }, 2},
      {"rtsEnabled", [](auto&, auto& F) { F.SetControlRts(rtsEnabled); }, [](auto& D) { return D.fRtsControl; }, 1},
      {"rtsHandshake", [](auto&, auto& F) { F.SetControlRts(rtsHandshake); }, [](auto& D) { return D.fRtsControl; }, 2},
      {"rtsToggle", [](auto&, auto& F) { F.SetControlRts(rtsToggle); }, [](auto& D) { return D.fRtsControl; }, 3},
      {"br110", [](auto& L, auto&) { L.Baudrate = br110; }, [](auto& D) { return int(D.BaudRate); }, 110},
      {"br256000", [](auto& L, auto&) { L.Baudrate = br256000; }, [](auto& D) { return int(D.BaudRate); }, 256000},
      // A named rate wins over a user rate left over.
      {"br4800 with a user rate",
       [](auto& L, auto&) {
         L.Baudrate = br4800;
         L.UserBaudrate = 10400;
       },
       [](auto& D) { return int(D.BaudRate); }, 4800},
      {"brUser",
       [](auto& L, auto&) {
         L.Baudrate = brUser;
         L.UserBaudrate = 10400;
       },
       [](auto& D) { return int(D.BaudRate); }, 10400},
  };
  for (const auto& C : Cases) {
    TVaLineSettings Line;
    TVaFlowControl Flow;
    C.Set(Line, Flow);
    EXPECT_EQ(C.Field(VaBuildDCB(Line, Flow, TVaEventChars(), TVaBuffers())), C.Expected) << C.What;
  }
}

TEST(Records, TheWin32DcbOfTheKLinePortByteForByte) {
  const TBytes Expected = {
      0x1C, 0x00, 0x00, 0x00,  // DCBlength 28
      0xA0, 0x28, 0x00, 0x00,  // BaudRate 10400
      0x01, 0x00, 0x00, 0x00,  // fBinary; no parity check, no handshake, DTR and RTS disabled
      0x00, 0x00,              // wReserved
      0x00, 0x04,              // XonLim 1024
      0x00, 0x04,              // XoffLim 1024
      0x08,                    // ByteSize 8
      0x00,                    // Parity NOPARITY
      0x00,                    // StopBits ONESTOPBIT
      0x11, 0x13,              // XonChar, XoffChar
      0x00, 0x00, 0x00,        // ErrorChar, EofChar, EvtChar
      0x00, 0x00,              // wReserved1
  };
  EXPECT_EQ(BytesOf(KLineRecord()), Expected);
}

TEST(Records, EachFieldOfTheRecordLandsInItsPlaceOfTheWin32Dcb) {
  // Each row changes one field of the K-line record; only the bytes named
  // change in the DCB, to the values given (the flags are one 32-bit word,
  // little-endian, at offset 8).
  struct {
    const char* What;
    std::function<void(TVaDCB&)> Change;
    size_t Offset;
    std::vector<uint8_t> Bytes;
  } const Cases[] = {
      {"BaudRate", [](TVaDCB& D) { D.BaudRate = 0x01020304; }, 4, {0x04, 0x03, 0x02, 0x01}},
      {"fBinary off", [](TVaDCB& D) { D.fBinary = false; }, 8, {0x00, 0x00}},
      {"fParity", [](TVaDCB& D) { D.fParity = true; }, 8, {0x03, 0x00}},
      {"fOutxCtsFlow", [](TVaDCB& D) { D.fOutxCtsFlow = true; }, 8, {0x05, 0x00}},
      {"fOutxDsrFlow", [](TVaDCB& D) { D.fOutxDsrFlow = true; }, 8, {0x09, 0x00}},
      {"fDtrControl enable", [](TVaDCB& D) { D.fDtrControl = 1; }, 8, {0x11, 0x00}},
      {"fDtrControl handshake", [](TVaDCB& D) { D.fDtrControl = 2; }, 8, {0x21, 0x00}},
      {"fDsrSensitivity", [](TVaDCB& D) { D.fDsrSensitivity = true; }, 8, {0x41, 0x00}},
      {"fTXContinueOnXoff", [](TVaDCB& D) { D.fTXContinueOnXoff = true; }, 8, {0x81, 0x00}},
      {"fOutX", [](TVaDCB& D) { D.fOutX = true; }, 8, {0x01, 0x01}},
      {"fInX", [](TVaDCB& D) { D.fInX = true; }, 8, {0x01, 0x02}},
      {"fErrorChar", [](TVaDCB& D) { D.fErrorChar = true; }, 8, {0x01, 0x04}},
      {"fNull", [](TVaDCB& D) { D.fNull = true; }, 8, {0x01, 0x08}},
      {"fRtsControl enable", [](TVaDCB& D) { D.fRtsControl = 1; }, 8, {0x01, 0x10}},
      {"fRtsControl toggle", [](TVaDCB& D) { D.fRtsControl = 3; }, 8, {0x01, 0x30}},
      {"fAbortOnError", [](TVaDCB& D) { D.fAbortOnError = true; }, 8, {0x01, 0x40}},
      // A two-bit field takes the low two bits and never spills over.
      {"fDtrControl 7", [](TVaDCB& D) { D.fDtrControl = 7; }, 8, {0x31, 0x00}},
      {"fRtsControl 6", [](TVaDCB& D) { D.fRtsControl = 6; }, 8, {0x01, 0x20, 0x00}},
      {"XonLim", [](TVaDCB& D) { D.XonLim = 0xABCD; }, 14, {0xCD, 0xAB}},
      {"XoffLim", [](TVaDCB& D) { D.XoffLim = 0x0102; }, 16, {0x02, 0x01}},
      {"ByteSize", [](TVaDCB& D) { D.ByteSize = 7; }, 18, {0x07}},
      {"Parity", [](TVaDCB& D) { D.Parity = 4; }, 19, {0x04}},
      {"StopBits", [](TVaDCB& D) { D.StopBits = 2; }, 20, {0x02}},
      {"XonChar", [](TVaDCB& D) { D.XonChar = 0x01; }, 21, {0x01}},
      {"XoffChar", [](TVaDCB& D) { D.XoffChar = 0x02; }, 22, {0x02}},
      {"ErrorChar", [](TVaDCB& D) { D.ErrorChar = '?'; }, 23, {'?'}},
      {"EofChar", [](TVaDCB& D) { D.EofChar = 0x1A; }, 24, {0x1A}},
      {"EvtChar", [](TVaDCB& D) { D.EvtChar = '\r'; }, 25, {'\r'}},
  };
  const TBytes Base = BytesOf(KLineRecord());
  for (const auto& C : Cases) {
    TVaDCB Record = KLineRecord();
    C.Change(Record);
    TBytes Expected = Base;
    std::copy(C.Bytes.begin(), C.Bytes.end(), Expected.begin() + long(C.Offset));
    EXPECT_EQ(BytesOf(Record), Expected) << C.What;
  }
}
