#include "abcontrol.h"

TAbCustomControl::TAbCustomControl(QWidget* Parent) : QWidget(Parent) {}

void TAbCustomControl::BeginUpdate() { ++FUpdateLock; }

void TAbCustomControl::EndUpdate() {
  if (FUpdateLock == 0) return;
  --FUpdateLock;
  if (FUpdateLock == 0) update();
}

void TAbCustomControl::Loaded() { FLoading = false; }

void TAbCustomControl::RequestSettingsChanged() {
  if (FUpdateLock == 0) SettingsChanged();
}
