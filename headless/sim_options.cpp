#include "sim_options.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fault_codes.h"
#include "sim_commands.h"

namespace {

// Members in the order of the file.
using TJson = nlohmann::ordered_json;

std::optional<double> PointNumber(const std::string& Text) {
  double Value = 0;
  const char* End = Text.data() + Text.size();
  const auto Result = std::from_chars(Text.data(), End, Value, std::chars_format::fixed);
  if (Text.empty() || Result.ec != std::errc() || Result.ptr != End || !std::isfinite(Value)) return std::nullopt;
  return Value;
}

// "FIELD=VALUE" of --set and --text.
bool SplitAssignment(const std::string& Text, TEcuField& Field, std::string& Value) {
  const size_t Equals = Text.find('=');
  if (Equals == std::string::npos) return false;
  const auto F = FieldFromAnyCase(Text.substr(0, Equals));
  if (!F) return false;
  Field = *F;
  Value = Text.substr(Equals + 1);
  return true;
}

bool ValidFault(const std::string& Fault) {
  // A command's syntax, so that the start file, the options and the
  // commands take the same forms.
  return ParseSimCommand("tick " + Fault, '.').Command.has_value();
}

std::string ReadFile(const std::string& Path, std::string& Error) {
  std::ifstream In(std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(Path.data()), Path.size())),
                   std::ios::binary);
  if (!In) {
    Error = "cannot read the start file " + Path;
    return {};
  }
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

// The text of a JSON number: its shortest form that reads back the same,
// with a point, then as a field text.
std::optional<std::string> NumberText(const TJson& J, char Separator) {
  if (J.is_number_integer()) return J.dump();
  const double Value = J.get<double>();
  char Buffer[400];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::fixed);
  if (Result.ec != std::errc()) return std::nullopt;
  return NumberFieldText(std::string(Buffer, Result.ptr), Separator);
}

}  // namespace

TSimStartState ParseStartState(const std::string& Json, char Separator, std::string& Error) {
  TSimStartState Start;
  TJson Root;
  try {
    Root = TJson::parse(Json);
  } catch (const TJson::exception& E) {
    Error = std::string("not JSON: ") + E.what();
    return Start;
  }
  if (!Root.is_object()) {
    Error = "expected a JSON object {...}";
    return Start;
  }
  for (auto It = Root.begin(); It != Root.end(); ++It) {
    const std::string& Key = It.key();
    const TJson& V = It.value();
    if (Key == "variant") {
      if (!V.is_number_integer() || V.get<int64_t>() < 1 || V.get<int64_t>() > 3) {
        Error = "\"variant\": expected 1, 2 or 3, found " + V.dump();
        return Start;
      }
      Start.Variant = V.get<int>();
    } else if (Key == "values") {
      if (!V.is_object()) {
        Error = "\"values\": expected an object {\"VSS\": 60, ...}, found " + V.dump();
        return Start;
      }
      for (auto F = V.begin(); F != V.end(); ++F) {
        const auto Field = FieldFromAnyCase(F.key());
        if (!Field) {
          Error = "\"values\": unknown field \"" + F.key() + "\"; fields: VSS TOG RPM ATP IMAP Dv IAT Ubat";
          return Start;
        }
        std::optional<std::string> Text;
        if (F.value().is_string()) Text = F.value().get<std::string>();
        else if (F.value().is_number()) Text = NumberText(F.value(), Separator);
        if (!Text) {
          Error = "\"values\": " + F.key() + ": expected a number or a text, found " + F.value().dump();
          return Start;
        }
        Start.Fields.push_back({*Field, *Text});
      }
    } else if (Key == "faults") {
      if (!V.is_array()) {
        Error = "\"faults\": expected an array of codes [\"0102\", ...], found " + V.dump();
        return Start;
      }
      for (const TJson& Fault : V) {
        if (!Fault.is_string() || !ValidFault(Fault.get<std::string>())) {
          Error =
              "\"faults\": expected a code of four hex digits (\"0102\") or an item (\"#67\"), found " + Fault.dump();
          return Start;
        }
        Start.Faults.push_back(Fault.get<std::string>());
      }
    } else if (Key == "pause" || Key == "no_answer") {
      if (!V.is_boolean()) {
        Error = "\"" + Key + "\": expected true or false, found " + V.dump();
        return Start;
      }
      (Key == "pause" ? Start.Pause : Start.NoAnswer) = V.get<bool>();
    } else {
      Error = "unknown key \"" + Key + "\"; keys: variant, values, faults, pause, no_answer";
      return Start;
    }
  }
  return Start;
}

