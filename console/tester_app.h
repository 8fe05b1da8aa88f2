#pragma once
// Start-up of the tester: the COM port dialog is created first and is the
// program's main window; the tester window is created right after it,
// hidden, with its port closed. The program ends when the dialog closes
// (directly, or through the tester window's FormClose); destroying the
// tester window then closes the port.

#include <memory>
#include <optional>
#include <string>

class TForm1;
class TForm2;

class TTesterApplication {
public:
  // DeviceArgument: a device named on the command line, added to the
  // dialog's list and selected.
  explicit TTesterApplication(const std::optional<std::string>& DeviceArgument = std::nullopt);
  ~TTesterApplication();

  // Shows the main window, the dialog.
  void Show();

  TForm2& Form2() { return *FForm2; }
  TForm1& Form1() { return *FForm1; }

private:
  std::unique_ptr<TForm2> FForm2;
  std::unique_ptr<TForm1> FForm1;
};
