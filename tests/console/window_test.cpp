// The tester window as it comes up: elements, geometry, texts, start state,
// the variant buttons and the fault code list.
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console_support.h"
#include "fault_codes.h"
#include "numtext.h"
#include "monitor_view.h"
#include "tester_window.h"

namespace {

QLabel* LabelWithText(QWidget* Parent, const QString& Text) {
  for (QLabel* Label : Parent->findChildren<QLabel*>())
    if (Label->text() == Text) return Label;
  return nullptr;
}

}  // namespace

TEST(TesterWindow, NumbersFollowTheLocaleTheSuiteRunsUnder) {
  // Whatever the locale: the separator taken at start is the decimal point
  // that the C library gives for the locale the process runs under (LC_ALL,
  // LC_NUMERIC or LANG; the C locale's point when that one is not
  // installed, a point also for a separator of more than one byte).
  const std::string Previous = std::setlocale(LC_NUMERIC, nullptr);
  const char* Found = std::setlocale(LC_NUMERIC, "");
  const std::string Named = Found != nullptr ? Found : "";
  const std::string Point = std::localeconv()->decimal_point;
  std::setlocale(LC_NUMERIC, Previous.c_str());
  const char Expected = !Named.empty() && Point.size() == 1 ? Point[0] : '.';
  EXPECT_EQ(DecimalSeparator(), Expected) << (Named.empty() ? "(locale not installed)" : Named);

  // The suite is registered under a Russian and a C locale; a Russian run
  // that silently fell back to a point would test nothing new.
  const char* All = std::getenv("LC_ALL");
  const std::string Locale = All != nullptr ? All : "";
  if (Locale.rfind("ru_RU", 0) == 0) {
    EXPECT_EQ(DecimalSeparator(), ',');
  } else if (Locale == "C" || Locale.rfind("C.", 0) == 0 || Locale == "POSIX") {
    EXPECT_EQ(DecimalSeparator(), '.');
  }
}

