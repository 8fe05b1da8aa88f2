// The Win32 half's overlapped transfers when a driver does not finish a
// cancel. The device is the client end of a named pipe (TVaDevice opens any
// path as it stands, and reads and writes on a pipe pend like those on a
// COM port); the cancel is replaced by one that does nothing, which is what
// such a driver looks like from here.
#include "device_win32.h"
#include "vadevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace vacomm_detail;
using namespace std::chrono_literals;

namespace {

BOOL WINAPI CancelThatNeverFinishes(HANDLE, LPOVERLAPPED) { return TRUE; }

// Replaces the cancel for one test.
struct TStuckCancel {
  TStuckCancel() { VaCancelIo = CancelThatNeverFinishes; }
  ~TStuckCancel() { VaCancelIo = CancelIoEx; }
  void Restore() { VaCancelIo = CancelIoEx; }
};

// A named pipe: the test holds the server end, the device is the client.
// The server end is overlapped so that no wait of the test is without limit.
class TPipe {
public:
  explicit TPipe(DWORD BufferSize) {
    static int Serial = 0;
    Name = "\\\\.\\pipe\\seriallink-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++Serial);
    Server = CreateNamedPipeA(Name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                              BufferSize, BufferSize, 0, nullptr);
    Event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~TPipe() {
    if (Server != INVALID_HANDLE_VALUE) CloseHandle(Server);
    CloseHandle(Event);
  }
  std::shared_ptr<TVaDevice> OpenDevice() {
    auto Device = TVaDevice::Open(Name, Name);
    OVERLAPPED Ov = {};
    Ov.hEvent = Event;
    ConnectNamedPipe(Server, &Ov);  // the client is there: connected at once
    return Device;
  }
  void Send(const std::string& Bytes) {
    Finish(WriteFile(Server, Bytes.data(), DWORD(Bytes.size()), nullptr, Start()), 10000);
  }
  // What arrives within Timeout, stopping once Count bytes are in.
  std::string Receive(size_t Count, std::chrono::milliseconds Timeout) {
    std::string Got;
    std::vector<char> Buf(65536);
    const auto End = std::chrono::steady_clock::now() + Timeout;
    while (Got.size() < Count) {
      const auto Left =
          std::chrono::duration_cast<std::chrono::milliseconds>(End - std::chrono::steady_clock::now()).count();
      if (Left <= 0) break;
      const DWORD Want = DWORD(std::min(Buf.size(), Count - Got.size()));  // never past Count
      const DWORD Done = Finish(ReadFile(Server, Buf.data(), Want, nullptr, Start()), DWORD(Left));
      if (Done == 0) break;
      Got.append(Buf.data(), Done);
    }
    return Got;
  }
  std::string Name;
  HANDLE Server = INVALID_HANDLE_VALUE;

private:
  OVERLAPPED* Start() {
    FOv = OVERLAPPED{};
    FOv.hEvent = Event;
    return &FOv;
  }
  // The bytes an overlapped call on the server end moved, waiting for it at
  // most Limit ms (then it is cancelled).
  DWORD Finish(BOOL Ok, DWORD Limit) {
    if (!Ok && GetLastError() != ERROR_IO_PENDING) return 0;
    if (!Ok && WaitForSingleObject(Event, Limit) != WAIT_OBJECT_0) CancelIoEx(Server, &FOv);
    DWORD Done = 0;
    GetOverlappedResult(Server, &FOv, &Done, TRUE);
    return Done;
  }
  HANDLE Event;
  OVERLAPPED FOv = {};
};

// A thread that plays the window or write thread: it lives as long as the
// test, since the system cancels a thread's outstanding transfers when the
// thread ends, which would hide what a stuck driver does. Everything a call
// uses is owned by the call, so a call that never returns leaves nothing
// dangling when the test gives up on it.
class TWorkerThread {
public:
  TWorkerThread() : FState(std::make_shared<TState>()) {
    std::thread([S = FState] {
      for (;;) {
        std::function<void()> Next;
        {
          std::unique_lock<std::mutex> Lock(S->Lock);
          S->Changed.wait(Lock, [&] { return !S->Queue.empty() || S->Ended; });
          if (S->Queue.empty()) return;
          Next = std::move(S->Queue.front());
          S->Queue.pop_front();
        }
        Next();
      }
    }).detach();
  }
  ~TWorkerThread() {
    std::lock_guard<std::mutex> G(FState->Lock);
    FState->Ended = true;
    FState->Changed.notify_all();
  }
  template <typename T>
  std::shared_future<T> Start(std::function<T()> Call) {
    auto Task = std::make_shared<std::packaged_task<T()>>(std::move(Call));
    std::shared_future<T> Done = Task->get_future().share();
    std::lock_guard<std::mutex> G(FState->Lock);
    FState->Queue.push_back([Task] { (*Task)(); });
    FState->Changed.notify_all();
    return Done;
  }
  template <typename T>
  static bool Wait(std::shared_future<T> Done, std::chrono::milliseconds Limit, T& Result) {
    if (Done.wait_for(Limit) != std::future_status::ready) return false;
    Result = Done.get();
    return true;
  }
  // Runs Call on the thread; false if it has not returned within Limit.
  template <typename T>
  bool Run(std::function<T()> Call, std::chrono::milliseconds Limit, T& Result) {
    return Wait(Start(std::move(Call)), Limit, Result);
  }

private:
  struct TState {
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<std::function<void()>> Queue;
    bool Ended = false;
  };
  std::shared_ptr<TState> FState;
};

}  // namespace

TEST(Win32Transfers, ATimedOutReadWhoseCancelNeverFinishesReturnsAndLeavesTheBufferAlone) {
  TPipe Pipe(4096);
  ASSERT_NE(Pipe.Server, INVALID_HANDLE_VALUE);
  auto Device = Pipe.OpenDevice();
  auto IoEvent = std::make_shared<TVaWaitEvent>();
  auto Caller = std::make_shared<std::vector<char>>(16, '#');
  TWorkerThread Window;
  TStuckCancel Stuck;

  // The window thread's read times out after 50 ms; its cancel never
  // finishes, and the call must come back all the same, without bytes.
  int Got = -1;
  const auto Start = std::chrono::steady_clock::now();
  ASSERT_TRUE(
      Window.Run<int>([Device, IoEvent, Caller] { return Device->Read(Caller->data(), 8, 50, *IoEvent); }, 20s, Got))
      << "the read waits for its cancel without a limit";
  EXPECT_EQ(Got, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, 10s);
  Stuck.Restore();

  // The driver still owns the abandoned read and gives it the next bytes:
  // they go to the read's own record, never into the caller's buffer, and
  // the next read has a record of its own.
  Pipe.Send("AB");
  Pipe.Send("CD");
  std::string Next;
  ASSERT_TRUE(Window.Run<std::string>(
      [Device, IoEvent] {
        std::string Text;
        for (int i = 0; i < 40 && Text.find("CD") == std::string::npos; ++i) {
          char Buf[8] = {};
          Text.append(Buf, size_t(Device->Read(Buf, 8, 250, *IoEvent)));
        }
        return Text;
      },
      30s, Next));
  EXPECT_EQ(Next, "CD");
  EXPECT_EQ(std::string(Caller->begin(), Caller->end()), std::string(16, '#'));
  Device->Close();
}

TEST(Win32Transfers, AWriteWhoseCancelNeverFinishesLeavesTheQueueFreeAndTheNextWriteItsOwnRecord) {
  // The pipe takes little at a time, so a large write stays pending until
  // the test reads from the other end.
  TPipe Pipe(64);
  ASSERT_NE(Pipe.Server, INVALID_HANDLE_VALUE);
  auto Device = Pipe.OpenDevice();
  auto Close = std::make_shared<TVaWaitEvent>();
  auto Flush = std::make_shared<TVaWaitEvent>();
  std::shared_ptr<TVaWriter> Writer = Device->CreateWriter(*Close, *Flush);
  const size_t Large = 256 * 1024;
  auto Queue = std::make_shared<std::vector<char>>(Large);
  for (size_t i = 0; i < Large; ++i) (*Queue)[i] = char('a' + i % 26);
  TWorkerThread WriteThread;
  TStuckCancel Stuck;

  struct TResult {
    TVaWriteStatus Status = TVaWriteStatus::Failed;
    int Written = 0, AbortIndex = -1, Error = 0;
  };
  TResult First;
  Flush->Signal();  // the write is given up at once: a flush was asked for
  ASSERT_TRUE(WriteThread.Run<TResult>(
      [Writer, Queue] {
        TResult R;
        R.Status = Writer->Write(Queue->data(), int(Queue->size()), R.Written, R.AbortIndex, R.Error);
        return R;
      },
      30s, First))
      << "the write thread waits for its cancel without a limit";
  Flush->Reset();
  Stuck.Restore();
  ASSERT_EQ(First.Status, TVaWriteStatus::Aborted) << "the write did not stay pending";
  EXPECT_EQ(First.AbortIndex, 1);

  // The write thread reuses its queue at once and writes again, more than
  // the pipe holds; the driver still owns the abandoned transfer and sends
  // what was queued then.
  std::memset(Queue->data(), 'X', Large);
  const size_t More = 128 * 1024;
  auto Second = WriteThread.Start<TResult>([Writer, More] {
    const std::vector<char> Bytes(More, '2');
    TResult R;
    R.Status = Writer->Write(Bytes.data(), int(More), R.Written, R.AbortIndex, R.Error);
    return R;
  });
  // The abandoned transfer ends first: the second write, still under way,
  // must not take its end for its own.
  const std::string Out = Pipe.Receive(Large, 30s);
  ASSERT_EQ(Out.size(), Large);
  EXPECT_EQ(Out.find('X'), std::string::npos) << "the driver read the queue after it was reused";
  const std::string Rest = Pipe.Receive(More, 30s);
  TResult Then;
  ASSERT_TRUE(TWorkerThread::Wait(Second, 30s, Then));
  EXPECT_EQ(Then.Status, TVaWriteStatus::Done);
  EXPECT_EQ(Then.Written, int(More)) << "the second write took the abandoned one's end for its own";
  EXPECT_EQ(Rest, std::string(More, '2'));
  Close->Signal();
  Device->Close();
}
