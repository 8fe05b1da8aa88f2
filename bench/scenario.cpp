#include "scenario.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <unordered_set>
#include <utility>

#include <nlohmann/json.hpp>

namespace {

const char* const FieldNames[EcuFieldCount] = {"VSS", "TOG", "RPM", "ATP", "IMAP", "Dv", "IAT", "Ubat"};
// The ranges of the gauges on the panel, in the order of TEcuField.
const TGaugeRange Ranges[EcuFieldCount] = {{0, 250}, {-40, 160}, {0, 10000}, {0, 100},
                                           {0, 255}, {0, 25},    {-40, 160}, {0, 20}};

}  // namespace

const char* FieldName(TEcuField Field) { return FieldNames[FieldIndex(Field)]; }

std::optional<TEcuField> FieldFromName(const std::string& Name) {
  for (int I = 0; I < EcuFieldCount; ++I) {
    if (Name == FieldNames[I]) return static_cast<TEcuField>(I);
  }
  return std::nullopt;
}

TGaugeRange GaugeRange(TEcuField Field) { return Ranges[FieldIndex(Field)]; }

// ---------------------------------------------------------------------------
// Tracks

int64_t TSweep::ValueCount() const {
  const double Span = std::fabs(To - From);
  if (!(Step > 0) || Span == 0) return 1;
  const double Steps = Span / Step;
  if (!(Steps < 1e15)) return std::numeric_limits<int64_t>::max();
  // Whole steps land on From + K * Step. The tolerance takes 0.3 / 0.1 as 3
  // steps, not 2.9999999999999996.
  const int64_t Whole = static_cast<int64_t>(std::floor(Steps + 1e-9));
  const bool Exact = std::fabs(static_cast<double>(Whole) * Step - Span) <= 1e-9 * std::max(Span, Step);
  // When the last whole step falls short of To, one more (shorter) lands on it.
  return Whole + 1 + (Exact ? 0 : 1);
}

double TSweep::ValueOf(int64_t Index) const {
  if (Index <= 0) return From;
  if (Index >= ValueCount() - 1) return To;
  const double Direction = To < From ? -1.0 : 1.0;
  return From + Direction * static_cast<double>(Index) * Step;
}

double TTrack::ValueAt(double TimeS) const {
  if (IsSweep) {
    const TSweep& S = Sweep;
    if (TimeS < S.StartS) return S.Rest ? *S.Rest : S.From;
    if (!(S.DwellS > 0)) return S.Rest ? *S.Rest : S.To;
    // The tolerance puts a time that is a whole number of dwells (up to
    // rounding of the division) into the value that begins there.
    const double Dwells = std::floor((TimeS - S.StartS) / S.DwellS + 1e-9);
    const int64_t Count = S.ValueCount();
    if (Dwells >= static_cast<double>(Count)) return S.Rest ? *S.Rest : S.To;
    return S.ValueOf(static_cast<int64_t>(Dwells));
  }
  if (Points.empty()) return 0;
  if (TimeS <= Points.front().TimeS) return Points.front().Value;
  // The first point after TimeS; the one before it is at or before TimeS.
  const auto After =
      std::upper_bound(Points.begin(), Points.end(), TimeS, [](double T, const TTrackPoint& P) { return T < P.TimeS; });
  if (After == Points.end()) return Points.back().Value;
  const TTrackPoint& A = *(After - 1);
  if (Interpolation == TInterpolation::Hold || A.TimeS == TimeS) return A.Value;
  const TTrackPoint& B = *After;
  return A.Value + (B.Value - A.Value) * (TimeS - A.TimeS) / (B.TimeS - A.TimeS);
}

double TTrack::EndS() const {
  if (IsSweep) return Sweep.StartS + static_cast<double>(Sweep.ValueCount()) * Sweep.DwellS;
  return Points.empty() ? 0.0 : Points.back().TimeS;
}

int64_t TScenario::PassMs() const {
  double EndS = 0;
  for (const auto& T : Tracks) {
    if (T) EndS = std::max(EndS, T->EndS());
  }
  return std::llround(EndS * 1000.0);
}

// ---------------------------------------------------------------------------
// Reading