TSimOptionsParse ParseSimOptions(const std::vector<std::string>& Args, char Separator) {
  TSimOptionsParse P;
  TSimOptions& O = P.Options;
  std::optional<std::string> StartFile;
  // The command line's values: after the start file's, converted once the
  // decimal separator is known.
  struct TPending {
    TEcuField Field;
    std::string Value;
    bool IsNumber;
  };
  std::vector<TPending> Values;
  std::vector<std::string> Faults;
  std::optional<int> Variant;
  std::optional<bool> Pause, NoAnswer;

  for (size_t I = 0; I < Args.size(); ++I) {
    std::string Name = Args[I];
    std::optional<std::string> Inline;
    if (Name.rfind("--", 0) == 0 && Name.find('=') != std::string::npos) {
      Inline = Name.substr(Name.find('=') + 1);
      Name = Name.substr(0, Name.find('='));
    }
    // The option's value: after "=", or the next argument.
    const auto Value = [&](std::string& Out) {
      if (Inline) {
        Out = *Inline;
        return true;
      }
      if (I + 1 >= Args.size()) {
        P.Error = Name + " needs a value";
        return false;
      }
      Out = Args[++I];
      return true;
    };
    const auto Flag = [&] {
      if (!Inline) return true;
      P.Error = Name + " takes no value";
      return false;
    };
    std::string V;
    if (Name == "-h" || Name == "--help") {
      if (!Flag()) return P;
      O.Help = true;
    } else if (Name == "--list-faults") {
      if (!Flag()) return P;
      O.ListFaults = true;
    } else if (Name == "-p" || Name == "--port") {
      if (!Value(V)) return P;
      O.Device = V;
    } else if (Name == "--start") {
      if (!Value(V)) return P;
      StartFile = V;
    } else if (Name == "--variant") {
      if (!Value(V)) return P;
      if (V != "1" && V != "2" && V != "3") {
        P.Error = "--variant: expected 1, 2 or 3, found \"" + V + "\"";
        return P;
      }
      Variant = V[0] - '0';
    } else if (Name == "--set" || Name == "--text") {
      if (!Value(V)) return P;
      TEcuField Field;
      std::string Text;
      if (!SplitAssignment(V, Field, Text)) {
        P.Error = Name + ": expected FIELD=" + (Name == "--set" ? "NUMBER" : "TEXT") +
                  " with FIELD one of VSS TOG RPM ATP IMAP Dv IAT Ubat, found \"" + V + "\"";
        return P;
      }
      Values.push_back({Field, Text, Name == "--set"});
    } else if (Name == "--fault") {
      if (!Value(V)) return P;
      if (!ValidFault(V)) {
        P.Error = "--fault: expected a code of four hex digits (0102) or an item (#67), found \"" + V + "\"";
        return P;
      }
      Faults.push_back(V);
    } else if (Name == "--pause") {
      if (!Flag()) return P;
      Pause = true;
    } else if (Name == "--no-answer") {
      if (!Flag()) return P;
      NoAnswer = true;
    } else if (Name == "--scenario") {
      if (!Value(V)) return P;
      O.Scenario = V;
    } else if (Name == "--speed") {
      if (!Value(V)) return P;
      const auto Speed = PointNumber(V);
      if (!Speed || *Speed < 0.01 || *Speed > 1000) {
        P.Error = "--speed: expected a factor from 0.01 to 1000 (with a point), found \"" + V + "\"";
        return P;
      }
      O.Speed = *Speed;
    } else if (Name == "--record") {
      if (!Value(V)) return P;
      O.Record = V;
    } else if (Name == "--events") {
      if (!Flag()) return P;
      O.Events = true;
    } else if (Name == "--duration") {
      if (!Value(V)) return P;
      const auto Seconds = PointNumber(V);
      if (!Seconds || *Seconds <= 0 || *Seconds > 1e7) {
        P.Error = "--duration: expected seconds, more than 0 (with a point), found \"" + V + "\"";
        return P;
      }
      O.DurationS = *Seconds;
    } else if (Name == "--no-input") {
      if (!Flag()) return P;
      O.ReadInput = false;
    } else if (Name == "--decimal-separator") {
      if (!Value(V)) return P;
      if (V != "." && V != ",") {
        P.Error = "--decimal-separator: expected . or , found \"" + V + "\"";
        return P;
      }
      O.Separator = V[0];
    } else if (Name == "--expect-no-timing-violations") {
      if (!Flag()) return P;
      O.Checks.NoTimingViolations = true;
    } else if (Name == "--expect-no-conversion-errors") {
      if (!Flag()) return P;
      O.Checks.NoConversionErrors = true;
    } else if (Name == "--expect-answers") {
      if (!Value(V)) return P;
      const auto N = PointNumber(V);
      if (!N || *N < 0 || *N != std::floor(*N) || V.find('.') != std::string::npos) {
        P.Error = "--expect-answers: expected a whole number, found \"" + V + "\"";
        return P;
      }
      O.Checks.MinAnswers = static_cast<uint64_t>(*N);
    } else if (!Name.empty() && Name[0] != '-' && O.Device.empty()) {
      O.Device = Name;
    } else {
      P.Error = Name.empty() || Name[0] == '-' ? "unknown option " + Name : "unexpected argument \"" + Name + "\"";
      return P;
    }
  }
  if (O.Help || O.ListFaults) return P;
  if (O.Device.empty()) {
    P.Error = "no port given (--port DEVICE, e.g. COM3 or /dev/ttyUSB0)";
    return P;
  }
  const char Sep = O.Separator.value_or(Separator);
  if (StartFile) {
    const std::string Json = ReadFile(*StartFile, P.Error);
    if (!P.Error.empty()) return P;
    O.Start = ParseStartState(Json, Sep, P.Error);
    if (!P.Error.empty()) {
      P.Error = "start file " + *StartFile + ": " + P.Error;
      return P;
    }
  }
  if (Variant) O.Start.Variant = Variant;
  if (Pause) O.Start.Pause = Pause;
  if (NoAnswer) O.Start.NoAnswer = NoAnswer;
  for (const TPending& Pending : Values) {
    std::optional<std::string> Text = Pending.Value;
    if (Pending.IsNumber) Text = NumberFieldText(Pending.Value, Sep);
    if (!Text) {
      P.Error = "--set: \"" + Pending.Value + "\" is not a number with a point (e.g. 12.5); --text " +
                FieldName(Pending.Field) + "=... sets a text as it stands";
      return P;
    }
    O.Start.Fields.push_back({Pending.Field, *Text});
  }
  O.Start.Faults.insert(O.Start.Faults.end(), Faults.begin(), Faults.end());
  return P;
}

