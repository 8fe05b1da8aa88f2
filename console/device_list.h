#pragma once
// The entries of the COM port dialog: "COM1" .. "COM8" always, on POSIX then
// every serial adapter present, and the device named on the command line.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct TPortChoice {
  std::vector<std::string> Names;  // in list order
  int Selected = 0;                // the entry selected at start
};

// The USB serial adapters under DevRoot: ttyUSB*, then ttyACM*, each in
// numeric order (ttyUSB2 before ttyUSB10), then the names under serial/by-id
// in alphabetical order. Full paths. Empty on Windows.
std::vector<std::string> SerialAdapterNames(const std::filesystem::path& DevRoot = "/dev");

// The dialog's entries: "COM1" .. "COM8", then Adapters. A DeviceArgument is
// added at the end unless it is already an entry, and selected; without one
// "COM1" is selected.
TPortChoice ComPortChoice(const std::vector<std::string>& Adapters, const std::optional<std::string>& DeviceArgument);