namespace {

using TJson = nlohmann::ordered_json;

constexpr size_t MaxDepth = 64;
// Values of any kind a file may hold: three per point (the pair and its two
// numbers) and room for the rest. Bounds the memory that a file of the
// greatest size can take.
size_t MaxNodes(const TScenarioLimits& Limits) { return 3 * static_cast<size_t>(Limits.MaxPoints) + 100'000; }

// "16 МиБ", or the bytes of a size that is not a whole number of MiB.
std::string SizeText(size_t Bytes) {
  if (Bytes % (1024 * 1024) == 0) return std::to_string(Bytes / (1024 * 1024)) + " МиБ";
  return std::to_string(Bytes) + " байт";
}

std::string TooLargeText(uintmax_t Size, size_t MaxBytes) {
  return "файл сценария больше " + SizeText(MaxBytes) + " (" + std::to_string(Size) +
         " байт); такой файл не загружается";
}

// A file refused as a whole while it was being parsed (too many points, too
// deep); thrown from the parser's callback, which ends the parse.
class ERefused : public std::runtime_error {
public:
  ERefused(uint32_t Line, const std::string& Text) : std::runtime_error(Text), Line(Line) {}
  uint32_t Line;
};

// How far nlohmann has read: it reads the text through TCountingIterator,
// which counts the line feeds it passes.
struct TReadState {
  size_t LineFeeds = 0;
  char Last = 0;  // the last character read
};

class TCountingIterator {
public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  TCountingIterator(const char* Position, TReadState* State) : FPosition(Position), FState(State) {}
  reference operator*() const { return *FPosition; }
  TCountingIterator& operator++() {
    FState->Last = *FPosition;
    if (*FPosition == '\n') ++FState->LineFeeds;
    ++FPosition;
    return *this;
  }
  TCountingIterator operator++(int) {
    TCountingIterator Copy = *this;
    ++*this;
    return Copy;
  }
  bool operator==(const TCountingIterator& Other) const { return FPosition == Other.FPosition; }
  bool operator!=(const TCountingIterator& Other) const { return FPosition != Other.FPosition; }

private:
  const char* FPosition;
  TReadState* FState;
};

// The line of every value of the document, by the value's number in document
// order (a container before its contents). nlohmann keeps no positions, so
// the parser's callback fills this as the values are parsed; ordered_json
// keeps members in document order, so a walk of the parsed value meets the
// values in the same order.
struct TLineIndex {
  std::vector<uint32_t> Line;     // where the value begins
  std::vector<uint32_t> KeyLine;  // where its key is (a member), else Line
  std::vector<uint32_t> Size;     // values in its subtree, itself included
};

// The parser callback's side: builds the line index, counts points, finds
// repeated keys.
class TIndexer {
public:
  TIndexer(TReadState& Read, TLineIndex& Index, std::vector<std::pair<uint32_t, std::string>>& Repeated,
           const TScenarioLimits& Limits)
      : FRead(Read), FIndex(Index), FRepeated(Repeated), FLimits(Limits) {}

  bool Event(nlohmann::json::parse_event_t Event, const TJson& Parsed) {
    using E = nlohmann::json::parse_event_t;
    switch (Event) {
      case E::key: {
        FKeyLine = CurrentLine(false);
        FKey = Parsed.get<std::string>();
        if (!FOpen.back().Keys.insert(FKey).second) FRepeated.emplace_back(FKeyLine, FKey);
        break;
      }
      case E::object_start:
      case E::array_start: {
        const uint32_t Line = CurrentLine(false);
        if (FOpen.size() >= MaxDepth) {
          throw ERefused(Line, "вложенность глубже " + std::to_string(MaxDepth) + " уровней");
        }
        const bool IsArray = Event == E::array_start;
        const bool Member = !FOpen.empty() && !FOpen.back().IsArray;
        if (IsArray && !FOpen.empty() && FOpen.back().IsPoints && ++FPoints > FLimits.MaxPoints) {
          throw ERefused(
              Line, "в сценарии больше " + std::to_string(FLimits.MaxPoints) + " точек; такой сценарий не загружается");
        }
        const size_t Node = NewNode(Line);
        FOpen.push_back({Node, IsArray, IsArray && Member && FKey == "points", {}});
        break;
      }
      case E::object_end:
      case E::array_end:
        FIndex.Size[FOpen.back().Node] = static_cast<uint32_t>(FIndex.Line.size() - FOpen.back().Node);
        FOpen.pop_back();
        break;
      case E::value: NewNode(CurrentLine(Parsed.is_number())); break;
    }
    return true;
  }

  uint32_t CurrentLine(bool AfterNumber) const {
    size_t Line = FRead.LineFeeds + 1;
    // A number ends where the parser has read one character past it; when
    // that was a line feed, the number stands on the line before.
    if (AfterNumber && FRead.Last == '\n') --Line;
    return static_cast<uint32_t>(Line);
  }

private:
  struct TOpen {
    size_t Node;
    bool IsArray;
    bool IsPoints;  // the array of a track's points: its elements are points
    std::unordered_set<std::string> Keys;
  };

  size_t NewNode(uint32_t Line) {
    if (FIndex.Line.size() >= MaxNodes(FLimits)) {
      throw ERefused(Line,
                     "в файле больше " + std::to_string(MaxNodes(FLimits)) + " значений; сценарий столько не вмещает");
    }
    const bool Member = !FOpen.empty() && !FOpen.back().IsArray;
    FIndex.Line.push_back(Line);
    FIndex.KeyLine.push_back(Member ? FKeyLine : Line);
    FIndex.Size.push_back(1);
    return FIndex.Line.size() - 1;
  }

  TReadState& FRead;
  TLineIndex& FIndex;
  std::vector<std::pair<uint32_t, std::string>>& FRepeated;
  const TScenarioLimits& FLimits;
  std::vector<TOpen> FOpen;
  std::string FKey;
  uint32_t FKeyLine = 0;
  int64_t FPoints = 0;
};

// A number as it would be written in the file: the shortest text that reads
// back as the same double, independent of any locale.
std::string NumberText(double Value) {
  char Buffer[64];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
  return std::string(Buffer, Result.ptr);
}

// At most MaxBytes of a UTF-8 text, not cutting a character in two.
std::string Shortened(const std::string& Text, size_t MaxBytes) {
  if (Text.size() <= MaxBytes) return Text;
  size_t End = MaxBytes;
  while (End > 0 && (static_cast<unsigned char>(Text[End]) & 0xC0) == 0x80) --End;
  return Text.substr(0, End) + "…";
}

// What was found where something else was expected.
std::string Describe(const TJson& J) {
  switch (J.type()) {
    case TJson::value_t::object: return "объект {…}";
    case TJson::value_t::array: return "массив […]";
    case TJson::value_t::string: {
      std::string Text = Shortened(J.get<std::string>(), 40);
      // Control characters (escaped in the file) would garble the message.
      for (char& C : Text) {
        if (static_cast<unsigned char>(C) < 0x20) C = '?';
      }
      return "\"" + Text + "\"";
    }
    default: return J.dump();
  }
}

bool IsHexDigit(char C) { return (C >= '0' && C <= '9') || (C >= 'A' && C <= 'F') || (C >= 'a' && C <= 'f'); }

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return C - 'a' + 10;
}

// A string of exactly Digits hexadecimal digits.
bool IsHexString(const TJson& J, size_t Digits) {
  if (!J.is_string()) return false;
  const std::string& S = J.get_ref<const std::string&>();
  return S.size() == Digits && std::all_of(S.begin(), S.end(), IsHexDigit);
}

struct TNode {
  const TJson* J;
  size_t I;  // its number in the line index
};

class TReader {
public:
  TReader(const TLineIndex& Index, const TScenarioLimits& Limits) : FIndex(Index), FLimits(Limits) {}

