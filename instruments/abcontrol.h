#pragma once

#include <QWidget>

#include <cstdint>

// Base of the windowed instruments: the update lock, the loading state and
// the settings-changed hook. A control starts in the loading state, while the
// form assigns its stored properties; Loaded() ends it.
class TAbCustomControl : public QWidget {
  Q_OBJECT
public:
  explicit TAbCustomControl(QWidget* Parent = nullptr);

  void BeginUpdate();
  // Never goes below 0; reaching 0 invalidates the whole control.
  void EndUpdate();
  int32_t UpdateLock() const { return FUpdateLock; }

  bool IsLoading() const { return FLoading; }
  // The loading step: called once after the stored properties have been
  // assigned. Derived controls extend it.
  virtual void Loaded();

protected:
  // Whether the control is drawn: a locked control paints nothing.
  bool Locked() const { return FUpdateLock > 0; }
  // Reaction to a change of an owned settings object; nothing here.
  virtual void SettingsChanged() {}
  // Calls SettingsChanged only while the control is not locked.
  virtual void RequestSettingsChanged();

private:
  int32_t FUpdateLock = 0;
  bool FLoading = true;
};