TEST(TesterWindow, ElementsSitAtTheirPositions) {
  TForm1 Form;
  Form.show();
  EXPECT_EQ(Form.windowTitle(), QStringLiteral("Тестер маршрутного компьютера"));
  // Window and frame together measure the outer size.
  EXPECT_EQ(Form.frameGeometry().size(), QSize(708, 633));
  EXPECT_EQ(Form.font().pixelSize(), 11);

  struct TExpected {
    QWidget* Widget;
    QRect Geometry;
  };
  const TExpected Expected[] = {
      {Form.PageControl1, {8, 24, 689, 569}}, {Form.ToolBar1, {0, 0, 700, 25}},
      {Form.HyundayType1, {29, 2, 85, 21}},   {Form.HyundayType2, {145, 2, 85, 21}},
      {Form.HyundayType3, {265, 2, 85, 21}},  {Form.EditVSS, {232, 8, 57, 21}},
      {Form.EditTOG, {232, 32, 57, 21}},      {Form.EditRPM, {232, 56, 57, 21}},
      {Form.EditATP, {232, 80, 57, 21}},      {Form.EditIMAP, {232, 104, 57, 21}},
      {Form.EditIAT, {232, 128, 57, 21}},     {Form.EditUbat, {232, 152, 57, 21}},
      {Form.EditDv, {232, 176, 57, 21}},      {Form.Edit2, {168, 24, 113, 21}},
      {Form.Edit3, {168, 56, 113, 21}},       {Form.Edit4, {168, 88, 113, 21}},
      {Form.Edit5, {168, 120, 113, 21}},      {Form.Edit6, {504, 24, 113, 21}},
      {Form.Edit7, {504, 56, 113, 21}},       {Form.Edit37, {168, 152, 145, 21}},
      {Form.CheckBox1, {0, 472, 121, 17}},    {Form.CheckBox3, {0, 496, 113, 25}},
      {Form.Memo2, {8, 8, 1225, 113}},
  };
  for (int Tab = 0; Tab < Form.PageControl1->count(); ++Tab) {
    // Lay every tab out, as showing it does.
    Form.PageControl1->setCurrentIndex(Tab);
    QCoreApplication::processEvents();
    for (const TExpected& E : Expected) {
      const bool OnThisTab = E.Widget->parentWidget() == Form.PageControl1->widget(Tab);
      const bool OffTabs = !Form.PageControl1->isAncestorOf(E.Widget);
      if (OnThisTab || (Tab == 0 && OffTabs)) {
        EXPECT_EQ(E.Widget->geometry(), E.Geometry) << E.Widget->metaObject()->className();
      }
    }
  }

  // The monitor runs along the top of its tab, the fault list fills its tab.
  EXPECT_EQ(Form.Memo1->geometry(), QRect(0, 0, Form.TabSheet3->width(), 465));
  EXPECT_EQ(Form.CheckListBox1->geometry(), Form.TabSheet2->rect());
  EXPECT_EQ(Form.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(Form.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

  // Each parameter caption at left 8, eight pixels below its field's top.
  const std::pair<QLineEdit*, const char*> Captions[] = {
      {Form.EditVSS, "Скорость, км/ч"},
      {Form.EditTOG, "Температура охлаждающей жидкости, °С"},
      {Form.EditRPM, "Обороты ДВС, об/мин"},
      {Form.EditATP, "Положение дросселя, %"},
      {Form.EditDv, "Длительность впрыска, мс"},
      {Form.EditIMAP, "Давление воздуха на впуске, кПа"},
      {Form.EditIAT, "Температура воздуна на впуске, °С"},
      {Form.EditUbat, "Напряжение борт.сети, В"},
  };
  for (const auto& [Edit, Caption] : Captions) {
    QLabel* Label = LabelWithText(Form.TabSheet4, QString::fromUtf8(Caption));
    ASSERT_NE(Label, nullptr) << Caption;
    EXPECT_EQ(Label->pos(), QPoint(8, Edit->y() + 8)) << Caption;
  }
  // Each identification caption to the left of its field, not overlapping.
  const std::pair<QLineEdit*, const char*> IdCaptions[] = {
      {Form.Edit2, "Версия ПЗУ:"},
      {Form.Edit3, "Заводской номер ЭБУ:"},
      {Form.Edit4, "Идентификатор двигателя:"},
      {Form.Edit5, "Дата программирования:"},
      {Form.Edit6, "systemSupplierECUHardwareNumber:"},
      {Form.Edit7, "systemSupplierECUSoftwareNumber:"},
      {Form.Edit37, "VIN номер автомобиля:"},
  };
  for (const auto& [Edit, Caption] : IdCaptions) {
    QLabel* Label = LabelWithText(Form.TabSheet6, QString::fromUtf8(Caption));
    ASSERT_NE(Label, nullptr) << Caption;
    EXPECT_LT(Label->geometry().right(), Edit->x()) << Caption;
    EXPECT_GE(Label->x(), 0) << Caption;
    EXPECT_TRUE(Label->geometry().intersects(QRect(0, Edit->y(), 1000, Edit->height()))) << Caption;
  }
}

TEST(TesterWindow, TabsAndChildrenComeInTheirOrder) {
  TForm1 Form;
  const char* Captions[] = {
      "Параметры ЭСУД", "Ошибки ЭСУД", "Расширенные параметры ЭСУД", "Идентификация ЭСУД", "Контроль KWP",
      "О программе",    "Сценарий"};
  QWidget* Sheets[] = {Form.TabSheet1, Form.TabSheet2, Form.TabSheet4, Form.TabSheet6,
                       Form.TabSheet3, Form.TabSheet7, Form.TabSheet8};
  ASSERT_EQ(Form.PageControl1->count(), 7);
  for (int I = 0; I < 7; ++I) {
    EXPECT_EQ(Form.PageControl1->tabText(I), QString::fromUtf8(Captions[I]));
    EXPECT_EQ(Form.PageControl1->widget(I), Sheets[I]);
  }
  EXPECT_EQ(Form.PageControl1->currentIndex(), 0);
  // All seven tabs side by side, none behind scroll arrows.
  Form.show();
  QCoreApplication::processEvents();
  QTabBar* Bar = Form.PageControl1->tabBar();
  EXPECT_LE(Bar->tabRect(6).right(), Form.PageControl1->width());
  for (int I = 0; I < 7; ++I)
    EXPECT_GE(Bar->tabRect(I).width(), Bar->fontMetrics().horizontalAdvance(Bar->tabText(I))) << I;

  // The tool bar is created after the page control and lies over its top
  // pixel row.
  const QObjectList Children = Form.children();
  EXPECT_LT(Children.indexOf(Form.PageControl1), Children.indexOf(Form.ToolBar1));

  // Tab order of the parameter fields: the table's order, not the vertical one.
  QWidget* Order[] = {Form.EditVSS, Form.EditTOG,  Form.EditRPM, Form.EditATP,
                      Form.EditDv,  Form.EditIMAP, Form.EditIAT, Form.EditUbat};
  for (int I = 0; I + 1 < 8; ++I) {
    QWidget* Next = Order[I]->nextInFocusChain();
    while (Next->focusPolicy() == Qt::NoFocus) Next = Next->nextInFocusChain();
    EXPECT_EQ(Next, Order[I + 1]) << I;
  }
  // The variant buttons never take the focus from a field.
  EXPECT_EQ(Form.HyundayType1->focusPolicy(), Qt::NoFocus);
}

TEST(TesterWindow, StartsWithTheStartTextsVariantOneAndNothingTicked) {
  TForm1 Form;
  const char Sep = DecimalSeparator();
  const QString Expected[] = {"0", "20", "0", "0", "0", QString("0") + Sep + "00", "20", QString("12") + Sep + "00"};
  QLineEdit* Fields[] = {Form.EditVSS,  Form.EditTOG, Form.EditRPM, Form.EditATP,
                         Form.EditIMAP, Form.EditDv,  Form.EditIAT, Form.EditUbat};
  for (int I = 0; I < 8; ++I) EXPECT_EQ(Fields[I]->text(), Expected[I]) << I;
  EXPECT_EQ(Form.FieldText(TEcuField::Ubat), Expected[7].toStdString());

  EXPECT_EQ(Form.Edit2->text(), QStringLiteral("111111"));
  EXPECT_EQ(Form.Edit3->text(), QStringLiteral("2112 -1411020-60"));
  EXPECT_EQ(Form.Edit4->text(), QStringLiteral("SAMARA-1.5L, 8V"));
  EXPECT_EQ(Form.Edit5->text(), QStringLiteral("05-07-1996"));
  EXPECT_EQ(Form.Edit6->text(), QStringLiteral("0261123456"));
  EXPECT_EQ(Form.Edit7->text(), QStringLiteral("1411000-00"));
  EXPECT_EQ(Form.Edit37->text(), QStringLiteral("XTA2110498765432109"));

  EXPECT_TRUE(Form.HyundayType1->Indeterminate());
  EXPECT_FALSE(Form.HyundayType2->Indeterminate());
  EXPECT_FALSE(Form.HyundayType3->Indeterminate());
  EXPECT_EQ(Form.ActiveVariant(), 1);
  EXPECT_FALSE(Form.PauseChecked());
  EXPECT_FALSE(Form.NoAnswerChecked());
  EXPECT_FALSE(Form.Emulator.CommunicationActive);
  EXPECT_FALSE(Form.Emulator.RequestPending);
  EXPECT_EQ(Form.Emulator.HeaderLength, 3);
  // The port's stored settings: 10400 baud 8N1 on COM1, no handshake, DTR
  // and RTS off, the read and write time-outs; closed until the dialog opens it.
  EXPECT_FALSE(Form.VaComm1.Active());
  EXPECT_EQ(Form.VaComm1.DeviceName(), "COM1");
  EXPECT_EQ(Form.VaComm1.Baudrate(), brUser);
  EXPECT_EQ(Form.VaComm1.Buffers().ReadTimeout(), 500);
  EXPECT_EQ(Form.VaComm1.Buffers().WriteTimeout(), 5000);
  const TVaDCB Dcb = Form.VaComm1.BuildDCB();
  EXPECT_EQ(Dcb.BaudRate, 10400u);
  EXPECT_EQ(Dcb.ByteSize, 8);
  EXPECT_EQ(Dcb.Parity, 0);
  EXPECT_EQ(Dcb.StopBits, 0);
  EXPECT_EQ(Dcb.fDtrControl, 0);
  EXPECT_EQ(Dcb.fRtsControl, 0);
  EXPECT_FALSE(Dcb.fOutxCtsFlow || Dcb.fOutxDsrFlow || Dcb.fOutX || Dcb.fInX);
  EXPECT_TRUE(static_cast<bool>(Form.VaComm1.OnRxChar()));
  EXPECT_TRUE(Form.isHidden());
  EXPECT_EQ(Form.Memo1->LineCount(), 0);
  EXPECT_TRUE(Form.Memo1->ToPlainText().isEmpty());

  ASSERT_EQ(Form.FaultCodeCount(), 113);
  for (int I = 0; I < 113; ++I) EXPECT_FALSE(Form.FaultCodeChecked(I)) << I;

  // The About text: eight lines.
  const QStringList About = Form.Memo2->toPlainText().split('\n');
  ASSERT_EQ(About.size(), 8);
  EXPECT_EQ(About[0], QStringLiteral("Программа предназначена для тестирования маршрутных компьютеров."));
  EXPECT_EQ(About[1], QStringLiteral("Программа эмулирует диагностический протокол контроллеров ЭСУД "
                                     "автомобилей марки Hyudai."));
  EXPECT_EQ(About[3], QStringLiteral("Версия 1.0 от 30.11.09"));
  EXPECT_TRUE(About[2].isEmpty() && About[4].isEmpty() && About[6].isEmpty());
  EXPECT_FALSE(About[5].isEmpty() || About[7].isEmpty());
}

TEST(TesterWindow, FaultCodeListHoldsTheCodesInListOrder) {
  TForm1 Form;
  ASSERT_EQ(Form.CheckListBox1->count(), FaultCodeItemCount);
  int Repeats = 0;
  for (int I = 0; I < FaultCodeItemCount; ++I) {
    const std::string Text = Form.FaultCodeText(I);
    ASSERT_GE(Text.size(), 6u) << I;
    // Four decimal digits, one blank, then the description (no trailing blank).
    for (int D = 0; D < 4; ++D) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(Text[D]))) << Text;
    EXPECT_EQ(Text[4], ' ') << Text;
    EXPECT_NE(Text[5], ' ') << Text;
    EXPECT_NE(Text.back(), ' ') << Text;
    EXPECT_TRUE(Form.CheckListBox1->item(I)->flags() & Qt::ItemIsUserCheckable);
    // The codes rise through the list, apart from the repeated 0601 and 0603.
    if (I > 0) {
      const std::string Previous = Form.FaultCodeText(I - 1).substr(0, 4);
      EXPECT_LE(Previous, Text.substr(0, 4)) << I;
      if (Previous == Text.substr(0, 4)) ++Repeats;
    }
  }
  EXPECT_EQ(Repeats, 3);  // 0601 twice more, 0603 once more
  EXPECT_EQ(Form.FaultCodeText(0), "0102 Датчик массового расхода воздуха, низкий уровень выходного сигнала");
  EXPECT_EQ(Form.FaultCodeText(35), "0300 Обнаружены случайные или множественные пропуски воспламенения");
  EXPECT_EQ(Form.FaultCodeText(69),
            "0603 Неисправность ОЗУ блока управления (BOSCH M1.5.4,BOSCH M1.5.4+,Январь-5.1.x,VS "
            "5.1 R83, BOSCH M1.5.4N,Январь-5.1,VS 5.1 E2,Январь-7.2)");
  EXPECT_EQ(Form.FaultCodeText(78),
            "1123 Аддитивная составляющая корр. по воздуху состава смеси превышает порог.Состав "
            "\"богатый\"");
  EXPECT_EQ(Form.FaultCodeText(112), "1689 Сбой функционирования памяти ошибок");

  // Rows are 13 pixels high; ticking by mouse and by hand reads back.
  Form.show();
  Form.PageControl1->setCurrentWidget(Form.TabSheet2);
  QCoreApplication::processEvents();
  EXPECT_EQ(Form.CheckListBox1->visualItemRect(Form.CheckListBox1->item(0)).height(), 13);
  // Each check box lies inside its row: no overlap with the rows around it.
  for (int Row : {0, 1, 5}) {
    QListWidgetItem* Item = Form.CheckListBox1->item(Row);
    QStyleOptionViewItem Option;
    Option.initFrom(Form.CheckListBox1->viewport());
    Option.rect = Form.CheckListBox1->visualItemRect(Item);
    Option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    const QRect Check =
        Form.CheckListBox1->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &Option, Form.CheckListBox1);
    EXPECT_TRUE(Option.rect.contains(Check)) << Row;
  }
  // Texts too long for the list are there in full as tool tips.
  int Longest = 0;
  for (int I = 0; I < Form.CheckListBox1->count(); ++I) {
    QListWidgetItem* Item = Form.CheckListBox1->item(I);
    EXPECT_EQ(Item->toolTip(), Item->text().trimmed()) << I;
    Longest = std::max(Longest, Form.CheckListBox1->fontMetrics().horizontalAdvance(Item->text()));
  }
  EXPECT_GT(Longest + 20, Form.CheckListBox1->viewport()->width());
  ClickItemCheck(Form.CheckListBox1, 112);
  EXPECT_TRUE(Form.FaultCodeChecked(112));
  ClickItemCheck(Form.CheckListBox1, 112);
  EXPECT_FALSE(Form.FaultCodeChecked(112));
}