  void Error(uint32_t Line, const std::string& Text) { Add(FErrors, FErrorsLeftOut, Line, Text); }
  void Warning(uint32_t Line, const std::string& Text) { Add(FWarnings, FWarningsLeftOut, Line, Text); }

  TScenarioLoad Finish(std::optional<TScenario> Scenario) {
    TScenarioLoad Load;
    if (FErrorsLeftOut > 0) FErrors.push_back({0, "не показано ошибок: " + std::to_string(FErrorsLeftOut)});
    if (FWarningsLeftOut > 0) {
      FWarnings.push_back({0, "не показано предупреждений: " + std::to_string(FWarningsLeftOut)});
    }
    Load.Errors = std::move(FErrors);
    Load.Warnings = std::move(FWarnings);
    if (Load.Errors.empty()) Load.Scenario = std::move(Scenario);
    return Load;
  }

  bool HasErrors() const { return !FErrors.empty(); }

  // A rule given on its own (a command that applies one): the document is
  // the rule object.
  std::optional<TFaultRule> ReadLoneRule(const TJson& Root) { return ReadRule(TNode{&Root, 0}); }

  std::vector<TScenarioMessage> TakeErrors() {
    if (FErrorsLeftOut > 0) FErrors.push_back({0, "не показано ошибок: " + std::to_string(FErrorsLeftOut)});
    return std::move(FErrors);
  }

  TScenario Read(const TJson& Root) {
    TScenario S;
    const TNode R{&Root, 0};
    if (!Root.is_object()) {
      Error(Line(R), "ожидался объект JSON {…} со сценарием, найдено " + Describe(Root));
      return S;
    }
    bool HaveName = false;
    bool HaveTracks = false;
    ForEachMember(R, [&](const std::string& Key, TNode V) {
      if (Key == "name") {
        HaveName = true;
        if (V.J->is_string() && !V.J->get_ref<const std::string&>().empty()) {
          S.Name = V.J->get<std::string>();
        } else {
          Error(Line(V), "\"name\": ожидалась непустая строка (название сценария), найдено " + Describe(*V.J));
        }
      } else if (Key == "variant") {
        const auto Variant = IntegerIn(V, 1, 3);
        if (Variant) {
          S.Variant = static_cast<int>(*Variant);
        } else {
          Error(Line(V), "\"variant\": ожидался вариант блока: целое число 1, 2 или 3, найдено " + Describe(*V.J));
        }
      } else if (Key == "faults") {
        ReadFaults(V, S);
      } else if (Key == "repeat") {
        const auto Repeat = IntegerIn(V, 1, 1000);
        if (Repeat) {
          S.Repeat = static_cast<int>(*Repeat);
        } else {
          Error(Line(V), "\"repeat\": ожидалось целое число проходов от 1 до 1000, найдено " + Describe(*V.J));
        }
      } else if (Key == "tracks") {
        HaveTracks = true;
        ReadTracks(V, S);
      } else if (Key == "rules") {
        ReadRules(V, S);
      } else {
        UnknownKey(V, Key, "name, variant, faults, repeat, tracks, rules");
      }
    });
    if (!HaveName) Error(Line(R), "нет обязательного ключа \"name\" (название сценария)");
    if (!HaveTracks) Error(Line(R), "нет обязательного ключа \"tracks\" (треки величин)");
    WarnOfRules(S);
    return S;
  }

private:
  uint32_t Line(TNode N) const { return FIndex.Line[N.I]; }
  uint32_t KeyLine(TNode N) const { return FIndex.KeyLine[N.I]; }

  template <class F>
  void ForEachMember(TNode N, F Each) {
    size_t Child = N.I + 1;
    for (auto It = N.J->begin(); It != N.J->end(); ++It) {
      Each(It.key(), TNode{&It.value(), Child});
      Child += FIndex.Size[Child];
    }
  }

