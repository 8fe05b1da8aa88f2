#pragma once
// TForm2, the COM port dialog: the program's main window. The operator picks
// the port of the K-line adapter; "OK" opens the selected one, "Default"
// opens COM1, each at 10400 baud, then the tester window takes over. Closing
// the dialog ends the program.

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;
class TForm1;

class TForm2 : public QWidget {
  Q_OBJECT
public:
  // Names: the entries of the port list, in order ("COM1" first).
  explicit TForm2(const std::vector<std::string>& Names);

  // The tester window whose VaComm1 the buttons open.
  void SetTesterWindow(TForm1* Form1) { TesterWindow = Form1; }
  // What ends the program; by default the application's event loop quits.
  void SetOnEndProgram(std::function<void()> Handler) { EndProgram = std::move(Handler); }

  void FormCreate();
  void Button1Click();
  void Button2Click();

  QComboBox* ComboBox1;
  QPushButton* Button1;  // "OK"
  QPushButton* Button2;  // "Default"

protected:
  void closeEvent(QCloseEvent* Event) override;

private:
  // Names the device on VaComm1, sets 10400 baud, opens the port, shows the
  // tester window and hides the dialog. A step that raises ends it there.
  void OpenPort(const std::string& DeviceName);

  TForm1* TesterWindow = nullptr;
  std::function<void()> EndProgram;
};
