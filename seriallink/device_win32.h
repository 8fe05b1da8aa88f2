// The Win32 half's seam for tests: how a transfer is cancelled, and how long
// a thread waits for a cancelled transfer to finish.
#pragma once

#include "win32.h"

namespace vacomm_detail {

// Cancels the overlapped transfer of a record (CancelIoEx). Tests replace it
// to play a driver that never finishes a cancel.
using TVaCancelIo = BOOL(WINAPI*)(HANDLE File, LPOVERLAPPED Overlapped);
extern TVaCancelIo VaCancelIo;

// How long the window thread waits for a timed-out read or direct write to
// finish after its cancel; past that the transfer's record and buffer are
// left to the driver and the call returns.
constexpr DWORD VA_WINDOW_CANCEL_WAIT_MS = 1000;
// The same for the worker threads' waits and writes.
constexpr DWORD VA_WORKER_CANCEL_WAIT_MS = 5000;

}  // namespace vacomm_detail
