#include "sim_loop.h"

#include <thread>

// Shared with the writing thread, which may outlive the output.
struct TLineOutput::TState {
  TWriter Writer;
  size_t MaxQueued = 0;
  std::mutex Lock;
  std::condition_variable Changed;
  std::deque<std::string> Queue;  // each with its line end
  size_t QueuedBytes = 0;
  bool Writing = false;  // a line taken from the queue is being written
  bool Stopped = false;
  bool Gone = false;
  uint64_t Dropped = 0;
  uint64_t DroppedShown = 0;

  void Body() {
    std::unique_lock<std::mutex> Guard(Lock);
    for (;;) {
      Changed.wait(Guard, [this] { return !Queue.empty() || Stopped; });
      if (Queue.empty()) return;
      std::string Line = std::move(Queue.front());
      Queue.pop_front();
      QueuedBytes -= Line.size();
      // Once the queue has emptied after lines were dropped, a line says how
      // many went missing.
      if (Queue.empty() && Dropped > DroppedShown && !Gone) {
        Line += "{\"event\":\"output\",\"dropped_lines\":" + std::to_string(Dropped) + "}\n";
        DroppedShown = Dropped;
      }
      Writing = true;
      Guard.unlock();
      const bool Written = Writer(Line.data(), Line.size());
      Guard.lock();
      Writing = false;
      if (!Written && !Gone) {
        Gone = true;
        Dropped += Queue.size();
        Queue.clear();
        QueuedBytes = 0;
      }
      Changed.notify_all();
    }
  }
};

TLineOutput::TLineOutput(TWriter Writer, size_t MaxQueuedBytes) : FState(std::make_shared<TState>()) {
  FState->Writer = std::move(Writer);
  FState->MaxQueued = MaxQueuedBytes;
  std::thread([State = FState] { State->Body(); }).detach();
}

TLineOutput::~TLineOutput() {
  std::lock_guard<std::mutex> Guard(FState->Lock);
  FState->Stopped = true;
  FState->Changed.notify_all();
}

void TLineOutput::Write(std::string Line) {
  Line += '\n';
  std::lock_guard<std::mutex> Guard(FState->Lock);
  if (FState->Gone || FState->QueuedBytes + Line.size() > FState->MaxQueued) {
    ++FState->Dropped;
    return;
  }
  FState->QueuedBytes += Line.size();
  FState->Queue.push_back(std::move(Line));
  FState->Changed.notify_all();
}

bool TLineOutput::Flush(std::chrono::milliseconds Timeout) {
  std::unique_lock<std::mutex> Guard(FState->Lock);
  return FState->Changed.wait_for(Guard, Timeout,
                                  [this] { return FState->Gone || (FState->Queue.empty() && !FState->Writing); });
}

uint64_t TLineOutput::DroppedLines() const {
  std::lock_guard<std::mutex> Guard(FState->Lock);
  return FState->Dropped;
}

bool TLineOutput::ReaderGone() const {
  std::lock_guard<std::mutex> Guard(FState->Lock);
  return FState->Gone;
}
