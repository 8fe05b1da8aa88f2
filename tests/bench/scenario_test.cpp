// The scenario file reader: every error with its line, syntax errors, the
// limits, clamped values, and the tracks' values at and around their ends.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scenario.h"

namespace {

// The complete example of the file format, as the README gives it.
const char* const ExampleText = R"json({
  "name": "Городской цикл",
  "variant": 2,
  "faults": ["0105", "03a0"],
  "repeat": 2,
  "tracks": {
    "VSS": {"interpolate": "linear", "points": [[0, 0], [10.5, 50], [20, 50], [30, 0]]},
    "RPM": {"interpolate": "hold", "points": [[0, 800], [5, 2500], [25, 800]]},
    "TOG": {"sweep": {"from": -40, "to": 160, "step": 10, "dwell": 1.0}},
    "Ubat": {"sweep": {"from": 14, "to": 10, "step": 0.5, "dwell": 2, "start": 5, "rest": 14}}
  },
  "rules": [
    {"service": "21", "identifier": "06", "every": 3, "from": 10, "to": 20,
     "action": "late", "delay_ms": 200},
    {"service": "18", "action": "negative", "code": "78", "pending_ms": 1500},
    {"name": "тишина", "action": "silent", "silent_ms": 3000, "from": 25, "to": 25.5},
    {"action": "cut", "cut_bytes": 0, "every": 10}
  ]
}
)json";

std::string Lines(const std::vector<std::string>& L) {
  std::string Text;
  for (const auto& Line : L) Text += Line + "\n";
  return Text;
}

// A file whose tracks object is Tracks (line 3) and whose rules are Rules
// (from line 4 on).
std::string WithTracks(const std::string& Tracks, const std::string& Rules = "") {
  return "{\n  \"name\": \"t\",\n  \"tracks\": " + Tracks + (Rules.empty() ? "" : ",\n  \"rules\": " + Rules) + "\n}\n";
}

const std::string OneTrack = "{\"VSS\": {\"points\": [[0, 1], [10, 2]]}}";

std::string WithRule(const std::string& Rule) { return WithTracks(OneTrack, "[\n" + Rule + "\n]"); }

TEST(ScenarioReader, ReadsTheCompleteExample) {
  const TScenarioLoad Load = LoadScenario(ExampleText);
  ASSERT_TRUE(Load.Errors.empty()) << Load.Errors[0].Text;
  EXPECT_TRUE(Load.Warnings.empty());
  ASSERT_TRUE(Load.Scenario);
  const TScenario& S = *Load.Scenario;
  EXPECT_EQ(S.Name, "Городской цикл");
  EXPECT_EQ(S.Variant, 2);
  EXPECT_EQ(S.FaultCodes, (std::vector<std::string>{"0105", "03A0"}));
  EXPECT_EQ(S.Repeat, 2);

  ASSERT_TRUE(S.Track(TEcuField::VSS));
  EXPECT_FALSE(S.Track(TEcuField::VSS)->IsSweep);
  EXPECT_EQ(S.Track(TEcuField::VSS)->Points.size(), 4u);
  EXPECT_EQ(S.Track(TEcuField::RPM)->Interpolation, TInterpolation::Hold);
  EXPECT_TRUE(S.Track(TEcuField::TOG)->IsSweep);
  EXPECT_EQ(S.Track(TEcuField::Ubat)->Sweep.Rest, 14);
  EXPECT_EQ(S.Track(TEcuField::Ubat)->Sweep.StartS, 5);
  for (TEcuField F : {TEcuField::ATP, TEcuField::IMAP, TEcuField::Dv, TEcuField::IAT}) EXPECT_FALSE(S.Track(F));
  // The pass ends with the later of the VSS points (30 s) and the sweeps:
  // TOG 21 values x 1 s, Ubat 5 s + 9 values x 2 s = 23 s.
  EXPECT_EQ(S.PassMs(), 30000);

  ASSERT_EQ(S.Rules.size(), 4u);
  const TFaultRule& Late = S.Rules[0];
  EXPECT_EQ(Late.Service, 0x21);
  EXPECT_EQ(Late.Identifier, 0x06);
  EXPECT_EQ(Late.EveryNth, 3u);
  EXPECT_EQ(Late.FromMs, 10000);
  EXPECT_EQ(Late.ToMs, 20000);
  EXPECT_EQ(Late.Action, TFaultAction::Late);
  EXPECT_EQ(Late.DelayMs, 200);
  const TFaultRule& Pending = S.Rules[1];
  EXPECT_EQ(Pending.Service, 0x18);
  EXPECT_FALSE(Pending.Identifier);
  EXPECT_FALSE(Pending.FromMs);
  EXPECT_FALSE(Pending.ToMs);
  EXPECT_EQ(Pending.Action, TFaultAction::Negative);
  EXPECT_EQ(Pending.NegativeCode, 0x78);
  EXPECT_EQ(Pending.PendingMs, 1500);
  const TFaultRule& Silent = S.Rules[2];
  EXPECT_EQ(Silent.Name, "тишина");
  EXPECT_EQ(Silent.Action, TFaultAction::Silent);
  EXPECT_EQ(Silent.SilentMs, 3000);
  EXPECT_EQ(Silent.FromMs, 25000);
  EXPECT_EQ(Silent.ToMs, 25500);
  EXPECT_FALSE(Silent.Service);
  EXPECT_EQ(S.Rules[3].Action, TFaultAction::Cut);
  EXPECT_EQ(S.Rules[3].CutBytes, 0);
  EXPECT_EQ(S.Rules[3].EveryNth, 10u);
}