TEST(TesterWindow, VariantButtonsKeepExactlyOneSelected) {
  TForm1 Form;
  Form.show();
  TToolButton* Buttons[] = {Form.HyundayType1, Form.HyundayType2, Form.HyundayType3};
  // Click order: each click leaves only the clicked button set, clicking the
  // selected one again changes nothing.
  const int Clicks[] = {3, 3, 2, 1, 1, 3, 2, 2};
  for (int Variant : Clicks) {
    QTest::mouseClick(Buttons[Variant - 1], Qt::LeftButton);
    for (int B = 0; B < 3; ++B) EXPECT_EQ(Buttons[B]->Indeterminate(), B == Variant - 1) << Variant;
    EXPECT_EQ(Form.ActiveVariant(), Variant);
    EXPECT_FALSE(Buttons[Variant - 1]->isDown());
  }
  // The selected button is the only one whose caption is drawn greyed: its
  // darkest pixel is lighter than the others'.
  const auto Darkest = [](QWidget* W) {
    const QImage Image = W->grab().toImage();
    int Min = 255;
    for (int Y = 0; Y < Image.height(); ++Y)
      for (int X = 0; X < Image.width(); ++X) Min = std::min(Min, qGray(Image.pixel(X, Y)));
    return Min;
  };
  EXPECT_GT(Darkest(Form.HyundayType2), Darkest(Form.HyundayType1) + 40);
  EXPECT_GT(Darkest(Form.HyundayType2), Darkest(Form.HyundayType3) + 40);
}