  template <class F>
  void ForEachElement(TNode N, F Each) {
    size_t Child = N.I + 1;
    for (const TJson& E : *N.J) {
      Each(TNode{&E, Child});
      Child += FIndex.Size[Child];
    }
  }

  static void Add(std::vector<TScenarioMessage>& List, size_t& LeftOut, uint32_t Line, const std::string& Text) {
    if (List.size() >= MaxScenarioMessages) {
      ++LeftOut;
      return;
    }
    List.push_back({static_cast<int>(Line), Line == 0 ? Text : "строка " + std::to_string(Line) + ": " + Text});
  }

  void UnknownKey(TNode V, const std::string& Key, const char* Allowed) {
    Error(KeyLine(V), "неизвестный ключ \"" + Shortened(Key, 40) + "\"; допустимы: " + Allowed);
  }

  static std::optional<double> Number(TNode V) {
    if (!V.J->is_number()) return std::nullopt;
    const double D = V.J->get<double>();
    if (!std::isfinite(D)) return std::nullopt;
    return D;
  }

  static std::optional<int64_t> IntegerIn(TNode V, int64_t Low, int64_t High) {
    if (V.J->is_number_unsigned()) {
      const uint64_t U = V.J->get<uint64_t>();
      if (U > static_cast<uint64_t>(High)) return std::nullopt;
      const auto I = static_cast<int64_t>(U);
      if (I < Low) return std::nullopt;
      return I;
    }
    if (V.J->is_number_integer()) {
      const int64_t I = V.J->get<int64_t>();
      if (I < Low || I > High) return std::nullopt;
      return I;
    }
    return std::nullopt;
  }

  // A time in seconds, 0 .. MaxScenarioTimeS.
  std::optional<double> Seconds(TNode V, const std::string& What) {
    const auto D = Number(V);
    if (!D || *D < 0 || *D > MaxScenarioTimeS) {
      Error(Line(V),
            What + ": ожидалось число секунд от 0 до " + NumberText(MaxScenarioTimeS) + ", найдено " + Describe(*V.J));
      return std::nullopt;
    }
    return D;
  }

  // A value of a quantity, clamped to its gauge's range with a warning.
  std::optional<double> Value(TNode V, TEcuField Field, const std::string& What) {
    const auto D = Number(V);
    if (!D) {
      Error(Line(V), What + ": ожидалось число (значение " + FieldName(Field) + "), найдено " + Describe(*V.J));
      return std::nullopt;
    }
    const TGaugeRange R = GaugeRange(Field);
    const double Clamped = std::clamp(*D, R.From, R.To);
    if (Clamped != *D) {
      Warning(Line(V), "значение " + NumberText(*D) + " вне шкалы " + NumberText(R.From) + ".." + NumberText(R.To) +
                           " для " + FieldName(Field) + ", будет " + NumberText(Clamped));
    }
    return Clamped;
  }

  void ReadFaults(TNode V, TScenario& S) {
    if (!V.J->is_array()) {
      Error(Line(V), "\"faults\": ожидался массив кодов неисправностей, найдено " + Describe(*V.J));
      return;
    }
    ForEachElement(V, [&](TNode Code) {
      if (!IsHexString(*Code.J, 4)) {
        Error(Line(Code),
              "\"faults\": ожидался код неисправности: строка из четырёх шестнадцатеричных цифр, "
              "например \"0105\", найдено " +
                  Describe(*Code.J));
        return;
      }
      std::string Text = Code.J->get<std::string>();
      for (char& C : Text) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
      S.FaultCodes.push_back(Text);
    });
  }

  void ReadTracks(TNode V, TScenario& S) {
    if (!V.J->is_object()) {
      Error(Line(V), "\"tracks\": ожидался объект с треками величин, найдено " + Describe(*V.J));
      return;
    }
    if (V.J->empty()) {
      Error(Line(V), "\"tracks\": нужен хотя бы один трек (VSS, TOG, RPM, ATP, IMAP, Dv, IAT, Ubat)");
      return;
    }
    int64_t Points = 0;
    ForEachMember(V, [&](const std::string& Key, TNode T) {
      const auto Field = FieldFromName(Key);
      if (!Field) {
        Error(KeyLine(T), "\"tracks\": неизвестная величина \"" + Shortened(Key, 40) +
                              "\"; допустимы: VSS, TOG, RPM, ATP, IMAP, Dv, IAT, Ubat");
        return;
      }
      auto Track = ReadTrack(T, *Field);
      if (!Track) return;
      Points += Track->IsSweep ? Track->Sweep.ValueCount() : static_cast<int64_t>(Track->Points.size());
      S.Tracks[FieldIndex(*Field)] = std::move(Track);
    });
    if (Points > FLimits.MaxPoints) {
      Error(Line(V), "в треках " + std::to_string(Points) + " точек вместе со значениями разверток, больше " +
                         std::to_string(FLimits.MaxPoints));
    }
  }