TEST(ScenarioReader, DefaultsWhereTheFileSaysNothing) {
  const TScenarioLoad Load = LoadScenario(WithTracks(OneTrack, "[{\"action\": \"negative\", \"code\": \"78\"}]"));
  ASSERT_TRUE(Load.Scenario) << Load.Errors[0].Text;
  EXPECT_FALSE(Load.Scenario->Variant);
  EXPECT_TRUE(Load.Scenario->FaultCodes.empty());
  EXPECT_EQ(Load.Scenario->Repeat, 1);
  EXPECT_EQ(Load.Scenario->Track(TEcuField::VSS)->Interpolation, TInterpolation::Linear);
  EXPECT_EQ(Load.Scenario->Rules.at(0).PendingMs, 1000);
  EXPECT_EQ(Load.Scenario->Rules.at(0).EveryNth, 1u);
}

struct TBadFile {
  const char* What;
  std::string Text;
  int Line;
  std::string Fragment;
};

TEST(ScenarioReader, EveryErrorNamesItsLineAndWhatWasExpected) {
  const std::vector<TBadFile> Cases = {
      {"not an object", "[1, 2]", 1, "ожидался объект JSON"},
      {"no name", Lines({"{", "  \"tracks\": " + OneTrack, "}"}), 1, "нет обязательного ключа \"name\""},
      {"no tracks", Lines({"{", "  \"name\": \"x\"", "}"}), 1, "нет обязательного ключа \"tracks\""},
      {"empty name", Lines({"{", "  \"tracks\": " + OneTrack + ",", "  \"name\": \"\"", "}"}), 3,
       "\"name\": ожидалась непустая строка (название сценария), найдено \"\""},
      {"variant 4", Lines({"{", "  \"name\": \"x\",", "  \"tracks\": " + OneTrack + ",", "  \"variant\": 4", "}"}), 4,
       "\"variant\": ожидался вариант блока: целое число 1, 2 или 3, найдено 4"},
      {"variant 1.5", Lines({"{", "  \"name\": \"x\", \"tracks\": " + OneTrack + ",", "  \"variant\": 1.5", "}"}), 3,
       "найдено 1.5"},
      {"fault code",
       Lines(
           {"{", "  \"name\": \"x\", \"tracks\": " + OneTrack + ",", "  \"faults\": [\"0105\",", "    \"01G5\"]", "}"}),
       4, "\"faults\": ожидался код неисправности: строка из четырёх шестнадцатеричных цифр"},
      {"fault code as a number",
       Lines({"{", "  \"name\": \"x\", \"tracks\": " + OneTrack + ",", "  \"faults\": [105]", "}"}), 3, "найдено 105"},
      {"repeat 0", Lines({"{", "  \"name\": \"x\", \"tracks\": " + OneTrack + ",", "  \"repeat\": 0", "}"}), 3,
       "\"repeat\": ожидалось целое число проходов от 1 до 1000, найдено 0"},
      {"repeat 1001", Lines({"{", "  \"name\": \"x\", \"tracks\": " + OneTrack + ",", "  \"repeat\": 1001", "}"}), 3,
       "найдено 1001"},
      {"unknown key", Lines({"{", "  \"name\": \"x\", \"tracks\": " + OneTrack + ",", "  \"repaet\": 2", "}"}), 3,
       "неизвестный ключ \"repaet\"; допустимы: name, variant, faults, repeat, tracks, rules"},
      {"repeated key", Lines({"{", "  \"name\": \"x\", \"tracks\": " + OneTrack + ",", "  \"name\": \"y\"", "}"}), 3,
       "ключ \"name\" повторяется"},
      // Tracks (the tracks object stands on line 3).
      {"tracks an array", WithTracks("[]"), 3, "\"tracks\": ожидался объект с треками величин, найдено массив"},
      {"no track", WithTracks("{}"), 3, "нужен хотя бы один трек"},
      {"unknown quantity", WithTracks("{\n  \"SPD\": {\"points\": [[0, 1]]}}"), 4,
       "неизвестная величина \"SPD\"; допустимы: VSS, TOG, RPM, ATP, IMAP, Dv, IAT, Ubat"},
      {"track a number", WithTracks("{\"RPM\":\n  800}"), 4,
       "\"RPM\": ожидался объект трека с \"points\" или \"sweep\""},
      {"points and sweep",
       WithTracks(
           "{\"VSS\": {\"points\": [[0, 1]],\n \"sweep\": {\"from\": 0, \"to\": 1, \"step\": 1, \"dwell\": 1}}}"),
       4, "нужен либо \"points\", либо \"sweep\", а не оба"},
      {"neither", WithTracks("{\"VSS\": {\"interpolate\": \"hold\"}}"), 3, "\"VSS\": нет ни \"points\", ни \"sweep\""},
      {"unknown track key", WithTracks("{\"VSS\": {\"points\": [[0, 1]],\n  \"interpolation\": \"hold\"}}"), 4,
       "неизвестный ключ \"interpolation\"; допустимы: points, interpolate, sweep"},
      {"interpolate cubic", WithTracks("{\"VSS\": {\"points\": [[0, 1]],\n  \"interpolate\": \"cubic\"}}"), 4,
       "\"interpolate\": ожидалось \"linear\" или \"hold\", найдено \"cubic\""},
      {"interpolate a sweep",
       WithTracks(
           "{\"VSS\": {\"interpolate\": \"hold\",\n  \"sweep\": {\"from\": 0, \"to\": 1, \"step\": 1, \"dwell\": 1}}}"),
       3, "\"interpolate\" относится только к \"points\""},
      // Points.
      {"no points", WithTracks("{\"VSS\": {\"points\": []}}"), 3, "\"points\": ожидался непустой массив точек"},
      {"a point of three", WithTracks("{\"VSS\": {\"points\": [[0, 1],\n  [1, 2, 3]]}}"), 4,
       "\"points\": ожидалась точка [время, значение], найдено массив"},
      {"time a text", WithTracks("{\"VSS\": {\"points\": [[0, 1],\n  [\"abc\", 2]]}}"), 4,
       "\"points\": ожидалось число (время, с), найдено \"abc\""},
      {"negative time", WithTracks("{\"VSS\": {\"points\": [\n  [-1, 2]]}}"), 4, "время -1 с вне пределов 0..360000 с"},
      {"time past the limit", WithTracks("{\"VSS\": {\"points\": [[360001, 2]]}}"), 3, "вне пределов"},
      {"time repeated", WithTracks("{\"VSS\": {\"points\": [[0, 1], [5, 2],\n  [5, 3]]}}"), 4,
       "время 5 с не больше времени предыдущей точки (5 с); время точек должно возрастать"},
      {"time going back", WithTracks("{\"VSS\": {\"points\": [[0, 1], [5, 2],\n\n  [4.5, 3]]}}"), 5,
       "время 4.5 с не больше"},
      {"value null", WithTracks("{\"Ubat\": {\"points\": [[0,\n null]]}}"), 4,
       "\"points\": ожидалось число (значение Ubat), найдено null"},
      // A number at the end of its line: the parser reads the line feed after
      // it before the value is taken.
      {"value before a line feed", WithTracks("{\"Ubat\": {\"points\": [[0, 1], [1\n, \"x\"]]}}"), 4, "найдено \"x\""},
      {"time at the end of a line", WithTracks("{\"VSS\": {\"points\": [[0, 1], [0\n, 3]]}}"), 3,
       "время 0 с не больше"},
      // Sweeps.
      {"sweep not an object", WithTracks("{\"VSS\": {\"sweep\": [0, 250]}}"), 3,
       "\"sweep\": ожидался объект {\"from\", \"to\", \"step\", \"dwell\"}"},
      {"sweep without to", WithTracks("{\"VSS\": {\"sweep\": {\"from\": 0, \"step\": 1, \"dwell\": 1}}}"), 3,
       "\"sweep\": нет обязательного ключа \"to\""},
      {"step 0", WithTracks("{\"VSS\": {\"sweep\": {\"from\": 0, \"to\": 250,\n  \"step\": 0, \"dwell\": 1}}}"), 4,
       "\"step\": ожидалось число больше 0 (шаг), найдено 0"},
      {"negative dwell", WithTracks("{\"VSS\": {\"sweep\": {\"from\": 0, \"to\": 250, \"step\": 1,\n\"dwell\": -1}}}"),
       4, "\"dwell\": ожидалось число больше 0 (выдержка, с), найдено -1"},
      {"from a text", WithTracks("{\"VSS\": {\"sweep\": {\"from\": \"0\", \"to\": 250, \"step\": 1, \"dwell\": 1}}}"),
       3, "\"from\": ожидалось число (значение VSS), найдено \"0\""},
      {"unknown sweep key",
       WithTracks("{\"VSS\": {\"sweep\": {\"from\": 0, \"to\": 250, \"step\": 1, \"dwell\": 1,\n"
                  "  \"steps\": 10}}}"),
       4, "неизвестный ключ \"steps\"; допустимы: from, to, step, dwell, start, rest"},
      {"too many sweep values",
       WithTracks("{\"VSS\": {\"sweep\": {\"from\": 0, \"to\": 250, \"step\": 0.0001, \"dwell\": 1}}}"), 3,
       "\"sweep\": больше 1000000 значений"},
      {"sweep past the time limit",
       WithTracks("{\"RPM\": {\"sweep\": {\"from\": 0, \"to\": 10000, \"step\": 1, \"dwell\": 100}}}"), 3,
       "развёртка кончается на 1000100 с, позже 360000 с"},
      {"start negative",
       WithTracks("{\"VSS\": {\"sweep\": {\"from\": 0, \"to\": 1, \"step\": 1, \"dwell\": 1, \"start\": -2}}}"), 3,
       "\"start\": ожидалось число секунд от 0 до 360000, найдено -2"},
      // Rules (the rule stands on line 5).
      {"rules an object", WithTracks(OneTrack, "{}"), 4, "\"rules\": ожидался массив правил, найдено объект"},
      {"rule a text", WithRule("\"late\""), 5, "\"rules\": ожидалось правило: объект {…} с \"action\""},
      {"no action", WithRule("{\"service\": \"21\"}"), 5, "в правиле нет обязательного ключа \"action\""},
      {"unknown action", WithRule("{\"action\": \"drop\"}"), 5,
       "\"action\": ожидалось одно из no_answer, late, bad_checksum, cut, negative, silent, найдено \"drop\""},
      {"late without delay", WithRule("{\"action\": \"late\"}"), 5, "для действия \"late\" нужен ключ \"delay_ms\""},
      {"delay 0", WithRule("{\"action\": \"late\", \"delay_ms\": 0}"), 5,
       "\"delay_ms\": ожидалось целое число от 1 до 60000, найдено 0"},
      {"delay 60001", WithRule("{\"action\": \"late\", \"delay_ms\": 60001}"), 5, "найдено 60001"},
      {"delay with a fraction", WithRule("{\"action\": \"late\", \"delay_ms\": 2.5}"), 5, "найдено 2.5"},
      {"delay for a cut", WithRule("{\"action\": \"cut\", \"cut_bytes\": 2,\n  \"delay_ms\": 100}"), 6,
       "ключ \"delay_ms\" не относится к действию \"cut\""},
      {"cut without bytes", WithRule("{\"action\": \"cut\"}"), 5, "для действия \"cut\" нужен ключ \"cut_bytes\""},
      {"cut -1", WithRule("{\"action\": \"cut\", \"cut_bytes\": -1}"), 5,
       "\"cut_bytes\": ожидалось целое число от 0 до 259, найдено -1"},
      {"negative without code", WithRule("{\"action\": \"negative\"}"), 5,
       "для действия \"negative\" нужен ключ \"code\""},
      {"code 33", WithRule("{\"action\": \"negative\", \"code\": \"33\"}"), 5,
       "\"code\": ожидался код отрицательного ответа \"10\", \"11\", \"12\", \"21\", \"22\", \"31\" или \"78\", "
       "найдено \"33\""},
      {"code a number", WithRule("{\"action\": \"negative\", \"code\": 78}"), 5, "найдено 78"},
      {"pending 0", WithRule("{\"action\": \"negative\", \"code\": \"78\", \"pending_ms\": 0}"), 5,
       "\"pending_ms\": ожидалось целое число от 1 до 5000, найдено 0"},
      {"pending 5001", WithRule("{\"action\": \"negative\", \"code\": \"78\", \"pending_ms\": 5001}"), 5,
       "найдено 5001"},
      {"pending for code 10", WithRule("{\"action\": \"negative\", \"code\": \"10\",\n  \"pending_ms\": 100}"), 6,
       "ключ \"pending_ms\" относится только к коду \"78\""},
      {"pending for silence", WithRule("{\"action\": \"silent\", \"silent_ms\": 10, \"pending_ms\": 100}"), 5,
       "ключ \"pending_ms\" не относится к действию \"silent\""},
      {"silent 0", WithRule("{\"action\": \"silent\", \"silent_ms\": 0}"), 5,
       "\"silent_ms\": ожидалось целое число от 1 до 600000, найдено 0"},
      {"silent without time", WithRule("{\"action\": \"silent\"}"), 5, "нужен ключ \"silent_ms\""},
      {"service of one digit", WithRule("{\"action\": \"no_answer\", \"service\": \"2\"}"), 5,
       "\"service\": ожидался байт: строка из двух шестнадцатеричных цифр, например \"21\", найдено \"2\""},
      {"service as a number", WithRule("{\"action\": \"no_answer\", \"service\": 33}"), 5, "найдено 33"},
      {"identifier not hex", WithRule("{\"action\": \"no_answer\",\n \"identifier\": \"XY\"}"), 6,
       "\"identifier\": ожидался байт"},
      {"every 0", WithRule("{\"action\": \"no_answer\", \"every\": 0}"), 5,
       "\"every\": ожидалось целое число от 1 до 1000000, найдено 0"},
      {"window reversed", WithRule("{\"action\": \"no_answer\", \"from\": 10,\n  \"to\": 5}"), 6,
       "\"to\" (5 с) должно быть больше \"from\" (10 с)"},
      {"window empty", WithRule("{\"action\": \"no_answer\", \"from\": 10, \"to\": 10}"), 5, "должно быть больше"},
      {"from negative", WithRule("{\"action\": \"no_answer\", \"from\": -1}"), 5,
       "\"from\": ожидалось число секунд от 0 до 360000, найдено -1"},
      {"name a number", WithRule("{\"action\": \"no_answer\", \"name\": 1}"), 5,
       "\"name\": ожидалась строка (название правила), найдено 1"},
      {"unknown rule key", WithRule("{\"action\": \"no_answer\",\n \"window\": [1, 2]}"), 6,
       "неизвестный ключ \"window\"; допустимы: name, service, identifier, every, from, to, action"},
  };
  for (const TBadFile& C : Cases) {
    SCOPED_TRACE(C.What);
    const TScenarioLoad Load = LoadScenario(C.Text);
    EXPECT_FALSE(Load.Scenario) << "a file with an error loads nothing";
    ASSERT_EQ(Load.Errors.size(), 1u) << (Load.Errors.empty() ? C.Text : Load.Errors[1].Text);
    EXPECT_EQ(Load.Errors[0].Line, C.Line) << Load.Errors[0].Text;
    EXPECT_EQ(Load.Errors[0].Text.rfind("строка " + std::to_string(C.Line) + ": ", 0), 0u) << Load.Errors[0].Text;
    EXPECT_NE(Load.Errors[0].Text.find(C.Fragment), std::string::npos) << Load.Errors[0].Text;
  }
}

