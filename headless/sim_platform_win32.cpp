#include "sim_platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

std::function<void(const char*)> SignalHandler;

BOOL WINAPI ConsoleEvent(DWORD Event) {
  const char* Name = Event == CTRL_C_EVENT       ? "CTRL_C"
                     : Event == CTRL_BREAK_EVENT ? "CTRL_BREAK"
                     : Event == CTRL_CLOSE_EVENT ? "CTRL_CLOSE"
                                                 : "SHUTDOWN";
  if (SignalHandler) SignalHandler(Name);
  // The system ends the process once this returns for a closing console:
  // the program's own end (record written, port closed) comes first.
  if (Event != CTRL_C_EVENT && Event != CTRL_BREAK_EVENT) Sleep(4500);
  return TRUE;
}

}  // namespace

void PrepareProcess() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
}

void WatchSignals(std::function<void(const char* Name)> OnSignal) {
  SignalHandler = std::move(OnSignal);
  SetConsoleCtrlHandler(ConsoleEvent, TRUE);
}

bool WriteStdout(const char* Data, size_t Size) {
  const HANDLE Out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (Size > 0) {
    DWORD Written = 0;
    const DWORD Chunk = Size > 65536 ? 65536 : static_cast<DWORD>(Size);
    if (!WriteFile(Out, Data, Chunk, &Written, nullptr) || Written == 0) return false;
    Data += Written;
    Size -= Written;
  }
  return true;
}

void EndProcess(int Status) {
  std::fflush(stderr);
  std::_Exit(Status);
}
