// The live data records of the three variants and the fault code report.
//
// Every value code is computed from the current text of its edit field, in
// extended precision, multiplication before division, rounded half to even.
// Codes are saturated at 0..255 (two-byte codes at 0..65535), so a value out
// of range never adds hex digits and every byte keeps its place in the record.

#include <algorithm>

#include "ecu_emulator.h"
#include "numtext.h"

namespace {

// The decimals 17.9 and 208.1 as the nearest extended-precision values.
constexpr long double FullScaleVoltage = 17.9L;
constexpr long double FullScaleInjection2 = 208.1L;

long long Saturate(long long Value, long long Max) { return std::clamp<long long>(Value, 0, Max); }

// One data byte as two hex digits.
std::string Byte(long long Code) { return IntToHex(Saturate(Code, 0xFF), 2); }

// A two-byte value as "LL HH", low byte first.
std::string Word(long long Code) {
  const long long W = Saturate(Code, 0xFFFF);
  return IntToHex(W % 256, 2) + " " + IntToHex(W / 256, 2);
}

class TCodes {
public:
  explicit TCodes(const TEcuPanel& Panel) : Panel(Panel) {}

  long double Float(TEcuField Field) const { return StrToFloat(Panel.FieldText(Field)); }
  long long Integer(TEcuField Field) const { return StrToInt(Panel.FieldText(Field)); }

  // Temperatures: 0.75 degC per count, 0 at -48 degC.
  long long Temperature(TEcuField Field) const {
    return RoundHalfEven((static_cast<long double>(Integer(Field)) + 48) / 0.75L);
  }
  long long Voltage() const { return RoundHalfEven(Float(TEcuField::Ubat) * 255 / FullScaleVoltage); }
  long long Throttle() const { return RoundHalfEven(Float(TEcuField::ATP) * 255 / 100); }
  // Engine speed in quarter revolutions per minute.
  long long EngineSpeed4() const { return RoundHalfEven(Float(TEcuField::RPM) * 4); }
  long long Injection2() const { return RoundHalfEven(Float(TEcuField::Dv) * 255 / FullScaleInjection2); }
  // Vehicle speed of variants 2 and 3: 1.25 km/h per count, integer text.
  long long Speed23() const { return RoundHalfEven(static_cast<long double>(Integer(TEcuField::VSS)) * 256 / 320); }

private:
  const TEcuPanel& Panel;
};

// Identifiers 0x03 and 0x06, the same in variants 2 and 3.
std::string Record23Injection(const TCodes& C) {
  std::string Text = "61 03 00 00 00 00 00 00 00 00 ";
  for (int I = 0; I < 4; ++I) Text += Byte(C.Injection2());
  return Text + " 00 00 00 00 00 00";
}

std::string Record23Speed(const TCodes& C) { return "61 06 00 00 00 00 00 00 00 00" + Byte(C.Speed23()); }

// Identifier 0x02 of variants 2 and 3; they differ in the pressure reading
// and in data byte 25, which variant 3 fills with the engine speed / 40. The
// fields are read in the order of the bytes they fill.
std::string Record23Main(const TCodes& C, int Variant) {
  const long long Pressure = Variant == 2 ? C.Integer(TEcuField::IMAP) : RoundHalfEven(C.Float(TEcuField::IMAP));
  std::string Text = "61 02 00 00 00 00 00 00 00 00 00 00 00 " + Byte(Pressure);
  Text += " 00 00 00 00 00 00 00 00 " + Byte(C.Throttle()) + " 00 00 ";
  Text +=
      Variant == 3 ? Byte(RoundHalfEven(static_cast<long double>(C.Integer(TEcuField::RPM)) / 40)) : std::string("00");
  Text += " 00 " + Byte(C.Voltage());
  Text += " 00 " + Byte(C.Temperature(TEcuField::TOG));
  Text += " 00 " + Byte(C.Temperature(TEcuField::IAT));
  return Text;
}

}  // namespace