TEST(ScenarioReader, ListsEveryErrorOfAFile) {
  const std::string Text = Lines({
      "{",                                                 // 1
      "  \"name\": 7,",                                    // 2
      "  \"variant\": 0,",                                 // 3
      "  \"tracks\": {",                                   // 4
      "    \"VSS\": {\"points\": [[0, 1], [\"a\", 2]]},",  // 5
      "    \"XYZ\": {\"points\": [[0, 1]]}",               // 6
      "  },",                                              // 7
      "  \"rules\": [{\"action\": \"late\"}]",             // 8
      "}",
  });
  const TScenarioLoad Load = LoadScenario(Text);
  EXPECT_FALSE(Load.Scenario);
  std::vector<int> Lines;
  for (const auto& E : Load.Errors) Lines.push_back(E.Line);
  EXPECT_EQ(Lines, (std::vector<int>{2, 3, 5, 6, 8}));
}

TEST(ScenarioReader, SyntaxErrorsGiveTheLineWhereTheParserStopped) {
  const std::vector<TBadFile> Cases = {
      {"empty text", "", 1, "ошибка синтаксиса JSON"},
      {"missing comma", "{\n  \"name\": \"x\"\n  \"tracks\": {}\n}", 3, "ошибка синтаксиса JSON в столбце 10"},
      {"trailing comma", "{\n  \"name\": \"x\",\n  \"tracks\": {},\n}\n", 4, "ошибка синтаксиса JSON в столбце 1"},
      {"unclosed string", "{\n  \"name\": \"Город\n\"}", 2, "ошибка синтаксиса JSON"},
      {"a bare word", "{\"name\": \"x\",\n\n \"tracks\": {\"VSS\": {\"points\": [[0, fast]]}}}", 3,
       "ошибка синтаксиса JSON"},
      {"column counts characters", "{\"name\": \"Город\", x}", 1, "в столбце 19"},
      {"unclosed object", "{\n  \"name\": \"x\",\n  \"tracks\": {\"VSS\": {\"points\": [[0, 1]]}}\n", 4,
       "ошибка синтаксиса JSON"},
      {"text after the object", "{\"name\": \"x\", \"tracks\": {}}\n\n}", 3, "ошибка синтаксиса JSON"},
      {"a number beyond double", "{\"name\": \"x\",\n \"tracks\": {\"VSS\": {\"points\": [[0, 1e999]]}}}", 2,
       "число вне допустимых пределов"},
      {"not UTF-8", "{\"name\": \"\xC0\xC1\",\n \"tracks\": {}}", 1, "ошибка синтаксиса JSON"},
  };
  for (const TBadFile& C : Cases) {
    SCOPED_TRACE(C.What);
    const TScenarioLoad Load = LoadScenario(C.Text);
    EXPECT_FALSE(Load.Scenario);
    ASSERT_EQ(Load.Errors.size(), 1u);
    EXPECT_EQ(Load.Errors[0].Line, C.Line) << Load.Errors[0].Text;
    EXPECT_NE(Load.Errors[0].Text.find(C.Fragment), std::string::npos) << Load.Errors[0].Text;
  }
}

