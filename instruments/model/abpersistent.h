#pragma once

#include <functional>
#include <stdexcept>
#include <string>

// Base of every settings object of the instrument controls (signal settings,
// scale settings, bevels, gradients). It owns one change notification: every
// property setter of a derived class ends in Changed() when it stores a value,
// and the owning control connects OnChange to its own settings hook.
//
// Settings objects are owned by one control and referred to by pointer from
// handlers, so they are not copyable; Assign() copies the published
// properties from another object of the same class through the setters.
class TAbPersistent {
public:
  using TNotifyEvent = std::function<void(TAbPersistent* Sender)>;

  TAbPersistent() = default;
  TAbPersistent(const TAbPersistent&) = delete;
  TAbPersistent& operator=(const TAbPersistent&) = delete;
  virtual ~TAbPersistent();

  // Copies the published properties of source. This base accepts no source:
  // a derived class handles its own class and defers everything else here,
  // which raises EAbAssignError("Cannot assign a <source> to a <this>").
  virtual void Assign(const TAbPersistent& Source);

  // Calls OnChange with this object as sender when a handler is set.
  virtual void Changed();

  // Class name as it appears in the assignment error.
  virtual const char* ClassName() const { return "TAbPersistent"; }

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Handler) { FOnChange = std::move(Handler); }

private:
  TNotifyEvent FOnChange;
};

// Raised by Assign() when the source is of another class. This is the only
// error the settings objects raise; the controls themselves never raise.
class EAbAssignError : public std::runtime_error {
public:
  EAbAssignError(const char* SourceClass, const char* TargetClass);
};
