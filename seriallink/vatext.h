// The texts of the component's messages and device names: the one "%"
// substitution and the one trimming of the system's error texts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace vacomm_detail {

// One argument of a text: Kind is the letter of the directive that takes it.
struct TVaFormatArg {
  char Kind;  // 'd' or 's'
  std::string Text;
};
inline TVaFormatArg VaIntArg(int64_t Value) { return {'d', std::to_string(Value)}; }
inline TVaFormatArg VaTextArg(std::string Text) { return {'s', std::move(Text)}; }

// Format with its directives replaced, in order: "%%" gives "%"; "%d" or
// "%s" takes the next argument when that argument is of its kind and is
// otherwise kept as it stands (so "COM%d" with a port number leaves a "%s"
// alone); any other "%" is kept. Arguments are inserted as they are, never
// read as format texts themselves.
std::string VaSubstitute(const std::string& Format, std::initializer_list<TVaFormatArg> Args);

// A system error text as the messages insert it: without the trailing
// blanks, line ends (every character up to 0x20) and full stops that the
// system's message tables end their texts with. Bytes of multi-byte UTF-8
// characters are all above 0x7F, so a text in any language stays whole.
std::string VaTrimSystemText(std::string Text);

}  // namespace vacomm_detail
