#pragma once
// The serial port's synchronous hand-over to the window thread, on Qt's event
// loop: a worker thread posts the call to an object living on the window
// thread and blocks until the window thread has run it (what
// Qt::BlockingQueuedConnection does, plus a clean way out at shutdown).
//
// Calls run in the order in which they were posted, also from the nested
// loops of modal message boxes. After Shutdown (the window that owns the port
// is going away) no call runs any more: calls still waiting are dropped and
// their workers released, later calls return at once. A call made on the
// window thread itself runs directly.

#include "vacomm.h"

#include <memory>

class TQtSynchronizer : public TVaSynchronizer {
public:
  // Must be created on the window thread.
  TQtSynchronizer();
  ~TQtSynchronizer() override;

  void Synchronize(const std::function<void()>& Call) override;

  // Drops every waiting call and refuses new ones. Window thread only; may
  // be called from inside a call (a window closed from the nested loop of a
  // report box).
  void Shutdown();

  // Calls posted by workers that wait to run: neither started nor dropped
  // yet. Any thread; a worker counts from the moment its call is posted.
  int PendingCalls() const;

private:
  struct TState;
  std::shared_ptr<TState> State;
};
