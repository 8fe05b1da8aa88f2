// Cost of recording and memory of the session record at 1e6 events, and the
// time to write them to a file and to judge them. Prints figures.
//
//   build/tests/bench/record_bench [events]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "record_file.h"
#include "session_record.h"
#include "timing_verdict.h"

int main(int argc, char** argv) {
  const long Events = argc > 1 ? std::atol(argv[1]) : 1000000;
  using TClock = std::chrono::steady_clock;
  int64_t Now = 0;
  TSessionRecord Record([&] { return Now; });
  Record.Start();
  const uint8_t Request[] = {0x82, 0x11, 0xF1, 0x21, 0x06, 0xAB};
  const uint8_t Answer[] = {0x8E, 0xF1, 0x11, 0x61, 0x06, 0x30, 0x00, 0x00, 0x80,
                            0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xB3};
  const auto Start = TClock::now();
  for (long I = 0; I < Events / 2; ++I) {
    // A trip computer polling every 15 ms, each request in one event.
    Now = I * 15000;
    const int64_t Piece = Now;
    Record.FrameReceived(Request, sizeof Request, &Piece, 1);
    Now += 300;
    Record.AnswerSent(Answer, sizeof Answer);
    Record.FrameOutcome(TEcuOutcome::Answered);
  }
  const double Seconds = std::chrono::duration<double>(TClock::now() - Start).count();
  std::printf("%zu events recorded: %.3f us an event, %.1f MB held (%.1f bytes an event)\n", Record.Count(),
              Seconds * 1e6 / static_cast<double>(Record.Count()), Record.BytesUsed() / 1e6,
              static_cast<double>(Record.BytesUsed()) / static_cast<double>(Record.Count()));

  auto T = TClock::now();
  const TTimingVerdict Verdict = JudgeTiming(Record);
  std::printf("timing verdict over them: %.0f ms (P3 median %.3f ms)\n",
              std::chrono::duration<double, std::milli>(TClock::now() - T).count(), Verdict.Find("P3")->MedianMs);
  const std::string Base = (std::filesystem::temp_directory_path() / "record-bench").string();
  for (const char* Ext : {".csv", ".jsonl"}) {
    const std::string Path = Base + Ext;
    T = TClock::now();
    const std::string Error = SaveRecordFile(Path, RecordFormatOf(Path), Record, Record.Count());
    std::printf("saved as %s: %.0f ms, %.1f MB%s%s\n", Ext,
                std::chrono::duration<double, std::milli>(TClock::now() - T).count(),
                Error.empty() ? std::filesystem::file_size(Path) / 1e6 : 0.0,
                Error.empty() ? "" : ", failed: ", Error.c_str());
    std::filesystem::remove(Path);
  }
  return 0;
}