  std::optional<TTrack> ReadTrack(TNode V, TEcuField Field) {
    const std::string Name = "\"" + std::string(FieldName(Field)) + "\"";
    if (!V.J->is_object()) {
      Error(Line(V), Name + ": ожидался объект трека с \"points\" или \"sweep\", найдено " + Describe(*V.J));
      return std::nullopt;
    }
    std::optional<TNode> Points, Sweep, Interpolate;
    ForEachMember(V, [&](const std::string& Key, TNode M) {
      if (Key == "points") {
        Points = M;
      } else if (Key == "sweep") {
        Sweep = M;
      } else if (Key == "interpolate") {
        Interpolate = M;
      } else {
        UnknownKey(M, Key, "points, interpolate, sweep");
      }
    });
    if (Points && Sweep) {
      Error(KeyLine(*Sweep), Name + ": нужен либо \"points\", либо \"sweep\", а не оба");
      return std::nullopt;
    }
    if (!Points && !Sweep) {
      Error(Line(V), Name + ": нет ни \"points\", ни \"sweep\"");
      return std::nullopt;
    }
    TTrack T;
    bool Good = true;
    if (Interpolate) {
      const TJson& I = *Interpolate->J;
      if (Sweep) {
        Error(KeyLine(*Interpolate), "\"interpolate\" относится только к \"points\", не к \"sweep\"");
        Good = false;
      } else if (I == "linear") {
        T.Interpolation = TInterpolation::Linear;
      } else if (I == "hold") {
        T.Interpolation = TInterpolation::Hold;
      } else {
        Error(Line(*Interpolate), "\"interpolate\": ожидалось \"linear\" или \"hold\", найдено " + Describe(I));
        Good = false;
      }
    }
    if (Points) {
      Good = ReadPoints(*Points, Field, T) && Good;
    } else {
      T.IsSweep = true;
      Good = ReadSweep(*Sweep, Field, T.Sweep) && Good;
    }
    if (!Good) return std::nullopt;
    return T;
  }

  bool ReadPoints(TNode V, TEcuField Field, TTrack& T) {
    if (!V.J->is_array() || V.J->empty()) {
      Error(Line(V), "\"points\": ожидался непустой массив точек [время, значение], найдено " + Describe(*V.J));
      return false;
    }
    bool Good = true;
    T.Points.reserve(V.J->size());
    ForEachElement(V, [&](TNode P) {
      if (!P.J->is_array() || P.J->size() != 2) {
        Error(Line(P), "\"points\": ожидалась точка [время, значение], найдено " + Describe(*P.J));
        Good = false;
        return;
      }
      const TNode TimeNode{&(*P.J)[0], P.I + 1};
      const TNode ValueNode{&(*P.J)[1], TimeNode.I + FIndex.Size[TimeNode.I]};
      const auto Time = Number(TimeNode);
      if (!Time) {
        Error(Line(TimeNode), "\"points\": ожидалось число (время, с), найдено " + Describe(*TimeNode.J));
        Good = false;
      } else if (*Time < 0 || *Time > MaxScenarioTimeS) {
        Error(Line(TimeNode),
              "\"points\": время " + NumberText(*Time) + " с вне пределов 0.." + NumberText(MaxScenarioTimeS) + " с");
        Good = false;
      } else if (!T.Points.empty() && *Time <= T.Points.back().TimeS) {
        Error(Line(TimeNode), "\"points\": время " + NumberText(*Time) + " с не больше времени предыдущей точки (" +
                                  NumberText(T.Points.back().TimeS) + " с); время точек должно возрастать");
        Good = false;
      }
      const auto Val = Value(ValueNode, Field, "\"points\"");
      if (!Val) Good = false;
      if (Time && Val && Good) T.Points.push_back({*Time, *Val});
    });
    return Good;
  }

  bool ReadSweep(TNode V, TEcuField Field, TSweep& S) {
    if (!V.J->is_object()) {
      Error(Line(V), "\"sweep\": ожидался объект {\"from\", \"to\", \"step\", \"dwell\"}, найдено " + Describe(*V.J));
      return false;
    }
    std::optional<double> From, To, Step, Dwell;
    std::unordered_set<std::string> Present;
    bool Good = true;
    ForEachMember(V, [&](const std::string& Key, TNode M) {
      const std::string What = "\"" + Key + "\"";
      Present.insert(Key);
      if (Key == "from" || Key == "to" || Key == "rest") {
        const auto D = Value(M, Field, What);
        if (!D) Good = false;
        (Key == "from" ? From : Key == "to" ? To : S.Rest) = D;
      } else if (Key == "step" || Key == "dwell") {
        const auto D = Number(M);
        if (!D || *D <= 0) {
          Error(Line(M), What + ": ожидалось число больше 0 (" + (Key == "step" ? "шаг" : "выдержка, с") +
                             "), найдено " + Describe(*M.J));
          Good = false;
        }
        (Key == "step" ? Step : Dwell) = D;
      } else if (Key == "start") {
        const auto D = Seconds(M, What);
        if (D) {
          S.StartS = *D;
        } else {
          Good = false;
        }
      } else {
        UnknownKey(M, Key, "from, to, step, dwell, start, rest");
        Good = false;
      }
    });
    for (const char* Key : {"from", "to", "step", "dwell"}) {
      if (!Present.count(Key)) {
        Error(Line(V), "\"sweep\": нет обязательного ключа \"" + std::string(Key) + "\"");
        Good = false;
      }
    }
    if (!Good) return false;
    S.From = *From;
    S.To = *To;
    S.Step = *Step;
    S.DwellS = *Dwell;
    // Counted before ValueCount so that a step of 1e-300 cannot overflow it.
    if (std::fabs(S.To - S.From) / S.Step >= static_cast<double>(FLimits.MaxPoints)) {
      Error(Line(V), "\"sweep\": больше " + std::to_string(FLimits.MaxPoints) + " значений; нужен шаг крупнее");
      return false;
    }
    const double EndS = S.StartS + static_cast<double>(S.ValueCount()) * S.DwellS;
    if (EndS > MaxScenarioTimeS) {
      Error(Line(V), "\"sweep\": развёртка кончается на " + NumberText(EndS) + " с, позже " +
                         NumberText(MaxScenarioTimeS) + " с");
      return false;
    }
    return true;
  }

