// Events, waits, ticks, thread priorities and error texts on Windows.
#include "win32.h"

#include "vadevice.h"

#include <utility>

namespace vacomm_detail {

// The system's text in the user's language, as UTF-8 like every text of the
// program: the ANSI code page (CP1251 on a Russian Windows) would not read
// back as UTF-8.
std::string VaSystemErrorText(int Code) {
  wchar_t Wide[512] = {};
  const DWORD Length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(Code),
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), Wide, sizeof Wide / sizeof Wide[0], nullptr);
  std::string Text;
  if (Length > 0) {
    const int Size = WideCharToMultiByte(CP_UTF8, 0, Wide, int(Length), nullptr, 0, nullptr, nullptr);
    if (Size > 0) {
      Text.resize(size_t(Size));
      WideCharToMultiByte(CP_UTF8, 0, Wide, int(Length), Text.data(), Size, nullptr, nullptr);
    }
  }
  return VaTrimSystemText(std::move(Text));
}

// What the communications calls return once a USB serial adapter has been
// pulled out or its driver has removed the port: the calls on the open
// handle are refused (access denied, bad command, not ready), outstanding
// transfers end aborted, and the name no longer opens.
bool VaIsDeviceGone(int Code) {
  switch (DWORD(Code)) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED:
    case ERROR_GEN_FAILURE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY:
    case ERROR_BAD_UNIT:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST: return true;
    default: return false;
  }
}

uint32_t VaSystemTickCount() { return GetTickCount(); }

void VaSystemSleep(int Milliseconds) { Sleep(DWORD(Milliseconds)); }

intptr_t VaCurrentThreadToken() {
  return intptr_t(OpenThread(THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE, GetCurrentThreadId()));
}

void VaReleaseThreadToken(intptr_t Token) {
  if (Token) CloseHandle(HANDLE(Token));
}

void VaSetThreadPriority(intptr_t Token, TThreadPriority Priority) {
  static const int Levels[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,       THREAD_PRIORITY_BELOW_NORMAL,
                               THREAD_PRIORITY_NORMAL,       THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                               THREAD_PRIORITY_TIME_CRITICAL};
  if (Token) SetThreadPriority(HANDLE(Token), Levels[int(Priority)]);
}

TVaHandleObject::~TVaHandleObject() {
  if (FHandle != -1 && FHandle != 0) CloseHandle(HANDLE(FHandle));
}

TVaWaitResult TVaHandleObject::WaitFor(int Milliseconds) {
  switch (WaitForSingleObject(HANDLE(FHandle), Milliseconds < 0 ? INFINITE : DWORD(Milliseconds))) {
    case WAIT_OBJECT_0: return wrSignaled;
    case WAIT_TIMEOUT: return wrTimeout;
    case WAIT_ABANDONED: return wrAbandoned;
    default: FError = int(GetLastError()); return wrError;
  }
}

TVaWaitEvent::TVaWaitEvent() {
  const HANDLE Event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!Event) VaRaiseCommError("Error creating event (%d), %s", int(GetLastError()));
  FHandle = intptr_t(Event);
}

void TVaEvent::Signal() { SetEvent(HANDLE(FHandle)); }
void TVaEvent::Reset() { ResetEvent(HANDLE(FHandle)); }
bool TVaEvent::IsSignaled() { return WaitFor(0) == wrSignaled; }

int VaWaitForAny(std::initializer_list<TVaEvent*> Events, int Milliseconds) {
  HANDLE Handles[MAXIMUM_WAIT_OBJECTS];
  DWORD Count = 0;
  for (TVaEvent* E : Events)
    if (Count < MAXIMUM_WAIT_OBJECTS) Handles[Count++] = HANDLE(E->Handle());
  // The lowest index of the signalled events is returned: the first wins.
  const DWORD Result = WaitForMultipleObjects(Count, Handles, FALSE, Milliseconds < 0 ? INFINITE : DWORD(Milliseconds));
  if (Result == WAIT_TIMEOUT) return -1;
  if (Result >= WAIT_OBJECT_0 && Result < WAIT_OBJECT_0 + Count) return int(Result - WAIT_OBJECT_0);
  return -2;
}

}  // namespace vacomm_detail
