#include "port_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>

#include <stdexcept>

#include "exception_report.h"
#include "tester_window.h"
#include "window_look.h"

TForm2::TForm2(const std::vector<std::string>& Names) : EndProgram([] { QCoreApplication::quit(); }) {
  setWindowTitle(QStringLiteral("Выбор COM порта"));
  ApplyFormLook(this);
  KeepOuterSize(this, QSize(374, 136));

  // A pick list: no free text, rows of 16 pixels.
  ComboBox1 = new QComboBox(this);
  ComboBox1->setGeometry(16, 16, 345, 22);
  ComboBox1->setEditable(false);
  ComboBox1->setItemDelegate(new TFixedHeightDelegate(16, ComboBox1));
  for (const std::string& Name : Names) ComboBox1->addItem(QString::fromStdString(Name));

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setGeometry(176, 56, 81, 33);
  Button2 = new QPushButton(QStringLiteral("Default"), this);
  Button2->setGeometry(264, 56, 97, 33);
  setTabOrder(ComboBox1, Button1);
  setTabOrder(Button1, Button2);
  connect(Button1, &QPushButton::clicked, this, [this] { RunReported([this] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { RunReported([this] { Button2Click(); }); });

  FormCreate();
}

void TForm2::FormCreate() { ComboBox1->setCurrentIndex(0); }

void TForm2::Button1Click() { OpenPort(ComboBox1->currentText().toStdString()); }

void TForm2::Button2Click() { OpenPort("COM1"); }

void TForm2::OpenPort(const std::string& DeviceName) {
  if (TesterWindow == nullptr) throw std::logic_error("The tester window does not exist");
  TVaComm& Port = TesterWindow->VaComm1;
  Port.SetDeviceName(DeviceName);
  Port.SetUserBaudrate(10400);
  Port.Open();
  TesterWindow->show();
  TesterWindow->activateWindow();
  hide();
}

void TForm2::closeEvent(QCloseEvent* Event) {
  Event->accept();
  if (EndProgram) EndProgram();
}