TEST(ScenarioReader, EveryCutOfAGoodFileIsRefusedWithALineInsideIt) {
  // Cut short anywhere, the example is an error on a line it has; never a
  // crash, never a scenario.
  const std::string Full = ExampleText;
  const int LastLine = static_cast<int>(std::count(Full.begin(), Full.end(), '\n')) + 1;
  for (size_t Length = 0; Length + 2 < Full.size(); ++Length) {
    const TScenarioLoad Load = LoadScenario(Full.substr(0, Length));
    ASSERT_FALSE(Load.Scenario) << Length;
    ASSERT_FALSE(Load.Errors.empty()) << Length;
    EXPECT_GE(Load.Errors[0].Line, 1) << Length;
    EXPECT_LE(Load.Errors[0].Line, LastLine) << Length;
  }
}

TEST(ScenarioReader, ValuesBeyondAGaugeAreClampedWithAWarning) {
  const std::string Text = Lines({
      "{",                                                                                // 1
      "  \"name\": \"x\",",                                                               // 2
      "  \"tracks\": {",                                                                  // 3
      "    \"VSS\": {\"points\": [[0, 10],",                                              // 4
      "       [5, 300]]},",                                                               // 5
      "    \"TOG\": {\"points\": [[0, -45.5]]},",                                         // 6
      "    \"Ubat\": {\"sweep\": {\"from\": -1, \"to\": 25, \"step\": 5, \"dwell\": 1,",  // 7
      "               \"rest\": 30}}",                                                    // 8
      "  }",
      "}",
  });
  const TScenarioLoad Load = LoadScenario(Text);
  ASSERT_TRUE(Load.Scenario) << Load.Errors[0].Text;
  std::vector<std::string> Warnings;
  for (const auto& W : Load.Warnings) Warnings.push_back(W.Text);
  EXPECT_EQ(Warnings, (std::vector<std::string>{
                          "строка 5: значение 300 вне шкалы 0..250 для VSS, будет 250",
                          "строка 6: значение -45.5 вне шкалы -40..160 для TOG, будет -40",
                          "строка 7: значение -1 вне шкалы 0..20 для Ubat, будет 0",
                          "строка 7: значение 25 вне шкалы 0..20 для Ubat, будет 20",
                          "строка 8: значение 30 вне шкалы 0..20 для Ubat, будет 20",
                      }));
  const TScenario& S = *Load.Scenario;
  EXPECT_EQ(S.Track(TEcuField::VSS)->ValueAt(5), 250);
  EXPECT_EQ(S.Track(TEcuField::TOG)->ValueAt(0), -40);
  // The sweep runs over the clamped range: 0, 5, 10, 15, 20.
  EXPECT_EQ(S.Track(TEcuField::Ubat)->Sweep.ValueCount(), 5);
  EXPECT_EQ(S.Track(TEcuField::Ubat)->ValueAt(4.5), 20);
  EXPECT_EQ(S.Track(TEcuField::Ubat)->ValueAt(5), 20) << "the rest, clamped";
}

