#include "device_list.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <utility>

namespace {

// Only POSIX systems list adapters as device files.
#ifndef _WIN32
bool StartsWith(const std::string& S, const std::string& Prefix) { return S.compare(0, Prefix.size(), Prefix) == 0; }

// Numeric order for names that differ in their trailing number.
bool NaturalLess(const std::string& A, const std::string& B) {
  size_t I = 0, J = 0;
  while (I < A.size() && J < B.size()) {
    if (std::isdigit(static_cast<unsigned char>(A[I])) && std::isdigit(static_cast<unsigned char>(B[J]))) {
      size_t EndA = I, EndB = J;
      while (EndA < A.size() && std::isdigit(static_cast<unsigned char>(A[EndA]))) ++EndA;
      while (EndB < B.size() && std::isdigit(static_cast<unsigned char>(B[EndB]))) ++EndB;
      std::string NumA = A.substr(I, EndA - I), NumB = B.substr(J, EndB - J);
      NumA.erase(0, std::min(NumA.find_first_not_of('0'), NumA.size()));
      NumB.erase(0, std::min(NumB.find_first_not_of('0'), NumB.size()));
      if (NumA.size() != NumB.size()) return NumA.size() < NumB.size();
      if (NumA != NumB) return NumA < NumB;
      I = EndA;
      J = EndB;
      continue;
    }
    if (A[I] != B[J]) return A[I] < B[J];
    ++I;
    ++J;
  }
  return A.size() - I < B.size() - J;
}

std::vector<std::string> Entries(const std::filesystem::path& Dir, const std::string& Prefix) {
  std::vector<std::string> Names;
  std::error_code Error;
  for (std::filesystem::directory_iterator It(Dir, Error), End; !Error && It != End; It.increment(Error)) {
    const std::string Name = It->path().filename().string();
    if (StartsWith(Name, Prefix)) Names.push_back(Name);
  }
  std::sort(Names.begin(), Names.end(), NaturalLess);
  std::vector<std::string> Paths;
  for (const std::string& Name : Names) Paths.push_back((Dir / Name).string());
  return Paths;
}
#endif

}  // namespace

std::vector<std::string> SerialAdapterNames(const std::filesystem::path& DevRoot) {
#ifdef _WIN32
  (void)DevRoot;
  return {};
#else
  std::vector<std::string> Names;
  for (const auto& [Dir, Prefix] :
       {std::pair{DevRoot, "ttyUSB"}, std::pair{DevRoot, "ttyACM"}, std::pair{DevRoot / "serial" / "by-id", ""}}) {
    std::vector<std::string> Group = Entries(Dir, Prefix);
    Names.insert(Names.end(), Group.begin(), Group.end());
  }
  return Names;
#endif
}

TPortChoice ComPortChoice(const std::vector<std::string>& Adapters, const std::optional<std::string>& DeviceArgument) {
  TPortChoice Choice;
  for (int N = 1; N <= 8; ++N) Choice.Names.push_back("COM" + std::to_string(N));
  Choice.Names.insert(Choice.Names.end(), Adapters.begin(), Adapters.end());
  if (DeviceArgument) {
    auto It = std::find(Choice.Names.begin(), Choice.Names.end(), *DeviceArgument);
    if (It == Choice.Names.end()) It = Choice.Names.insert(Choice.Names.end(), *DeviceArgument);
    Choice.Selected = static_cast<int>(It - Choice.Names.begin());
  }
  return Choice;
}