std::string ApplyStartState(TSimSession& Session, const TSimStartState& Start) {
  TSimCommand C;
  if (Start.Variant) {
    C.Verb = TSimVerb::Variant;
    C.Item = *Start.Variant;
    Session.Execute(C);
  }
  for (const TSimFieldText& F : Start.Fields) {
    C.Verb = TSimVerb::Text;
    C.Field = F.Field;
    C.Text = F.Text;
    Session.Execute(C);
  }
  for (const std::string& Fault : Start.Faults) {
    const std::string Answer = Session.Execute(*ParseSimCommand("tick " + Fault, '.').Command);
    if (Answer.rfind("OK", 0) != 0) return Answer.substr(Answer.find(' ') + 1);
  }
  if (Start.Pause) {
    C.Verb = TSimVerb::Pause;
    C.On = *Start.Pause;
    Session.Execute(C);
  }
  if (Start.NoAnswer) {
    C.Verb = TSimVerb::NoAnswer;
    C.On = *Start.NoAnswer;
    Session.Execute(C);
  }
  return {};
}

std::string SimUsage(const std::string& Program) {
  return "Usage: " + Program + R"( --port DEVICE [options]

Plays the engine control unit on the K-line for a trip computer under test,
without a window: opens DEVICE (COM3, /dev/ttyUSB0, ...) at 10400 baud, 8N1,
no flow control, DTR and RTS off, and answers its KWP2000 requests as the
tester window does. Prints "READY <device>" once the port is open; reads
commands on standard input, one a line, and answers each with one line.

The unit's state:
  --start FILE            JSON start file: {"variant": 2, "values": {"VSS": 60,
                          "Ubat": 12.5, "TOG": "20,5"}, "faults": ["0102", "#67"],
                          "pause": false, "no_answer": false}; numbers become
                          field texts, strings are field texts as they stand
  --variant 1|2|3         the unit variant (Hyunday Type 1, 2, 3)
  --set FIELD=NUMBER      a value as a number with a point, whatever the locale
  --text FIELD=TEXT       a field text as it stands, bad texts included
                          FIELD: VSS TOG RPM ATP IMAP Dv IAT Ubat
  --fault CODE|#N         ticks a fault code (four hex digits) or item N
  --pause, --no-answer    "Pause" and "Нет ответа" ticked from the start
  --decimal-separator .|, the separator field texts are read with (default:
                          the locale's, as in the window)
  --list-faults           prints the fault code list and ends

The bench:
  --scenario FILE         plays a scenario file (or builtin:NAME, NAME one of
                          "Проверка шкал", "NEDC", "Плохая линия") from the start
  --speed FACTOR          scenario time per real time, 0.01..1000 (default 1)
  --record FILE           records the session from the start; written to FILE
                          (CSV, or JSON Lines for .jsonl) at the end
  --events                prints every frame received and sent, bytes dropped,
                          fault rule hits and conversion errors as JSON lines

The end: on end of input, the command quit, SIGINT/SIGTERM (Ctrl+C on
Windows), or after --duration. The record is written, the port closed and a
line "SUMMARY {...}" printed: counts, the timing verdict (ISO 14230-2 normal
timing) of the whole run and the checks asked for.
  --duration SECONDS      ends after this time
  --no-input              does not read standard input (ends on a signal or
                          after --duration)
  --expect-no-timing-violations   exit status 1 when the verdict fails
  --expect-no-conversion-errors   exit status 1 when a field text was refused
  --expect-answers N              exit status 1 when fewer answers were sent

Commands (answered "OK ..." or "ERROR <what was wrong>"; the program goes on):
  set FIELD NUMBER | text FIELD [TEXT] | tick CODE|#N | untick CODE|#N|all
  variant 1|2|3 | pause on|off | noanswer on|off
  rule {"service": "21", "identifier": "06", "action": "late", "delay_ms": 200}
      (a fault rule as in a scenario's "rules") | rule remove ID | rule clear
  record start FILE | record stop | record save FILE
  scenario play|pause|stop | events on|off | counters | values | help | quit
Lines that begin with "{" are events (JSON), not answers.

Exit status: 0; 1 when a check failed or a record could not be written;
2 for a bad command line, start file or scenario; 3 when the port cannot be
opened (the message on standard error).
)";
}
