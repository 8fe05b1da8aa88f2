// The virtual trip computer's window: its display follows the client, in
// the texts a driver reads. The client runs on the simulated line of the
// trip client's tests (sim_line.h), which sets a comma separator.
#include <QApplication>

#include <gtest/gtest.h>

#include "fault_codes.h"
#include "sim_line.h"
#include "trip_window.h"

using F = TTripWindow::TField;

TEST(TripWindow, DisplayFollowsTheClient) {
  TSimLine L;
  const std::pair<TEcuField, const char*> Fields[] = {{TEcuField::VSS, "60"},
                                                      {TEcuField::RPM, "2345"},
                                                      {TEcuField::TOG, "93"},
                                                      {TEcuField::Ubat, "13,70"},
                                                      {TEcuField::Dv, "4,25"}};
  for (const auto& [Field, Text] : Fields) L.Unit.Panel.Fields[Field] = Text;
  L.Unit.Panel.Faults = {{FaultCodeItems[0], true}, {FaultCodeItems[1], false}, {FaultCodeItems[66], true}};
  TTripWindow W({"COM1"}, 0);
  W.Display(L.Client, L.Now);
  EXPECT_EQ(W.LinkText(), QStringLiteral("Отключено"));
  EXPECT_EQ(W.FieldText(F::Speed), QStringLiteral("—"));
  EXPECT_EQ(W.FieldText(F::Instant), QStringLiteral("—"));
  EXPECT_EQ(W.FaultTexts(), QStringList{QStringLiteral("—")});

  L.Start();
  ASSERT_TRUE(L.RunFor(2000 * Ms, [&] { return L.Client.RecordsTaken(6) == 1; }));
  const int64_t End = L.Client.ValueTimeUs(TLiveQuantity::Speed) + 60000 * Ms;
  L.Run(End);
  W.Display(L.Client, End);
  // 13,70 V travels as 195 counts of 17.9/255 V: 13,69. Fuel: 4,25 ms as
  // 1592 counts of 175/65535 ms = 4,2513 ms; 4 x 200 cm3/min x 2345 rpm x
  // 4,2513 ms = 3,988 l/h, 6,65 l/100 km at 60 km/h; 0,066 l in the minute.
  EXPECT_EQ(W.FieldText(F::Speed), QStringLiteral("60"));
  EXPECT_EQ(W.FieldText(F::EngineSpeed), QStringLiteral("2345"));
  EXPECT_EQ(W.FieldText(F::Coolant), QStringLiteral("93"));
  EXPECT_EQ(W.FieldText(F::Voltage), QStringLiteral("13,7"));
  EXPECT_EQ(W.FieldText(F::Instant), QStringLiteral("6,6"));
  EXPECT_EQ(W.InstantUnitText(), QStringLiteral("л/100 км"));
  EXPECT_EQ(W.FieldText(F::Average), QStringLiteral("6,6"));
  EXPECT_EQ(W.FieldText(F::Distance), QStringLiteral("1,00"));
  EXPECT_EQ(W.FieldText(F::TripTime), QStringLiteral("0:01:00"));
  EXPECT_EQ(W.FieldText(F::FuelUsed), QStringLiteral("0,07"));
  EXPECT_EQ(W.LinkText(), QStringLiteral("Связь есть"));
  EXPECT_EQ(W.CountersText(), QStringLiteral("Запросов: %1   Ответов: %1   Повторов: 0").arg(L.Sent.size()));
  const QStringList Faults = W.FaultTexts();
  ASSERT_EQ(Faults.size(), 2);
  EXPECT_EQ(Faults[0], QStringLiteral("0102 Датчик массового расхода воздуха, низкий уровень выходного сигнала"));
  // Three items of the list share 0601: all three descriptions.
  EXPECT_TRUE(Faults[1].startsWith(QStringLiteral("0601 Нет связи с иммобилизатором")));
  EXPECT_EQ(Faults[1].count(QStringLiteral(" / ")), 2);

  // Standing: litres an hour; a new trip shows nothing yet.
  L.Unit.Panel.Fields[TEcuField::VSS] = "0";
  L.Client.ResetTrip();
  L.RunFor(1000 * Ms);
  W.Display(L.Client, L.Now);
  EXPECT_EQ(W.FieldText(F::Instant), QStringLiteral("4,0"));
  EXPECT_EQ(W.InstantUnitText(), QStringLiteral("л/ч"));
  L.Client.ResetTrip();
  W.Display(L.Client, L.Now);
  EXPECT_EQ(W.FieldText(F::Distance), QStringLiteral("—"));
  // The unit stops answering.
  L.Unplugged = true;
  L.RunFor(1000 * Ms);
  W.Display(L.Client, L.Now);
  EXPECT_EQ(W.LinkText(), QStringLiteral("Нет ответа"));
}

TEST(TripWindow, TripTimeInHoursMinutesSeconds) {
  EXPECT_EQ(TripTimeText(0), QStringLiteral("0:00:00"));
  EXPECT_EQ(TripTimeText(59.9), QStringLiteral("0:00:59"));
  EXPECT_EQ(TripTimeText(3723), QStringLiteral("1:02:03"));
  EXPECT_EQ(TripTimeText(360000), QStringLiteral("100:00:00"));
  EXPECT_EQ(FaultCodeDescription(0x9999), QStringLiteral("неизвестная ошибка"));
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