  void ReadRules(TNode V, TScenario& S) {
    if (!V.J->is_array()) {
      Error(Line(V), "\"rules\": ожидался массив правил, найдено " + Describe(*V.J));
      return;
    }
    ForEachElement(V, [&](TNode R) {
      auto Rule = ReadRule(R);
      if (Rule) {
        S.Rules.push_back(std::move(*Rule));
        FRuleLines.push_back(Line(R));
      }
    });
  }

  // Rules that are valid but most likely not what was meant: one that takes
  // every request all the time (the unit then hardly ever answers properly),
  // and one whose window opens after the pass has ended (it never acts).
  void WarnOfRules(const TScenario& S) {
    const int64_t PassMs = S.PassMs();
    for (size_t I = 0; I < S.Rules.size(); ++I) {
      const TFaultRule& R = S.Rules[I];
      if (!R.Service && !R.Identifier && R.EveryNth == 1 && !R.FromMs && !R.ToMs) {
        Warning(FRuleLines[I],
                "правило действует на каждый запрос всё время сценария (нет ни \"service\", ни "
                "\"identifier\", ни \"every\", ни \"from\"/\"to\")");
      }
      if (R.FromMs && *R.FromMs >= PassMs) {
        Warning(FRuleLines[I], "правило начинается на " + NumberText(static_cast<double>(*R.FromMs) / 1000.0) +
                                   " с, не раньше конца прохода (" + NumberText(static_cast<double>(PassMs) / 1000.0) +
                                   " с), и не сработает");
      }
    }
  }

  std::optional<uint8_t> HexByte(TNode V, const std::string& Key) {
    if (!IsHexString(*V.J, 2)) {
      Error(Line(V), "\"" + Key +
                         "\": ожидался байт: строка из двух шестнадцатеричных цифр, например \"21\", найдено " +
                         Describe(*V.J));
      return std::nullopt;
    }
    const std::string& T = V.J->get_ref<const std::string&>();
    return static_cast<uint8_t>(HexValue(T[0]) * 16 + HexValue(T[1]));
  }

  std::optional<int32_t> IntParameter(TNode V, const std::string& Key, int64_t Low, int64_t High) {
    const auto I = IntegerIn(V, Low, High);
    if (!I) {
      Error(Line(V), "\"" + Key + "\": ожидалось целое число от " + std::to_string(Low) + " до " +
                         std::to_string(High) + ", найдено " + Describe(*V.J));
      return std::nullopt;
    }
    return static_cast<int32_t>(*I);
  }

