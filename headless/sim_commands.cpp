#include "sim_commands.h"

#include <cctype>
#include <vector>

#include "fault_codes.h"
#include "scenario.h"

const char* const SimCommandList =
    "set text tick untick variant pause noanswer rule record scenario events counters values help quit";

namespace {

std::string Lower(std::string Text) {
  for (char& C : Text) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Text;
}

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

// The line cut into words at blanks; Starts holds where each word begins,
// so that a command can take the rest of the line as it stands.
struct TWords {
  std::vector<std::string> Words;
  std::vector<size_t> Starts;

  explicit TWords(const std::string& Line) {
    size_t I = 0;
    while (I < Line.size()) {
      while (I < Line.size() && IsBlank(Line[I])) ++I;
      if (I == Line.size()) break;
      const size_t Start = I;
      while (I < Line.size() && !IsBlank(Line[I])) ++I;
      Words.push_back(Line.substr(Start, I - Start));
      Starts.push_back(Start);
    }
  }
  size_t Size() const { return Words.size(); }
  std::string Word(size_t I) const { return I < Words.size() ? Words[I] : std::string(); }
};

TSimParse Fail(std::string Error) { return {std::nullopt, std::move(Error)}; }
TSimParse Take(TSimCommand Command) { return {std::move(Command), {}}; }

std::string Quoted(const std::string& Text) { return "\"" + Text + "\""; }

// A command of one word must have nothing after it.
TSimParse Lone(const TWords& W, const std::string& Verb, TSimVerb Kind) {
  if (W.Size() > 1) return Fail(Verb + ": unexpected " + Quoted(W.Word(1)));
  TSimCommand C;
  C.Verb = Kind;
  return Take(C);
}

TSimParse Switch(const TWords& W, const std::string& Verb, TSimVerb Kind) {
  const std::string Value = Lower(W.Word(1));
  if (W.Size() < 2) return Fail(Verb + ": expected on or off");
  if (Value != "on" && Value != "off") return Fail(Verb + ": expected on or off, found " + Quoted(W.Word(1)));
  if (W.Size() > 2) return Fail(Verb + ": unexpected " + Quoted(W.Word(2)));
  TSimCommand C;
  C.Verb = Kind;
  C.On = Value == "on";
  return Take(C);
}

std::optional<TEcuField> Field(const TWords& W, const std::string& Verb, std::string& Error) {
  if (W.Size() < 2) {
    Error = Verb + ": expected a field (VSS TOG RPM ATP IMAP Dv IAT Ubat)";
    return std::nullopt;
  }
  const auto F = FieldFromAnyCase(W.Word(1));
  if (!F) Error = Verb + ": unknown field " + Quoted(W.Word(1)) + "; fields: VSS TOG RPM ATP IMAP Dv IAT Ubat";
  return F;
}

TSimParse Set(const TWords& W, char Separator) {
  std::string Error;
  const auto F = Field(W, "set", Error);
  if (!F) return Fail(Error);
  if (W.Size() < 3) return Fail("set: expected a number after " + W.Word(1) + ", e.g. \"set VSS 60\"");
  const auto Text = NumberFieldText(W.Word(2), Separator);
  if (!Text)
    return Fail("set: " + Quoted(W.Word(2)) + " is not a number with a point (e.g. 12.5); \"text " + W.Word(1) +
                " ...\" sets a text as it stands");
  if (W.Size() > 3) return Fail("set: unexpected " + Quoted(W.Word(3)) + " after the number");
  TSimCommand C;
  C.Verb = TSimVerb::Set;
  C.Field = *F;
  C.Text = *Text;
  return Take(C);
}

TSimParse Text(const TWords& W, const std::string& Line) {
  std::string Error;
  const auto F = Field(W, "text", Error);
  if (!F) return Fail(Error);
  TSimCommand C;
  C.Verb = TSimVerb::Text;
  C.Field = *F;
  // Everything after the one blank that follows the field name.
  const size_t End = W.Starts[1] + W.Words[1].size();
  C.Text = End + 1 <= Line.size() ? Line.substr(End + 1) : std::string();
  return Take(C);
}

bool IsHexCode(const std::string& Code) {
  if (Code.size() != 4) return false;
  for (char C : Code) {
    if (!std::isxdigit(static_cast<unsigned char>(C))) return false;
  }
  return true;
}

TSimParse Tick(const TWords& W, bool Ticked) {
  const std::string Verb = Ticked ? "tick" : "untick";
  const std::string Expected =
      "a fault code (four hex digits, e.g. 0102) or an item number (#1..#" + std::to_string(FaultCodeItemCount) + ")";
  if (W.Size() < 2) return Fail(Verb + ": expected " + Expected + (Ticked ? "" : " or all"));
  if (W.Size() > 2) return Fail(Verb + ": unexpected " + Quoted(W.Word(2)));
  const std::string Arg = W.Word(1);
  TSimCommand C;
  C.Verb = Ticked ? TSimVerb::Tick : TSimVerb::Untick;
  if (!Ticked && Lower(Arg) == "all") {
    C.Verb = TSimVerb::UntickAll;
    return Take(C);
  }
  if (Arg[0] == '#') {
    const std::string Digits = Arg.substr(1);
    bool Number = !Digits.empty() && Digits.size() <= 4;
    for (char D : Digits) Number = Number && std::isdigit(static_cast<unsigned char>(D));
    const int Item = Number ? std::stoi(Digits) : 0;
    if (Item < 1 || Item > FaultCodeItemCount)
      return Fail(Verb + ": no item " + Quoted(Arg) + "; items are #1..#" + std::to_string(FaultCodeItemCount));
    C.Item = Item;
    return Take(C);
  }
  if (!IsHexCode(Arg)) return Fail(Verb + ": expected " + Expected + ", found " + Quoted(Arg));
  for (char Ch : Arg) C.Code += static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
  return Take(C);
}

TSimParse Variant(const TWords& W) {
  const std::string Arg = W.Word(1);
  if (W.Size() < 2) return Fail("variant: expected 1, 2 or 3");
  if (Arg != "1" && Arg != "2" && Arg != "3") return Fail("variant: expected 1, 2 or 3, found " + Quoted(Arg));
  if (W.Size() > 2) return Fail("variant: unexpected " + Quoted(W.Word(2)));
  TSimCommand C;
  C.Verb = TSimVerb::Variant;
  C.Item = Arg[0] - '0';
  return Take(C);
}

TSimParse Rule(const TWords& W, const std::string& Line) {
  const std::string Sub = Lower(W.Word(1));
  if (W.Size() < 2)
    return Fail(
        "rule: expected a rule as JSON, e.g. rule {\"service\": \"21\", \"action\": \"no_answer\"}, "
        "or remove ID, or clear");
  TSimCommand C;
  if (Sub == "clear") {
    if (W.Size() > 2) return Fail("rule clear: unexpected " + Quoted(W.Word(2)));
    C.Verb = TSimVerb::RuleClear;
    return Take(C);
  }
  if (Sub == "remove") {
    const std::string Arg = W.Word(2);
    bool Number = !Arg.empty() && Arg.size() <= 9;
    for (char D : Arg) Number = Number && std::isdigit(static_cast<unsigned char>(D));
    if (!Number) return Fail("rule remove: expected the number of a rule, found " + Quoted(Arg));
    if (W.Size() > 3) return Fail("rule remove: unexpected " + Quoted(W.Word(3)));
    C.Verb = TSimVerb::RuleRemove;
    C.Id = std::stoull(Arg);
    return Take(C);
  }
  const TFaultRuleLoad Load = LoadFaultRule(Line.substr(W.Starts[1]));
  if (!Load.Rule) {
    std::string Error = "rule:";
    for (size_t I = 0; I < Load.Errors.size(); ++I) Error += (I == 0 ? " " : "; ") + Load.Errors[I].Text;
    return Fail(Error);
  }
  C.Verb = TSimVerb::Rule;
  C.Rule = *Load.Rule;
  return Take(C);
}

TSimParse Record(const TWords& W, const std::string& Line) {
  const std::string Sub = Lower(W.Word(1));
  TSimCommand C;
  if (Sub == "stop") {
    if (W.Size() > 2) return Fail("record stop: unexpected " + Quoted(W.Word(2)));
    C.Verb = TSimVerb::RecordStop;
    return Take(C);
  }
  if (Sub == "start" || Sub == "save") {
    // The file is the rest of the line: a name may hold blanks.
    if (W.Size() < 3) return Fail("record " + Sub + ": expected a file (.csv, or .jsonl for JSON Lines)");
    C.Verb = Sub == "start" ? TSimVerb::RecordStart : TSimVerb::RecordSave;
    C.Text = Line.substr(W.Starts[2]);
    while (!C.Text.empty() && IsBlank(C.Text.back())) C.Text.pop_back();
    return Take(C);
  }
  if (W.Size() < 2) return Fail("record: expected start FILE, stop or save FILE");
  return Fail("record: expected start FILE, stop or save FILE, found " + Quoted(W.Word(1)));
}

TSimParse Scenario(const TWords& W) {
  const std::string Sub = Lower(W.Word(1));
  TSimCommand C;
  if (Sub == "play") C.Verb = TSimVerb::ScenarioPlay;
  else if (Sub == "pause") C.Verb = TSimVerb::ScenarioPause;
  else if (Sub == "stop") C.Verb = TSimVerb::ScenarioStop;
  else if (W.Size() < 2) return Fail("scenario: expected play, pause or stop");
  else return Fail("scenario: expected play, pause or stop, found " + Quoted(W.Word(1)));
  if (W.Size() > 2) return Fail("scenario " + Sub + ": unexpected " + Quoted(W.Word(2)));
  return Take(C);
}

}  // namespace

