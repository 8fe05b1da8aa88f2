// Internal interface between TVaComm and the platform: the open device, the
// waits of the two worker threads, error texts and thread priorities. One
// implementation per platform (device_posix.cpp, device_win32.cpp).
#pragma once

#include "vacomm.h"
#include "vahandles.h"
#include "vatext.h"
#include "vatimeout.h"

#include <memory>
#include <string>

namespace vacomm_detail {

// --- errors

// The EVaCommError that VaRaiseCommError raises: it keeps the platform's
// error code, so that the port can tell a vanished device from other faults.
class EVaSystemError : public EVaCommError {
public:
  EVaSystemError(const std::string& Message, int Code) : EVaCommError(Message), FCode(Code) {}
  int Code() const { return FCode; }

private:
  int FCode;
};

// True for the platform error codes that mean the device has gone away
// (pulled out, hung up, removed by its driver) rather than a passing fault.
bool VaIsDeviceGone(int Code);

// The platform's text for an error code (strerror, FormatMessage), trimmed
// by VaTrimSystemText.
std::string VaSystemErrorText(int Code);
// Raises EVaSystemError with Format, its %d replaced by Code and its %s by
// the platform's text for Code.
[[noreturn]] void VaRaiseCommError(const char* Format, int Code);
// The text of the message that VaRaiseCommError raises.
std::string VaCommErrorText(const char* Format, int Code);

// --- thread priorities

// A worker thread's handle for changing its priority from another thread.
intptr_t VaCurrentThreadToken();
void VaReleaseThreadToken(intptr_t Token);
// Best effort: a priority that the platform refuses to an ordinary user is
// left as it is.
void VaSetThreadPriority(intptr_t Token, TThreadPriority Priority);

// --- the device

enum class TVaWaitStatus {
  Events,   // Mask holds the events that occurred (may be 0)
  Stopped,  // the stop event was signalled
  Failed,   // the wait could not be issued; the caller pauses before retrying
  Hangup,   // the device reports a hang-up or an error state; Mask as for Events
};

// The event thread's wait for device events.
class TVaEventWaiter {
public:
  virtual ~TVaEventWaiter() = default;
  // Waits without time-out for the events of the device's event mask or for
  // Stop to be signalled. Error is the platform's error code when the wait
  // failed, else 0.
  virtual TVaWaitStatus Wait(uint32_t& Mask, int& Error) = 0;
};

enum class TVaWriteStatus {
  Done,     // Written bytes went out (possibly fewer than asked)
  Aborted,  // one of the abort events was signalled first (AbortIndex 0 or 1)
  Failed,   // Error holds the platform's error code
};

// The write thread's sending of queued bytes.
class TVaWriter {
public:
  virtual ~TVaWriter() = default;
  // Sends Count bytes and waits until they are out or until Close (index 0)
  // or Flush (index 1) is signalled; the first of the two wins. An
  // outstanding transfer is cancelled and waited for (with a bound) before
  // this returns; Buf is free again whatever the result, since a transfer
  // that the driver does not give back works on a copy of the bytes.
  virtual TVaWriteStatus Write(const void* Buf, int Count, int& Written, int& AbortIndex, int& Error) = 0;
};

class TVaDevice {
public:
  // Opens the device at Path for exclusive use; Shown is how messages name
  // it. Raises "Specified device not found (%s)." or "Can't open specified
  // device %s (Error %d, %s)".
  static std::shared_ptr<TVaDevice> Open(const std::string& Path, const std::string& Shown);
  // The platform path of a device path ("COM3" is "/dev/ttyS2" on Linux) and
  // the name that messages use for it.
  static std::string PlatformPath(const std::string& DevicePath);
  static std::string ShownName(const std::string& DevicePath);

  TVaDevice() = default;
  TVaDevice(const TVaDevice&) = delete;
  TVaDevice& operator=(const TVaDevice&) = delete;
  virtual ~TVaDevice() = default;

  // Closes the device; outstanding waits and transfers of the workers end.
  // Safe to call more than once and while workers use the device.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  virtual void SetState(const TVaDCB& Dcb) = 0;      // "Error writing dcb (%d), %s"
  virtual void Setup(int InSize, int OutSize) = 0;   // "Error initializing buffers (%d), %s"
  virtual void SetTimeouts(int ReadIntervalMs) = 0;  // "Error setting timeouts (%d), %s"
  virtual void SetMask(uint32_t EventMask) = 0;      // " Error setting EventMask (%d), %s"
  // Reads up to Count bytes: returns when Count bytes are in, when the line
  // has been silent for the read interval after a byte, or after TimeoutMs.
  // Returns the bytes read (0 on time-out); raises "Read error (%d), %s".
  virtual int Read(void* Buf, int Count, int TimeoutMs, TVaWaitEvent& IoEvent) = 0;
  // Writes Count bytes, waiting at most TimeoutMs; returns the bytes written.
  // Raises "Write error (%d), %s".
  virtual int Write(const void* Buf, int Count, int TimeoutMs, TVaWaitEvent& IoEvent) = 0;
  // Reads and clears the line error flags; raises "Error retrieving
  // statistics (%d), %s".
  virtual void ClearError(uint32_t& Errors, TVaComStat& ComStat) = 0;
  // Holds the line in the break state (low) or releases it; raises "Error
  // setting break (%d), %s". A driver without break control (a
  // pseudo-terminal) accepts it and does nothing.
  virtual void SetBreak(bool On) = 0;

  virtual std::unique_ptr<TVaEventWaiter> CreateEventWaiter(TVaEvent& Stop) = 0;
  virtual std::unique_ptr<TVaWriter> CreateWriter(TVaEvent& Close, TVaEvent& Flush) = 0;
};

}  // namespace vacomm_detail
