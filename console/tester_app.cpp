#include "tester_app.h"

#include <QApplication>
#include <QComboBox>

#include "device_list.h"
#include "port_dialog.h"
#include "tester_window.h"

TTesterApplication::TTesterApplication(const std::optional<std::string>& DeviceArgument) {
  // The dialog decides when the program ends, not the last visible window
  // (the tester window is hidden while the dialog shows, and back again).
  QApplication::setQuitOnLastWindowClosed(false);
  const TPortChoice Choice = ComPortChoice(SerialAdapterNames(), DeviceArgument);
  FForm2 = std::make_unique<TForm2>(Choice.Names);
  FForm2->ComboBox1->setCurrentIndex(Choice.Selected);
  FForm1 = std::make_unique<TForm1>();
  FForm2->SetTesterWindow(FForm1.get());
  FForm1->SetPortDialog(FForm2.get());
}

TTesterApplication::~TTesterApplication() {
  // The tester window goes first: its VaComm1 stops the port's threads and
  // closes the device.
  FForm1.reset();
  FForm2.reset();
}

void TTesterApplication::Show() { FForm2->show(); }
