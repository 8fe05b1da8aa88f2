#pragma once
// The control lines of the command-line program: one command a line on
// standard input, each answered with one line. This is the parser: a line
// becomes a command, or the reason why it is none. No Qt.
//
//   set FIELD NUMBER      a value as a number with a point (60, 12.5, -40);
//                         the field gets it as a text with the decimal
//                         separator in use
//   text FIELD [TEXT]     the field's text exactly as given (the rest of the
//                         line, empty included), bad texts included
//   tick CODE | #N        ticks a fault code: the first unticked item with
//                         CODE (four hex digits), or item N of the list
//   untick CODE | #N | all
//   variant 1|2|3
//   pause on|off          "Pause": received bytes are dropped unread
//   noanswer on|off       "Нет ответа": requests are not answered
//   rule JSON             applies a fault rule, written as in a scenario's
//                         "rules", before every other rule
//   rule remove ID | rule clear
//   record start FILE | record stop | record save FILE
//   scenario play|pause|stop
//   events on|off         frames and conversion errors as JSON lines
//   counters | values | help | quit
//
// FIELD is one of VSS TOG RPM ATP IMAP Dv IAT Ubat, in any case. Verbs and
// the words after them are taken in any case too.

#include <cstdint>
#include <optional>
#include <string>

#include "ecu_interfaces.h"
#include "fault_rule.h"

enum class TSimVerb : uint8_t {
  Set,
  Text,
  Tick,
  Untick,
  UntickAll,
  Variant,
  Pause,
  NoAnswer,
  Rule,
  RuleRemove,
  RuleClear,
  RecordStart,
  RecordStop,
  RecordSave,
  ScenarioPlay,
  ScenarioPause,
  ScenarioStop,
  Events,
  Counters,
  Values,
  Help,
  Quit,
};

struct TSimCommand {
  TSimVerb Verb = TSimVerb::Help;
  TEcuField Field = TEcuField::VSS;  // Set, Text
  // Set: the field text the number gives; Text: the text as given;
  // RecordStart, RecordSave: the file.
  std::string Text;
  std::string Code;  // Tick, Untick: four upper-case hex digits, or empty with Item
  int Item = 0;      // Tick, Untick: item number 1.. (#N); Variant: 1..3
  bool On = false;   // Pause, NoAnswer, Events
  uint64_t Id = 0;   // RuleRemove
  TFaultRule Rule;   // Rule
};

struct TSimParse {
  std::optional<TSimCommand> Command;
  std::string Error;  // what is wrong with the line when there is no command
};

// Parses one line (without its line end). Separator is the decimal
// separator the emulator reads field texts with.
TSimParse ParseSimCommand(const std::string& Line, char Separator);

// A number written with a point ("60", "12.5", "-40", "+0.75") as a field
// text with Separator ("12,5"); none for anything else (no exponent, no
// comma, no blanks).
std::optional<std::string> NumberFieldText(const std::string& Number, char Separator);

// VSS TOG RPM ATP IMAP Dv IAT Ubat, in any case.
std::optional<TEcuField> FieldFromAnyCase(const std::string& Name);

// One line naming the commands, for "help" and the error of an unknown one.
extern const char* const SimCommandList;
