#pragma once
// The virtual trip computer's window: what a trip computer of this kind
// shows on its display, read from the engine control unit (or the tester
// playing one) over the K-line with the KWP2000 client of tripclient.
//
// Top: the port, the unit variant to poll, connect / disconnect and the
// reset of the trip. Middle: the display, large light digits on black:
// speed, engine speed, coolant temperature, supply voltage, instantaneous
// and average consumption, distance, trip time, fuel used. Below it the
// fault codes with the descriptions of the tester's list, and the link
// indicator (init, connected, retrying, no answer) with the counts of
// requests, answers and retries.
//
// The port's hand-over runs on this window's thread; the client's deadlines
// are kept by a single-shot timer, the display is refreshed five times a
// second (the trip time runs on between answers). A device that goes away
// is closed and opened again by a TVaPortKeeper; the client's re-init then
// finds the unit.

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "kwp_client.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;
class TQtSynchronizer;
class TTripClient;
class TVaComm;
class TVaPortKeeper;

// Trip time as the display shows it: hours, minutes and seconds, "1:02:03".
QString TripTimeText(double Seconds);
// The descriptions that the tester's fault code list gives a code (several
// items share a code), joined by " / "; "неизвестная ошибка" when none.
QString FaultCodeDescription(uint16_t Code);
// The link indicator's text for a state.
QString LinkStateText(TKwpLinkState State);

class TTripWindow : public QWidget {
  Q_OBJECT
public:
  // Ports: the entries of the port list; Selected is chosen at start.
  TTripWindow(const std::vector<std::string>& Ports, int Selected, QWidget* Parent = nullptr);
  ~TTripWindow() override;

  // Opens the selected port and starts the client (what "Подключить" does);
  // a port that cannot be opened goes to the standard exception report.
  void Connect();
  void Disconnect();
  void SelectVariant(int Variant);

  // Shows what Client holds, its trip read at NowUs.
  void Display(const TKwpClient& Client, int64_t NowUs);

  TTripClient& Trip() { return *FTrip; }
  // The texts on show, for tests and the self-test.
  enum class TField { Speed, EngineSpeed, Coolant, Voltage, Instant, Average, Distance, TripTime, FuelUsed, Count };
  QString FieldText(TField Field) const;
  QString InstantUnitText() const;
  QString LinkText() const;
  QString CountersText() const;
  QStringList FaultTexts() const;

private:
  void BuildControls();
  QWidget* BuildDisplay();
  void Refresh();
  void Schedule();

  std::shared_ptr<TQtSynchronizer> FSync;
  std::unique_ptr<TVaComm> FComm;
  std::unique_ptr<TTripClient> FTrip;
  std::unique_ptr<TVaPortKeeper> FKeeper;
  QTimer* FDeadline = nullptr;
  QTimer* FRefresh = nullptr;

  QComboBox* FPort = nullptr;
  QComboBox* FVariant = nullptr;
  QPushButton* FConnect = nullptr;
  QPushButton* FResetTrip = nullptr;
  QLabel* FFields[static_cast<int>(TField::Count)] = {};
  QLabel* FInstantUnit = nullptr;
  QLabel* FLamp = nullptr;
  QLabel* FLink = nullptr;
  QLabel* FCounters = nullptr;
  QLabel* FPortState = nullptr;
  QListWidget* FFaults = nullptr;
};
