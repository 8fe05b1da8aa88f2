#pragma once
// The command line of the command-line program and its JSON start file.
// No Qt.
//
// A start file sets the unit's state before the port opens:
//
//   {"variant": 2,
//    "values": {"VSS": 60, "Ubat": 12.5, "TOG": "20,5"},
//    "faults": ["0102", "0300", "#67"],
//    "pause": false, "no_answer": false}
//
// A value given as a JSON number becomes the field's text with the decimal
// separator in use, whatever the locale; a string is the field's text as it
// stands (so a text the emulator refuses reaches it unchanged). Every key is
// optional; unknown keys are errors. Options given on the command line come
// after the start file: a --set or --text replaces its value, a --fault
// ticks one more item.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ecu_interfaces.h"
#include "sim_session.h"

struct TSimFieldText {
  TEcuField Field = TEcuField::VSS;
  std::string Text;
};

// The unit's state to set before the port opens.
struct TSimStartState {
  std::optional<int> Variant;
  std::vector<TSimFieldText> Fields;  // in the order given
  std::vector<std::string> Faults;    // codes ("0102") or item numbers ("#67")
  std::optional<bool> Pause;
  std::optional<bool> NoAnswer;
};

struct TSimOptions {
  bool Help = false;
  bool ListFaults = false;
  std::string Device;
  TSimStartState Start;  // the start file with the command line's options after it
  std::optional<std::string> Scenario;
  double Speed = 1;
  std::optional<std::string> Record;
  bool Events = false;
  std::optional<double> DurationS;
  bool ReadInput = true;
  std::optional<char> Separator;
  TSimChecks Checks;
};

struct TSimOptionsParse {
  TSimOptions Options;
  std::string Error;  // empty when the command line is good
};

// Args without the program name. Separator: the decimal separator in use,
// unless --decimal-separator names another. A start file is read here.
TSimOptionsParse ParseSimOptions(const std::vector<std::string>& Args, char Separator);

// Reads a start file's JSON text; Error tells what is wrong.
TSimStartState ParseStartState(const std::string& Json, char Separator, std::string& Error);

// Sets the state on the session's panel (through its commands, so that the
// run's record notes it); returns what is wrong, empty on success.
std::string ApplyStartState(TSimSession& Session, const TSimStartState& Start);

// The --help text.
std::string SimUsage(const std::string& Program);