TEST(ScenarioReader, RulesThatTakeEveryRequestOrNeverActAreWarnedOf) {
  // The pass is 10 s long (OneTrack).
  const TScenarioLoad Load = LoadScenario(WithTracks(OneTrack, Lines({
                                                                   "[",
                                                                   "  {\"action\": \"no_answer\"},",
                                                                   "  {\"action\": \"no_answer\", \"every\": 2},",
                                                                   "  {\"action\": \"no_answer\", \"to\": 1},",
                                                                   "  {\"action\": \"no_answer\", \"from\": 9.5},",
                                                                   "  {\"action\": \"no_answer\", \"from\": 10},",
                                                                   "  {\"action\": \"silent\", \"silent_ms\": 10,",
                                                                   "   \"service\": \"21\", \"from\": 12.5}",
                                                                   "]",
                                                               })));
  ASSERT_TRUE(Load.Scenario);
  EXPECT_EQ(Load.Scenario->Rules.size(), 6u) << "warned of, the rules still load";
  std::vector<std::string> Warnings;
  for (const auto& W : Load.Warnings) Warnings.push_back(W.Text);
  EXPECT_EQ(Warnings, (std::vector<std::string>{
                          "строка 5: правило действует на каждый запрос всё время сценария (нет ни \"service\", ни "
                          "\"identifier\", ни \"every\", ни \"from\"/\"to\")",
                          "строка 9: правило начинается на 10 с, не раньше конца прохода (10 с), и не сработает",
                          "строка 10: правило начинается на 12.5 с, не раньше конца прохода (10 с), и не сработает",
                      }));
}