std::optional<std::string> NumberFieldText(const std::string& Number, char Separator) {
  size_t I = 0;
  std::string Text;
  if (I < Number.size() && (Number[I] == '+' || Number[I] == '-')) {
    if (Number[I] == '-') Text += '-';
    ++I;
  }
  const auto Digits = [&] {
    const size_t Start = I;
    while (I < Number.size() && std::isdigit(static_cast<unsigned char>(Number[I]))) Text += Number[I++];
    return I > Start;
  };
  if (!Digits()) return std::nullopt;
  if (I < Number.size() && Number[I] == '.') {
    ++I;
    Text += Separator;
    if (!Digits()) return std::nullopt;
  }
  if (I != Number.size()) return std::nullopt;
  return Text;
}

std::optional<TEcuField> FieldFromAnyCase(const std::string& Name) {
  for (int I = 0; I < EcuFieldCount; ++I) {
    const auto F = static_cast<TEcuField>(I);
    if (Lower(Name) == Lower(FieldName(F))) return F;
  }
  return std::nullopt;
}

TSimParse ParseSimCommand(const std::string& Line, char Separator) {
  const TWords W(Line);
  if (W.Size() == 0) return Fail("empty line; commands: " + std::string(SimCommandList));
  const std::string Verb = Lower(W.Word(0));
  if (Verb == "set") return Set(W, Separator);
  if (Verb == "text") return Text(W, Line);
  if (Verb == "tick") return Tick(W, true);
  if (Verb == "untick") return Tick(W, false);
  if (Verb == "variant") return Variant(W);
  if (Verb == "pause") return Switch(W, Verb, TSimVerb::Pause);
  if (Verb == "noanswer") return Switch(W, Verb, TSimVerb::NoAnswer);
  if (Verb == "events") return Switch(W, Verb, TSimVerb::Events);
  if (Verb == "rule") return Rule(W, Line);
  if (Verb == "record") return Record(W, Line);
  if (Verb == "scenario") return Scenario(W);
  if (Verb == "counters") return Lone(W, Verb, TSimVerb::Counters);
  if (Verb == "values") return Lone(W, Verb, TSimVerb::Values);
  if (Verb == "help") return Lone(W, Verb, TSimVerb::Help);
  if (Verb == "quit") return Lone(W, Verb, TSimVerb::Quit);
  return Fail("unknown command " + Quoted(W.Word(0)) + "; commands: " + SimCommandList);
}
