#include "vatext.h"

#include "vadevice.h"

namespace vacomm_detail {

std::string VaSubstitute(const std::string& Format, std::initializer_list<TVaFormatArg> Args) {
  std::string Result;
  auto Arg = Args.begin();
  for (size_t i = 0; i < Format.size(); ++i) {
    const char c = Format[i];
    if (c == '%' && i + 1 < Format.size()) {
      const char n = Format[i + 1];
      if (n == '%') {
        Result += '%';
        ++i;
        continue;
      }
      if (Arg != Args.end() && n == Arg->Kind) {
        Result += Arg->Text;
        ++Arg;
        ++i;
        continue;
      }
    }
    Result += c;
  }
  return Result;
}

std::string VaTrimSystemText(std::string Text) {
  while (!Text.empty() && (static_cast<unsigned char>(Text.back()) <= 0x20 || Text.back() == '.')) Text.pop_back();
  return Text;
}

std::string VaCommErrorText(const char* Format, int Code) {
  return VaSubstitute(Format, {VaIntArg(Code), VaTextArg(VaSystemErrorText(Code))});
}

void VaRaiseCommError(const char* Format, int Code) { throw EVaSystemError(VaCommErrorText(Format, Code), Code); }

}  // namespace vacomm_detail