TEST(ScenarioReader, ALoneRuleReadsAsInAScenarioWithTheSameMessages) {
  const TFaultRuleLoad Good = LoadFaultRule(
      R"({"service": "21", "identifier": "06", "every": 2, "from": 1.5, "to": 3, "action": "negative",
          "code": "78", "pending_ms": 1500, "name": "ждать"})");
  ASSERT_TRUE(Good.Rule) << (Good.Errors.empty() ? "" : Good.Errors[0].Text);
  EXPECT_EQ(Good.Rule->Service, uint8_t{0x21});
  EXPECT_EQ(Good.Rule->Identifier, uint8_t{0x06});
  EXPECT_EQ(Good.Rule->EveryNth, 2u);
  EXPECT_EQ(Good.Rule->FromMs, 1500);
  EXPECT_EQ(Good.Rule->ToMs, 3000);
  EXPECT_EQ(Good.Rule->Action, TFaultAction::Negative);
  EXPECT_EQ(Good.Rule->NegativeCode, 0x78);
  EXPECT_EQ(Good.Rule->PendingMs, 1500);
  EXPECT_EQ(Good.Rule->Name, "ждать");

  const std::pair<const char*, std::vector<std::string>> Bad[] = {
      {R"({"action": "late"})", {"строка 1: для действия \"late\" нужен ключ \"delay_ms\""}},
      {"{\"action\": \"cut\",\n \"cut_bytes\": 300, \"colour\": 1}",
       {"строка 2: \"cut_bytes\": ожидалось целое число от 0 до 259, найдено 300",
        "строка 2: неизвестный ключ \"colour\"; допустимы: name, service, identifier, every, from, to, action, "
        "delay_ms, cut_bytes, code, pending_ms, silent_ms"}},
      {R"({"action": "no_answer", "action": "late"})", {"строка 1: ключ \"action\" повторяется в одном объекте"}},
      {R"({"action": "no_answer")",
       {"строка 1: ошибка синтаксиса JSON в столбце 23 (syntax error while parsing "
        "object - unexpected end of input; expected '}')"}},
      {"",
       {"строка 1: ошибка синтаксиса JSON в столбце 1 (syntax error while parsing value - unexpected end of "
        "input; expected '[', '{', or a literal)"}},
  };
  for (const auto& [Text, Expected] : Bad) {
    const TFaultRuleLoad Load = LoadFaultRule(Text);
    EXPECT_FALSE(Load.Rule) << Text;
    std::vector<std::string> Errors;
    for (const TScenarioMessage& E : Load.Errors) Errors.push_back(E.Text);
    EXPECT_EQ(Errors, Expected) << Text;
  }
}

TEST(ScenarioReader, MessagesStopAtAHundredAndSayHowManyMore) {
  std::string Points = "[0, 1000]";
  for (int I = 1; I < 150; ++I) Points += ",\n[" + std::to_string(I) + ", 1000]";
  const TScenarioLoad Warned = LoadScenario(WithTracks("{\"VSS\": {\"points\": [" + Points + "]}}"));
  ASSERT_TRUE(Warned.Scenario);
  ASSERT_EQ(Warned.Warnings.size(), MaxScenarioMessages + 1);
  EXPECT_EQ(Warned.Warnings[99].Line, 102);
  EXPECT_EQ(Warned.Warnings.back().Text, "не показано предупреждений: 50");

  const TScenarioLoad Failed = LoadScenario(WithTracks("{\"VSS\": {\"points\": [" + Points + "]}}", "7"));
  ASSERT_FALSE(Failed.Scenario);
  ASSERT_EQ(Failed.Errors.size(), 1u) << "the rules' error; the warnings stay";
  EXPECT_EQ(Failed.Warnings.size(), MaxScenarioMessages + 1);
}

// Points of one track, a quarter of a second apart: [0,0],[0.25,0],...
std::string ManyPoints(int Count) {
  std::string Text;
  Text.reserve(static_cast<size_t>(Count) * 14);
  for (int I = 0; I < Count; ++I) {
    if (I > 0) Text += ',';
    Text += '[' + std::to_string(I / 4);
    const char* const Quarters[] = {"", ".25", ".5", ".75"};
    Text += Quarters[I % 4];
    Text += ",0]";
  }
  return Text;
}

