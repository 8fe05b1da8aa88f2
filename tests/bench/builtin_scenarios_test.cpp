// The built-in scenarios: they read without a message, the display sweep
// covers every gauge one at a time, the NEDC speed profile is the one of the
// regulation (against the table in ../shared/drive-cycles/nedc.csv) with the
// engine model's figures, and the bad line has every fault action once.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "builtin_scenarios.h"
#include "fault_engine.h"

namespace {

TScenario Builtin(const std::string& Name) {
  TScenarioLoad Load = LoadBuiltinScenario(Name);
  EXPECT_TRUE(Load.Errors.empty()) << Name << ": " << Load.Errors.at(0).Text;
  EXPECT_TRUE(Load.Warnings.empty()) << Name << ": " << Load.Warnings.at(0).Text;
  return Load.Scenario ? *Load.Scenario : TScenario{};
}

double At(const TScenario& S, TEcuField Field, double TimeS) { return S.Track(Field)->ValueAt(TimeS); }

TEST(BuiltinScenarios, AllReadWithoutAMessage) {
  const std::vector<std::string> Names = BuiltinScenarioNames();
  ASSERT_EQ(Names, (std::vector<std::string>{"Проверка шкал", "NEDC", "Плохая линия"}));
  for (const std::string& Name : Names) {
    SCOPED_TRACE(Name);
    const TScenario S = Builtin(Name);
    EXPECT_EQ(S.Name, Name);
    EXPECT_GT(S.PassMs(), 0);
  }
  EXPECT_FALSE(BuiltinScenarioText("nedc"));
  const TScenarioLoad Unknown = LoadBuiltinScenario("nedc");
  ASSERT_EQ(Unknown.Errors.size(), 1u);
  EXPECT_EQ(Unknown.Errors[0].Text, "нет встроенного сценария \"nedc\"");
}

TEST(BuiltinScenarios, SweepCoversEachGaugeInTurnWhileTheOthersRest) {
  const TScenario S = Builtin(BuiltinSweepName);
  EXPECT_EQ(S.PassMs(), 186000);
  std::array<double, EcuFieldCount> Rest{}, Low{}, High{};
  std::array<std::set<double>, EcuFieldCount> Seen;
  for (int I = 0; I < EcuFieldCount; ++I) {
    const auto F = static_cast<TEcuField>(I);
    ASSERT_TRUE(S.Track(F)) << FieldName(F);
    Rest[I] = At(S, F, 0);
    Low[I] = High[I] = Rest[I];
  }
  int Previous = -1;  // the quantity that swept last
  for (int Ms = 0; Ms <= S.PassMs() + 1000; Ms += 250) {
    int Moving = -1;
    for (int I = 0; I < EcuFieldCount; ++I) {
      const double V = At(S, static_cast<TEcuField>(I), Ms / 1000.0);
      Low[I] = std::min(Low[I], V);
      High[I] = std::max(High[I], V);
      Seen[I].insert(V);
      if (V != Rest[I]) {
        EXPECT_EQ(Moving, -1) << "two quantities away from rest at " << Ms << " ms";
        Moving = I;
      }
    }
    if (Moving != -1) {
      EXPECT_GE(Moving, Previous) << "in order, one after another";
      Previous = Moving;
    }
  }
  for (int I = 0; I < EcuFieldCount; ++I) {
    const auto F = static_cast<TEcuField>(I);
    EXPECT_EQ(Low[I], GaugeRange(F).From) << FieldName(F);
    EXPECT_EQ(High[I], GaugeRange(F).To) << FieldName(F);
    EXPECT_GE(Seen[I].size(), 11u) << FieldName(F) << ": at least ten steps";
    EXPECT_EQ(S.Track(F)->Sweep.DwellS, 2) << FieldName(F);
    EXPECT_EQ(At(S, F, S.PassMs() / 1000.0), Rest[I]) << FieldName(F) << " back at rest at the end";
  }
}

// The NEDC table beside the repository: (time s, speed km/h) points.
std::vector<std::pair<double, double>> ReadNedcCsv() {
  const std::string Path = std::string(TESTER_SHARED_DIR) + "/drive-cycles/nedc.csv";
  std::ifstream In(Path);
  EXPECT_TRUE(In.is_open()) << "the NEDC table is missing: " << Path;
  std::vector<std::pair<double, double>> Points;
  std::string Line;
  while (std::getline(In, Line)) {
    if (Line.empty() || Line[0] == '#' || Line.rfind("time_s", 0) == 0) continue;
    std::istringstream Fields(Line);
    double T = 0, V = 0;
    char Comma = 0;
    Fields >> T >> Comma >> V;
    EXPECT_TRUE(Fields && Comma == ',') << Line;
    Points.emplace_back(T, V);
  }
  return Points;
}

double CsvSpeedAt(const std::vector<std::pair<double, double>>& P, double T) {
  for (size_t I = 1; I < P.size(); ++I) {
    if (T <= P[I].first) {
      const auto& [T0, V0] = P[I - 1];
      const auto& [T1, V1] = P[I];
      return V0 + (V1 - V0) * (T - T0) / (T1 - T0);
    }
  }
  return P.back().second;
}

TEST(BuiltinScenarios, NedcSpeedIsTheRegulationsProfile) {
  const auto Csv = ReadNedcCsv();
  ASSERT_GT(Csv.size(), 100u) << "the NEDC table could not be read";
  const TScenario S = Builtin(BuiltinNedcName);
  ASSERT_TRUE(S.Track(TEcuField::VSS));
  EXPECT_EQ(S.PassMs(), 1180000);
  EXPECT_EQ(Csv.back().first, 1180);
  double DistanceKm = 0;
  for (int T = 0; T <= 1180; ++T) {
    ASSERT_NEAR(At(S, TEcuField::VSS, T), CsvSpeedAt(Csv, T), 1e-9) << "at " << T << " s";
    // Linear between whole seconds: each second adds its mean speed.
    if (T > 0) DistanceKm += (At(S, TEcuField::VSS, T - 1) + At(S, TEcuField::VSS, T)) / 2 / 3600;
  }
  EXPECT_NEAR(DistanceKm, 11.028, 0.01);
  // Four identical urban parts of 195 s.
  for (int T = 0; T < 195; ++T) {
    for (int Part = 1; Part < 4; ++Part) ASSERT_EQ(At(S, TEcuField::VSS, T), At(S, TEcuField::VSS, T + 195 * Part));
  }
}

TEST(BuiltinScenarios, NedcEngineFollowsTheGearAndLoadModel) {
  const TScenario S = Builtin(BuiltinNedcName);
  for (TEcuField F : {TEcuField::RPM, TEcuField::Dv, TEcuField::ATP, TEcuField::IMAP}) ASSERT_TRUE(S.Track(F));
  struct TCase {
    const char* What;
    double TimeS;
    double Rpm;
    double Dv;  // < 0: more than idle's 2.5 ms, worked out below
  };
  // rpm = km/h x the gear's constant (120, 65, 43, 32, 26), at least 800.
  for (const TCase& C : std::vector<TCase>{
           {"idle at the start", 5, 800, 2.5},
           {"declutched to a stop", 26, 800, 2.5},
           {"first gear, 15 km/h steady", 19, 15 * 120, -1},
           {"gear change to second at 15 km/h", 54, 15 * 65, 2.5},
           {"second gear, 32 km/h steady", 70, 32 * 65, -1},
           {"third gear, 50 km/h steady", 150, 50 * 43, -1},
           {"overrun, 50 to 35 km/h in third", 158, 44.375 * 43, 0},  // 50 - 15 x 3/8 km/h at 158 s
           {"fifth gear, 120 km/h", 1120, 120 * 26, -1},
           {"fourth gear, 50 km/h steady", 950, 50 * 32, -1},
           {"overrun, 120 to 80 km/h in fifth", 1130, 110 * 26, 0},
           {"idle at the end", 1180, 800, 2.5},
       }) {
    SCOPED_TRACE(C.What);
    EXPECT_NEAR(At(S, TEcuField::RPM, C.TimeS), C.Rpm, 0.5);
    const double Dv = At(S, TEcuField::Dv, C.TimeS);
    if (C.Dv >= 0) {
      EXPECT_NEAR(Dv, C.Dv, 1e-9);
    } else {
      EXPECT_GT(Dv, 2.5);
    }
    if (Dv <= 2.5) {
      EXPECT_EQ(At(S, TEcuField::ATP, C.TimeS), 0) << "throttle closed";
    }
  }
  // Pulling away in first gear at 0.83 m/s^2 (49 s, 0 km/h, clutch
  // slipping at idle speed): F = 1250 x 0.8333 + 110 = 1151.7 N; torque
  // 1151.7 x 0.3 / (120 / 8.842) = 25.46 N m; load 25.46 / 130 = 0.1958;
  // Dv = 2.5 + 7.5 x 0.1958 = 3.97 ms, ATP 19.6 %, IMAP 30 + 70 x 0.1958 = 43.7.
  EXPECT_NEAR(At(S, TEcuField::RPM, 49), 800, 0.5);
  EXPECT_NEAR(At(S, TEcuField::Dv, 49), 3.97, 0.006);
  EXPECT_NEAR(At(S, TEcuField::ATP, 49), 19.6, 0.06);
  EXPECT_NEAR(At(S, TEcuField::IMAP, 49), 43.7, 0.06);
  // Accelerating takes more fuel than holding the same speed in the gear.
  EXPECT_GT(At(S, TEcuField::Dv, 140), At(S, TEcuField::Dv, 150));
  // The values stay inside the gauges everywhere.
  for (int T = 0; T <= 1180; ++T) {
    for (int I = 0; I < EcuFieldCount; ++I) {
      const auto F = static_cast<TEcuField>(I);
      const double V = At(S, F, T);
      ASSERT_GE(V, GaugeRange(F).From) << FieldName(F) << " at " << T;
      ASSERT_LE(V, GaugeRange(F).To) << FieldName(F) << " at " << T;
    }
  }
  EXPECT_EQ(At(S, TEcuField::TOG, 600), 90);
  EXPECT_EQ(At(S, TEcuField::IAT, 600), 25);
  EXPECT_EQ(At(S, TEcuField::Ubat, 600), 14);
}

TEST(BuiltinScenarios, BadLineHasEveryFaultActionOnceInTurn) {
  const TScenario S = Builtin(BuiltinBadLineName);
  std::map<TFaultAction, int> Actions;
  std::set<uint8_t> Codes;
  int64_t LastEnd = 0;
  for (const TFaultRule& R : S.Rules) {
    ++Actions[R.Action];
    if (R.Action == TFaultAction::Negative) {
      EXPECT_TRUE(Codes.insert(R.NegativeCode).second) << "code " << int(R.NegativeCode) << " twice";
    }
    ASSERT_TRUE(R.FromMs && R.ToMs) << "every rule in a window";
    EXPECT_GE(*R.FromMs, LastEnd) << "windows one after another";
    LastEnd = *R.ToMs;
    EXPECT_FALSE(R.Name.empty());
    EXPECT_EQ(CheckFaultRule(R), "") << "the fault engine takes the rule";
  }
  EXPECT_LE(LastEnd, S.PassMs());
  for (TFaultAction A : {TFaultAction::NoAnswer, TFaultAction::Late, TFaultAction::BadChecksum, TFaultAction::Cut,
                         TFaultAction::Silent}) {
    EXPECT_EQ(Actions[A], 1) << int(A);
  }
  EXPECT_EQ(Codes, (std::set<uint8_t>{0x10, 0x11, 0x12, 0x21, 0x22, 0x31, 0x78}));
  // Steady values all through.
  for (int I = 0; I < EcuFieldCount; ++I) {
    const auto F = static_cast<TEcuField>(I);
    ASSERT_TRUE(S.Track(F)) << FieldName(F);
    EXPECT_EQ(At(S, F, 0), At(S, F, S.PassMs() / 2000.0)) << FieldName(F);
  }
}

}  // namespace