void TEcuEmulator::AnswerVariant1(uint8_t LocalId) {
  const TCodes C(Panel);
  if (LocalId == 0x01) {
    SendAnswer("61 01 00 00 FF FF 00 00 00");
  } else if (LocalId == 0x02) {
    SendAnswer("61 02 00 00 00 00 00 FF FF 00 00 00");
  } else if (LocalId == 0x05) {
    SendAnswer("61 05 11 22 33 44 55 66 77 88 99 00 00");
  } else if (LocalId == 0x03) {
    std::string Text = "61 03 00 00 " + Byte(C.Voltage());
    Text += Byte(C.Temperature(TEcuField::TOG));
    Text += Byte(C.Temperature(TEcuField::IAT));
    Text += Byte(C.Throttle());
    SendAnswer(Text + " 00 00 00");
  } else if (LocalId == 0x04) {
    // The pressure product is formed in 64 bits: any 32-bit text fits.
    const long long Pressure = RoundHalfEven(static_cast<long double>(C.Integer(TEcuField::IMAP) * 65535) / 256);
    std::string Text = "61 04 ";
    Text += Word(Pressure);
    Text += " 00 00 ";
    for (int I = 0; I < 4; ++I) {
      Text += ' ';
      Text += Word(RoundHalfEven(C.Float(TEcuField::Dv) * 65535 / 175));
    }
    SendAnswer(Text);
  } else if (LocalId == 0x06) {
    std::string Text = "61 06 " + Byte(RoundHalfEven(C.Float(TEcuField::VSS) / 1.25L)) + " 00 00 ";
    Text += Word(C.EngineSpeed4());
    SendAnswer(Text + " 00 00 00 00 00 00 00");
  }
}

void TEcuEmulator::AnswerVariant2(uint8_t LocalId) {
  const TCodes C(Panel);
  if (LocalId == 0x02) SendAnswer(Record23Main(C, 2));
  else if (LocalId == 0x03) SendAnswer(Record23Injection(C));
  else if (LocalId == 0x05) SendAnswer("61 05 00 00 00 00 00 00 00 " + Word(C.EngineSpeed4()));
  else if (LocalId == 0x06) SendAnswer(Record23Speed(C));
}

void TEcuEmulator::AnswerVariant3(uint8_t LocalId) {
  const TCodes C(Panel);
  if (LocalId == 0x02) SendAnswer(Record23Main(C, 3));
  else if (LocalId == 0x03) SendAnswer(Record23Injection(C));
  else if (LocalId == 0x06) SendAnswer(Record23Speed(C));
}

void TEcuEmulator::AnswerFaultCodes() {
  // 2 + 3 x K data bytes; the long header carries up to 255 of them, so at
  // most 84 codes are sent and the count byte counts those sent.
  constexpr int MaxCodes = (255 - 2) / 3;
  int K = 0;
  std::string Codes;
  const int Items = Panel.FaultCodeCount();
  for (int I = 0; I < Items && K < MaxCodes; ++I) {
    if (!Panel.FaultCodeChecked(I)) continue;
    // The code is the item's first four characters, read as two hex bytes.
    const std::string Text = Panel.FaultCodeText(I);
    // An item that does not begin with four hex digits would shift every
    // later byte of the answer: it is refused instead.
    const std::string Code = Text.substr(0, 4);
    const bool Valid = Code.size() == 4 && std::all_of(Code.begin(), Code.end(), [](char Ch) {
                         return (Ch >= '0' && Ch <= '9') || (Ch >= 'A' && Ch <= 'F') || (Ch >= 'a' && Ch <= 'f');
                       });
    if (!Valid) throw EConvertError("'" + Text + "' is not a valid fault code");
    Codes += Code + " E0";
    ++K;
  }
  SendAnswer("58 " + IntToHex(K, 2) + " " + Codes);
}