TEST(ScenarioReader, LimitsOfSizeAndPointsAreReachedExactly) {
  // The limits' logic, with a limit of 1000 points: 1000 load; one more, in
  // another track, is refused while parsing, at the line that passes it.
  TScenarioLimits Small;
  Small.MaxPoints = 1000;
  const std::string Thousand = "{\"RPM\": {\"points\": [" + ManyPoints(1000) + "]}";
  const TScenarioLoad Full = LoadScenario(WithTracks(Thousand + "}"), Small);
  ASSERT_TRUE(Full.Scenario) << Full.Errors[0].Text;
  EXPECT_EQ(Full.Scenario->PassMs(), 249'750);
  const TScenarioLoad Over = LoadScenario(WithTracks(Thousand + ",\n\"VSS\": {\"points\": [[0, 1]]}}"), Small);
  ASSERT_FALSE(Over.Scenario);
  ASSERT_EQ(Over.Errors.size(), 1u);
  EXPECT_EQ(Over.Errors[0].Text, "строка 4: в сценарии больше 1000 точек; такой сценарий не загружается");
  // The values of sweeps count with the points: 998 + 2 load, 999 + 2 do not.
  for (const auto& [To, Loads] : {std::pair{99.7, true}, std::pair{99.8, false}}) {
    const std::string Text = WithTracks(
        "{\"VSS\": {\"points\": [[0, 1], [1, 2]]},\n"
        "\"RPM\": {\"sweep\": {\"from\": 0, \"to\": " +
        std::to_string(To) + ", \"step\": 0.1, \"dwell\": 0.01}}}");
    const TScenarioLoad Load = LoadScenario(Text, Small);
    ASSERT_EQ(Load.Scenario.has_value(), Loads) << To;
    if (!Loads) {
      ASSERT_EQ(Load.Errors.size(), 1u);
      EXPECT_EQ(Load.Errors[0].Text, "строка 3: в треках 1001 точек вместе со значениями разверток, больше 1000");
    }
  }
  // Values of any kind are bounded too: 3 x 1000 + 100000 of them.
  std::string Codes = "\"0105\"";
  for (int I = 1; I < 103'000; ++I) Codes += ",\"0105\"";
  const TScenarioLoad Many = LoadScenario("{\"faults\": [" + Codes + "]}", Small);
  ASSERT_EQ(Many.Errors.size(), 1u);
  EXPECT_EQ(Many.Errors[0].Text, "строка 1: в файле больше 103000 значений; сценарий столько не вмещает");

  // Bytes: a limit of 4096 takes 4096 bytes (blanks, then an object) and
  // refuses 4097 before parsing anything.
  TScenarioLimits Bytes;
  Bytes.MaxBytes = 4096;
  std::string Largest(4096, ' ');
  const std::string Tail = WithTracks(OneTrack);
  Largest.replace(Largest.size() - Tail.size(), Tail.size(), Tail);
  EXPECT_TRUE(LoadScenario(Largest, Bytes).Scenario);
  const TScenarioLoad TooBig = LoadScenario(" " + Largest, Bytes);
  ASSERT_EQ(TooBig.Errors.size(), 1u);
  EXPECT_EQ(TooBig.Errors[0].Line, 0);
  EXPECT_EQ(TooBig.Errors[0].Text, "файл сценария больше 4096 байт (4097 байт); такой файл не загружается");
}

TEST(ScenarioReader, LimitsOfTheFileFormat) {
  // 16 MiB and a million points: a text one byte longer, and 999 999
  // values of a sweep with two points.
  const TScenarioLoad TooBig = LoadScenario(std::string(MaxScenarioBytes + 1, ' '));
  ASSERT_EQ(TooBig.Errors.size(), 1u);
  EXPECT_EQ(TooBig.Errors[0].Text, "файл сценария больше 16 МиБ (16777217 байт); такой файл не загружается");
  const TScenarioLoad WithSweep = LoadScenario(
      WithTracks("{\"VSS\": {\"points\": [[0, 1], [1, 2]]},\n"
                 "\"RPM\": {\"sweep\": {\"from\": 0, \"to\": 9999.98, \"step\": 0.01, \"dwell\": 0.001}}}"));
  ASSERT_EQ(WithSweep.Errors.size(), 1u);
  EXPECT_EQ(WithSweep.Errors[0].Text,
            "строка 3: в треках 1000001 точек вместе со значениями разверток, больше 1000000");

  // Nesting deeper than any scenario needs.
  const std::string Deep = WithTracks("{\"VSS\": {\"points\": " + std::string(100, '[') + std::string(100, ']') + "}}");
  const TScenarioLoad DeepLoad = LoadScenario(Deep);
  ASSERT_EQ(DeepLoad.Errors.size(), 1u);
  EXPECT_EQ(DeepLoad.Errors[0].Text, "строка 3: вложенность глубже 64 уровней");
}

class ScenarioFile : public ::testing::Test {
protected:
  void SetUp() override {
    FDir = std::filesystem::temp_directory_path() /
           ("scenario_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(FDir);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  std::filesystem::path FDir;
};

TEST_F(ScenarioFile, ReadsAFileByItsUtf8NameAndRefusesAHugeOneUnread) {
  const std::filesystem::path Good = FDir / std::filesystem::path(u8"сценарий.json");
  std::ofstream(Good, std::ios::binary) << ExampleText;
  const std::u8string Name = Good.u8string();
  const TScenarioLoad Load = LoadScenarioFile(std::string(Name.begin(), Name.end()));
  ASSERT_TRUE(Load.Scenario) << (Load.Errors.empty() ? "" : Load.Errors[0].Text);
  EXPECT_EQ(Load.Scenario->Name, "Городской цикл");

  const std::filesystem::path Huge = FDir / "huge.json";
  std::ofstream(Huge, std::ios::binary).close();
  std::filesystem::resize_file(Huge, MaxScenarioBytes + 1);
  const TScenarioLoad TooBig = LoadScenarioFile(Huge.string());
  ASSERT_EQ(TooBig.Errors.size(), 1u);
  EXPECT_EQ(TooBig.Errors[0].Text, "файл сценария больше 16 МиБ (16777217 байт); такой файл не загружается");

  const TScenarioLoad Missing = LoadScenarioFile((FDir / "missing.json").string());
  ASSERT_EQ(Missing.Errors.size(), 1u);
  EXPECT_EQ(Missing.Errors[0].Line, 0);
  EXPECT_NE(Missing.Errors[0].Text.find("не удалось открыть файл сценария"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Tracks

TTrack PointsTrack(std::vector<TTrackPoint> Points, TInterpolation Interpolation) {
  TTrack T;
  T.Points = std::move(Points);
  T.Interpolation = Interpolation;
  return T;
}

TTrack SweepTrack(double From, double To, double Step, double DwellS, double StartS = 0,
                  std::optional<double> Rest = std::nullopt) {
  TTrack T;
  T.IsSweep = true;
  T.Sweep = {From, To, Step, DwellS, StartS, Rest};
  return T;
}

TEST(ScenarioTrack, PointsLinearAndHeldAtAndAroundTheirEnds) {
  const std::vector<TTrackPoint> P = {{2, 10}, {4, 30}, {10, 0}};
  const TTrack Linear = PointsTrack(P, TInterpolation::Linear);
  const TTrack Hold = PointsTrack(P, TInterpolation::Hold);
  struct TCase {
    double TimeS, Linear, Hold;
  };
  for (const TCase& C : std::vector<TCase>{
           {-1, 10, 10},   // before the first point: the first value
           {0, 10, 10},    //
           {2, 10, 10},    // at the first point
           {3, 20, 10},    // half way
           {3.5, 25, 10},  //
           {4, 30, 30},    // exactly at a point
           {7, 15, 30},    // going down
           {9.999, 0.005, 30},
           {10, 0, 0},   // at the last point
           {1e6, 0, 0},  // after the end: the last value
       }) {
    EXPECT_NEAR(Linear.ValueAt(C.TimeS), C.Linear, 1e-9) << C.TimeS;
    EXPECT_EQ(Hold.ValueAt(C.TimeS), C.Hold) << C.TimeS;
  }
  EXPECT_EQ(Linear.EndS(), 10);
  const TTrack One = PointsTrack({{5, 42}}, TInterpolation::Linear);
  for (double T : {0.0, 5.0, 100.0}) EXPECT_EQ(One.ValueAt(T), 42);
}

TSweep Sweep(double From, double To, double Step) {
  TSweep S;
  S.From = From;
  S.To = To;
  S.Step = Step;
  return S;
}

TEST(ScenarioTrack, SweepsVisitEveryStepAndLandOnTheirEnd) {
  struct TCase {
    const char* What;
    TSweep Sweep;
    std::vector<double> Values;
  };
  const std::vector<TCase> Cases = {
      {"exact multiple", Sweep(0, 100, 25), {0, 25, 50, 75, 100}},
      {"not a multiple: the last step is shorter",
       Sweep(0, 255, 25),
       {0, 25, 50, 75, 100, 125, 150, 175, 200, 225, 250, 255}},
      {"downwards", Sweep(160, -40, 30), {160, 130, 100, 70, 40, 10, -20, -40}},
      {"downwards exact", Sweep(20, 0, 5), {20, 15, 10, 5, 0}},
      {"decimal step", Sweep(0, 1, 0.1), {0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1}},
      {"step larger than the range", Sweep(10, 12, 5), {10, 12}},
      {"one value", Sweep(7, 7, 1), {7}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    ASSERT_EQ(C.Sweep.ValueCount(), static_cast<int64_t>(C.Values.size()));
    for (size_t I = 0; I < C.Values.size(); ++I)
      EXPECT_NEAR(C.Sweep.ValueOf(static_cast<int64_t>(I)), C.Values[I], 1e-12);
    EXPECT_EQ(C.Sweep.ValueOf(static_cast<int64_t>(C.Values.size()) - 1), C.Values.back()) << "exactly the end";
  }
}

TEST(ScenarioTrack, SweepInTimeBeforeDuringAndAfter) {
  // -40..160 by 10, 0.1 s each, starting at 2 s: 21 values, ends at 4.1 s.
  const TTrack Plain = SweepTrack(-40, 160, 10, 0.1, 2);
  EXPECT_NEAR(Plain.EndS(), 4.1, 1e-12);
  EXPECT_EQ(Plain.ValueAt(0), -40) << "before the start: the first value";
  EXPECT_EQ(Plain.ValueAt(2), -40);
  EXPECT_EQ(Plain.ValueAt(2.0999), -40);
  EXPECT_EQ(Plain.ValueAt(2.7), 30);
  // 0.7 s is 7 dwells in although 0.7 / 0.1 is 6.999...
  EXPECT_EQ(SweepTrack(-40, 160, 10, 0.1).ValueAt(0.7), 30);
  EXPECT_EQ(Plain.ValueAt(4.05), 160) << "the last value";
  EXPECT_EQ(Plain.ValueAt(4.1), 160) << "after the end";
  EXPECT_EQ(Plain.ValueAt(1000), 160);

  const TTrack Rest = SweepTrack(250, 0, 50, 1, 1, 20);
  EXPECT_EQ(Rest.ValueAt(0.999), 20) << "before the start: the rest";
  EXPECT_EQ(Rest.ValueAt(1), 250);
  EXPECT_EQ(Rest.ValueAt(3.5), 150);
  EXPECT_EQ(Rest.ValueAt(6.999), 0);
  EXPECT_EQ(Rest.ValueAt(7), 20) << "after the end: the rest";
  EXPECT_EQ(Rest.EndS(), 7);
}

TEST(ScenarioTrack, PassIsTheLatestEndOfAnyTrack) {
  TScenario S;
  EXPECT_EQ(S.PassMs(), 0);
  S.Tracks[FieldIndex(TEcuField::VSS)] = PointsTrack({{0, 1}, {12.3456, 2}}, TInterpolation::Hold);
  EXPECT_EQ(S.PassMs(), 12346);
  S.Tracks[FieldIndex(TEcuField::Dv)] = SweepTrack(0, 25, 5, 2.5, 0.5);  // 6 values: ends at 15.5 s
  EXPECT_EQ(S.PassMs(), 15500);
}

}  // namespace