  std::optional<TFaultRule> ReadRule(TNode V) {
    if (!V.J->is_object()) {
      Error(Line(V), "\"rules\": ожидалось правило: объект {…} с \"action\", найдено " + Describe(*V.J));
      return std::nullopt;
    }
    static const std::pair<const char*, TFaultAction> Actions[] = {
        {"no_answer", TFaultAction::NoAnswer},       {"late", TFaultAction::Late},
        {"bad_checksum", TFaultAction::BadChecksum}, {"cut", TFaultAction::Cut},
        {"negative", TFaultAction::Negative},        {"silent", TFaultAction::Silent},
    };
    // The parameter each action needs (none for the rest).
    static const std::pair<TFaultAction, const char*> Needs[] = {{TFaultAction::Late, "delay_ms"},
                                                                 {TFaultAction::Cut, "cut_bytes"},
                                                                 {TFaultAction::Negative, "code"},
                                                                 {TFaultAction::Silent, "silent_ms"}};
    TFaultRule Rule;
    bool Good = true;
    std::optional<TFaultAction> Action;
    std::string ActionName;
    std::optional<TNode> ActionNode;
    std::optional<double> From, To;
    std::optional<TNode> ToNode;
    // Action parameters met: the value, its key and the action it belongs to.
    struct TParameter {
      TNode Node;
      std::string Key;
      std::string Owner;
    };
    std::vector<TParameter> Parameters;
    ForEachMember(V, [&](const std::string& Key, TNode M) {
      if (Key == "action") {
        ActionNode = M;
        for (const auto& [Name, A] : Actions) {
          if (*M.J == Name) {
            Action = A;
            ActionName = Name;
          }
        }
        if (!Action) {
          Error(Line(M),
                "\"action\": ожидалось одно из no_answer, late, bad_checksum, cut, negative, silent, найдено " +
                    Describe(*M.J));
          Good = false;
        }
      } else if (Key == "name") {
        if (M.J->is_string()) {
          Rule.Name = M.J->get<std::string>();
        } else {
          Error(Line(M), "\"name\": ожидалась строка (название правила), найдено " + Describe(*M.J));
          Good = false;
        }
      } else if (Key == "service" || Key == "identifier") {
        const auto B = HexByte(M, Key);
        if (!B) Good = false;
        (Key == "service" ? Rule.Service : Rule.Identifier) = B;
      } else if (Key == "every") {
        const auto N = IntParameter(M, Key, 1, 1'000'000);
        if (N) {
          Rule.EveryNth = static_cast<uint32_t>(*N);
        } else {
          Good = false;
        }
      } else if (Key == "from" || Key == "to") {
        const auto D = Seconds(M, "\"" + Key + "\"");
        if (!D) Good = false;
        if (Key == "from") {
          From = D;
        } else {
          To = D;
          ToNode = M;
        }
      } else if (Key == "delay_ms") {
        const auto N = IntParameter(M, Key, 1, 60'000);
        if (N) Rule.DelayMs = *N;
        Good = Good && N.has_value();
        Parameters.push_back({M, Key, "late"});
      } else if (Key == "cut_bytes") {
        const auto N = IntParameter(M, Key, 0, 259);
        if (N) Rule.CutBytes = *N;
        Good = Good && N.has_value();
        Parameters.push_back({M, Key, "cut"});
      } else if (Key == "silent_ms") {
        const auto N = IntParameter(M, Key, 1, 600'000);
        if (N) Rule.SilentMs = *N;
        Good = Good && N.has_value();
        Parameters.push_back({M, Key, "silent"});
      } else if (Key == "code") {
        std::optional<uint8_t> Code;
        if (IsHexString(*M.J, 2)) {
          const std::string& T = M.J->get_ref<const std::string&>();
          const int C = HexValue(T[0]) * 16 + HexValue(T[1]);
          if (IsAllowedNegativeCode(C)) Code = static_cast<uint8_t>(C);
        }
        if (Code) {
          Rule.NegativeCode = *Code;
        } else {
          Error(Line(M),
                "\"code\": ожидался код отрицательного ответа \"10\", \"11\", \"12\", \"21\", \"22\", "
                "\"31\" или \"78\", найдено " +
                    Describe(*M.J));
          Good = false;
        }
        Parameters.push_back({M, Key, "negative"});
      } else if (Key == "pending_ms") {
        const auto N = IntParameter(M, Key, 1, 5000);
        if (N) Rule.PendingMs = *N;
        Good = Good && N.has_value();
        Parameters.push_back({M, Key, "negative"});
      } else {
        UnknownKey(M, Key,
                   "name, service, identifier, every, from, to, action, delay_ms, cut_bytes, code, pending_ms, "
                   "silent_ms");
        Good = false;
      }
    });
    if (!ActionNode) {
      Error(Line(V), "в правиле нет обязательного ключа \"action\" (действие)");
      return std::nullopt;
    }
    if (Action) {
      Rule.Action = *Action;
      for (const TParameter& P : Parameters) {
        if (P.Owner != ActionName) {
          Error(KeyLine(P.Node), "ключ \"" + P.Key + "\" не относится к действию \"" + ActionName + "\"");
          Good = false;
        }
      }
      for (const auto& [A, Key] : Needs) {
        if (A == *Action && !HasKey(V, Key)) {
          Error(Line(V), "для действия \"" + ActionName + "\" нужен ключ \"" + Key + "\"");
          Good = false;
        }
      }
      for (const TParameter& P : Parameters) {
        if (P.Key == "pending_ms" && Rule.NegativeCode != 0x78 && Rule.NegativeCode != 0) {
          Error(KeyLine(P.Node), "ключ \"pending_ms\" относится только к коду \"78\"");
          Good = false;
        }
      }
    }
    if (From && To && *To <= *From) {
      Error(Line(*ToNode),
            "\"to\" (" + NumberText(*To) + " с) должно быть больше \"from\" (" + NumberText(*From) + " с)");
      Good = false;
    }
    if (From) Rule.FromMs = std::llround(*From * 1000.0);
    if (To) Rule.ToMs = std::llround(*To * 1000.0);
    if (!Good) return std::nullopt;
    return Rule;
  }

  static bool HasKey(TNode V, const char* Key) { return V.J->contains(Key); }

  const TLineIndex& FIndex;
  const TScenarioLimits& FLimits;
  std::vector<uint32_t> FRuleLines;  // the line of each rule read
  std::vector<TScenarioMessage> FErrors;
  std::vector<TScenarioMessage> FWarnings;
  size_t FErrorsLeftOut = 0;
  size_t FWarningsLeftOut = 0;
};

// The line of the character at Offset (0-based) of Text.
uint32_t LineAt(const std::string& Text, size_t Offset) {
  return static_cast<uint32_t>(1 + std::count(Text.begin(), Text.begin() + static_cast<std::ptrdiff_t>(Offset), '\n'));
}

// nlohmann's description of a syntax error without its own prefix
// ("[json.exception.parse_error.101] parse error at line 1, column 2: ").
std::string SyntaxDetail(const std::string& What) {
  const size_t Column = What.find("column ");
  const size_t Colon = What.find(": ", Column == std::string::npos ? 0 : Column);
  return Colon == std::string::npos ? What : What.substr(Colon + 2);
}

}  // namespace

namespace {

// Parses Text into Root and fills the line index; false, with the reason
// given to the reader, when the text is not one well-formed JSON value.
bool ParseIndexed(const std::string& Text, const TScenarioLimits& Limits, TLineIndex& Index, TReader& Reader,
                  TJson& Root) {
  TReadState Read;
  std::vector<std::pair<uint32_t, std::string>> Repeated;
  TIndexer Indexer(Read, Index, Repeated, Limits);
  try {
    Root = TJson::parse(
        TCountingIterator(Text.data(), &Read), TCountingIterator(Text.data() + Text.size(), nullptr),
        [&Indexer](int, nlohmann::json::parse_event_t Event, TJson& Parsed) { return Indexer.Event(Event, Parsed); });
  } catch (const ERefused& E) {
    Reader.Error(E.Line, E.what());
    return false;
  } catch (const nlohmann::json::parse_error& E) {
    // E.byte counts the characters read, the offending one included.
    const size_t Offset = std::min(E.byte > 0 ? E.byte - 1 : 0, Text.size());
    const uint32_t Line = LineAt(Text, Offset);
    const size_t Feed = Offset == 0 ? std::string::npos : Text.rfind('\n', Offset - 1);
    const size_t LineStart = Feed == std::string::npos ? 0 : Feed + 1;
    // Characters, not bytes, before the offending one on its line.
    size_t Column = 1;
    for (size_t I = LineStart; I < Offset; ++I) {
      if ((static_cast<unsigned char>(Text[I]) & 0xC0) != 0x80) ++Column;
    }
    Reader.Error(Line,
                 "ошибка синтаксиса JSON в столбце " + std::to_string(Column) + " (" + SyntaxDetail(E.what()) + ")");
    return false;
  } catch (const nlohmann::json::exception& E) {
    // A number too large for a double ("1e999"): the parse stopped just past it.
    Reader.Error(Indexer.CurrentLine(true), std::string("число вне допустимых пределов (") + E.what() + ")");
    return false;
  }
  for (const auto& [Line, Key] : Repeated) {
    Reader.Error(Line, "ключ \"" + Shortened(Key, 40) + "\" повторяется в одном объекте");
  }
  // With a repeated key the parsed value holds fewer members than the line
  // index: the walk would pair values with wrong lines.
  return !Reader.HasErrors();
}

}  // namespace

TScenarioLoad LoadScenario(const std::string& Text, const TScenarioLimits& Limits) {
  if (Text.size() > Limits.MaxBytes) {
    TScenarioLoad Load;
    Load.Errors.push_back({0, TooLargeText(Text.size(), Limits.MaxBytes)});
    return Load;
  }
  TLineIndex Index;
  TReader Reader(Index, Limits);
  TJson Root;
  if (!ParseIndexed(Text, Limits, Index, Reader, Root)) return Reader.Finish(std::nullopt);
  TScenario Scenario = Reader.Read(Root);
  return Reader.Finish(std::move(Scenario));
}

TFaultRuleLoad LoadFaultRule(const std::string& Text) {
  // One rule is small; the limits of a scenario file bound it all the same.
  const TScenarioLimits Limits;
  TFaultRuleLoad Load;
  if (Text.size() > Limits.MaxBytes) {
    Load.Errors.push_back({0, TooLargeText(Text.size(), Limits.MaxBytes)});
    return Load;
  }
  TLineIndex Index;
  TReader Reader(Index, Limits);
  TJson Root;
  if (ParseIndexed(Text, Limits, Index, Reader, Root)) Load.Rule = Reader.ReadLoneRule(Root);
  Load.Errors = Reader.TakeErrors();
  if (!Load.Errors.empty()) Load.Rule.reset();
  return Load;
}

TScenarioLoad LoadScenarioFile(const std::string& Path, const TScenarioLimits& Limits) {
  // The path is UTF-8 on every platform.
  const std::filesystem::path File(std::u8string(reinterpret_cast<const char8_t*>(Path.data()), Path.size()));
  TScenarioLoad Load;
  std::error_code Code;
  const uintmax_t Size = std::filesystem::file_size(File, Code);
  if (Code) {
    Load.Errors.push_back({0, "не удалось открыть файл сценария \"" + Path + "\": " + Code.message()});
    return Load;
  }
  if (Size > Limits.MaxBytes) {
    Load.Errors.push_back({0, TooLargeText(Size, Limits.MaxBytes)});
    return Load;
  }
  std::ifstream In(File, std::ios::binary);
  if (!In) {
    Load.Errors.push_back({0, "не удалось открыть файл сценария \"" + Path + "\""});
    return Load;
  }
  // What is appended after the size was taken is not read.
  std::string Text(static_cast<size_t>(Size), '\0');
  In.read(Text.data(), static_cast<std::streamsize>(Text.size()));
  Text.resize(static_cast<size_t>(In.gcount()));
  if (In.bad()) {
    Load.Errors.push_back({0, "не удалось прочитать файл сценария \"" + Path + "\""});
    return Load;
  }
  return LoadScenario(Text, Limits);
}
