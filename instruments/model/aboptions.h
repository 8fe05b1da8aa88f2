#pragma once

#include <cstdint>
#include <initializer_list>

// A set of options of an instrument (the enumerators are bit numbers).
template <typename TOption>
class TAbOptions {
public:
  constexpr TAbOptions() = default;
  constexpr TAbOptions(std::initializer_list<TOption> Options) {
    for (TOption Option : Options) FBits |= 1u << static_cast<unsigned>(Option);
  }
  constexpr bool Has(TOption Option) const { return (FBits >> static_cast<unsigned>(Option)) & 1u; }
  constexpr TAbOptions With(TOption Option) const {
    TAbOptions R = *this;
    R.FBits |= 1u << static_cast<unsigned>(Option);
    return R;
  }
  constexpr TAbOptions Without(TOption Option) const {
    TAbOptions R = *this;
    R.FBits &= ~(1u << static_cast<unsigned>(Option));
    return R;
  }
  constexpr bool operator==(const TAbOptions&) const = default;

private:
  uint32_t FBits = 0;
};