TEST(TesterWindow, PagesHaveTheButtonFaceOfTheWindow) {
  TForm1 Form;
  Form.show();
  for (QWidget* Page : {Form.TabSheet4, Form.TabSheet6, Form.TabSheet3}) {
    Form.PageControl1->setCurrentWidget(Page);
    QCoreApplication::processEvents();
    // A spot no child covers, the bottom right corner of the page, as the
    // window shows it.
    const QImage Image = Form.grab().toImage();
    const QPoint Spot = Page->mapTo(&Form, QPoint(Page->width() - 3, Page->height() - 3));
    EXPECT_EQ(Image.pixelColor(Spot), Form.palette().color(QPalette::Button)) << Page->objectName().toStdString();
  }
}

TEST(TesterWindow, MonitorKeepsEveryLineAndFollowsTheNewest) {
  // A long session: every line is kept with its text, on another tab and on
  // screen, and the view shows the newest once it has caught up. (What a
  // line costs is measured by monitor_bench and answer_latency_bench.)
  TForm1 Form;
  Form.show();
  Form.PageControl1->setCurrentWidget(Form.TabSheet4);
  QCoreApplication::processEvents();
  for (int I = 0; I < 100000; ++I) Form.AppendMonitorLine(" - >  82 11 F1 21 06 AB");
  Form.PageControl1->setCurrentWidget(Form.TabSheet3);
  QCoreApplication::processEvents();
  for (int I = 0; I < 10000; ++I) Form.AppendMonitorLine(" - >  81 11 F1 3E C1");
  Form.Memo1->Refresh();
  ASSERT_EQ(Form.Memo1->LineCount(), 110000);
  EXPECT_EQ(Form.Memo1->LineText(0), QStringLiteral(" - >  82 11 F1 21 06 AB"));
  EXPECT_EQ(Form.Memo1->LineText(109999), QStringLiteral(" - >  81 11 F1 3E C1"));
  EXPECT_EQ(Form.Memo1->verticalScrollBar()->value(), Form.Memo1->verticalScrollBar()->maximum());
  EXPECT_GT(Form.Memo1->verticalScrollBar()->maximum(), 100000);
}
