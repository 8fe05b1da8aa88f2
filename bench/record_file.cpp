#include "record_file.h"

#include "numtext.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace {

// "81 11 F1": the bytes as hex pairs separated by blanks.
std::string HexOf(std::string_view Bytes) {
  std::string Text;
  AppendHexBytes(Text, reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size());
  return Text.empty() ? Text : Text.substr(1);
}

// Milliseconds with three decimals and a point, whatever the locale.
std::string Ms(int64_t Us) {
  char Buf[32];
  const int64_t Abs = Us < 0 ? -Us : Us;
  std::snprintf(Buf, sizeof Buf, "%s%lld.%03lld", Us < 0 ? "-" : "", static_cast<long long>(Abs / 1000),
                static_cast<long long>(Abs % 1000));
  return Buf;
}

std::string MsOf(double Value) { return Ms(static_cast<int64_t>(Value * 1000 + (Value < 0 ? -0.5 : 0.5))); }

// A CSV field, quoted when it holds a comma, a quote or a line end.
std::string Field(const std::string& Text) {
  if (Text.find_first_of(",\"\r\n") == std::string::npos) return Text;
  std::string Quoted = "\"";
  for (char C : Text) {
    if (C == '"') Quoted += '"';
    Quoted += C;
  }
  return Quoted + '"';
}

// A JSON string; bytes that are not UTF-8 become U+FFFD.
std::string JsonText(std::string_view Text) {
  return nlohmann::json(std::string(Text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string RangeText(const TTimingMeasure& M) {
  return std::to_string(static_cast<long long>(M.RangeMinMs)) + ".." +
         std::to_string(static_cast<long long>(M.RangeMaxMs));
}

void WriteCsv(std::ostream& Out, const TSessionRecord& Record, size_t Count, const TTimingVerdict& Verdict) {
  Out << "time_ms,direction,bytes,outcome,span_ms,max_gap_ms,measure,samples,min_ms,median_ms,max_ms,range_ms,"
         "verdict\r\n";
  for (size_t I = 0; I < Count; ++I) {
    const TRecordEntry E = Record.Entry(I);
    Out << Ms(E.TimeUs - Record.StartUs()) << ',' << KindName(E.Kind) << ',';
    if (E.Kind == TRecordKind::Change) {
      Out << Field(std::string(E.Bytes)) << ",,,";
    } else if (E.Kind == TRecordKind::FaultHit) {
      Out << Field(std::string(E.Bytes)) << ',' << FaultActionName(E.Action) << ",,";
    } else {
      Out << HexOf(E.Bytes) << ',';
      if (E.Kind != TRecordKind::Sent) Out << OutcomeName(E.Outcome);
      Out << ',';
      if (E.Kind == TRecordKind::Received && E.MaxGapUs >= 0) Out << Ms(E.SpanUs) << ',' << Ms(E.MaxGapUs);
      else Out << ',';
    }
    Out << ",,,,,,,\r\n";
  }
  for (const TTimingMeasure& M : Verdict.Measures) {
    Out << ",verdict,," << Field(M.Note) << ",,," << M.Name << ',' << M.Samples << ',';
    if (M.Samples > 0) Out << MsOf(M.MinMs) << ',' << MsOf(M.MedianMs) << ',' << MsOf(M.MaxMs) << ',';
    else Out << ",,,";
    Out << RangeText(M) << ',' << (M.Pass() ? "pass" : "fail") << "\r\n";
  }
}

void WriteJsonLines(std::ostream& Out, const TSessionRecord& Record, size_t Count, const TTimingVerdict& Verdict) {
  // Times are written as numbers with three decimals, built by hand so that
  // no locale and no binary rounding can change them.
  for (size_t I = 0; I < Count; ++I) {
    const TRecordEntry E = Record.Entry(I);
    Out << "{\"t_ms\":" << Ms(E.TimeUs - Record.StartUs()) << ",\"dir\":\"" << KindName(E.Kind) << '"';
    if (E.Kind == TRecordKind::Change) {
      Out << ",\"change\":" << JsonText(E.Bytes);
    } else if (E.Kind == TRecordKind::FaultHit) {
      Out << ",\"rule\":" << JsonText(E.Bytes) << ",\"action\":\"" << FaultActionName(E.Action) << '"';
    } else {
      Out << ",\"bytes\":\"" << HexOf(E.Bytes) << '"';
      if (E.Kind != TRecordKind::Sent) Out << ",\"outcome\":\"" << OutcomeName(E.Outcome) << '"';
      if (E.Kind == TRecordKind::Received && E.MaxGapUs >= 0)
        Out << ",\"span_ms\":" << Ms(E.SpanUs) << ",\"max_gap_ms\":" << Ms(E.MaxGapUs);
    }
    Out << "}\n";
  }
  for (const TTimingMeasure& M : Verdict.Measures) {
    nlohmann::ordered_json J;
    J["verdict"] = M.Name;
    J["caption"] = M.Caption;
    J["samples"] = M.Samples;
    if (M.Samples > 0) {
      J["min_ms"] = M.MinMs;
      J["median_ms"] = M.MedianMs;
      J["max_ms"] = M.MaxMs;
    }
    J["range_ms"] = {M.RangeMinMs, M.RangeMaxMs};
    J["pass"] = M.Pass();
    if (!M.Note.empty()) J["note"] = M.Note;
    Out << J.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  }
}

}  // namespace

TRecordFormat RecordFormatOf(const std::string& Path) {
  const std::string Ext = std::filesystem::path(Path).extension().string();
  if (Ext == ".jsonl" || Ext == ".JSONL" || Ext == ".json" || Ext == ".JSON") return TRecordFormat::JsonLines;
  return TRecordFormat::Csv;
}

void WriteRecord(std::ostream& Out, TRecordFormat Format, const TSessionRecord& Record, size_t Count,
                 const TTimingVerdict& Verdict) {
  Count = std::min(Count, Record.Count());
  if (Format == TRecordFormat::Csv) WriteCsv(Out, Record, Count, Verdict);
  else WriteJsonLines(Out, Record, Count, Verdict);
}

std::string SaveRecordFile(const std::string& Path, TRecordFormat Format, const TSessionRecord& Record, size_t Count) {
  namespace fs = std::filesystem;
  const fs::path Target = fs::u8path(Path);
  std::mt19937_64 Random(std::random_device{}());
  fs::path Temporary = Target;
  Temporary += ".tmp" + std::to_string(Random() % 1000000);
  const TTimingVerdict Verdict = JudgeTiming(Record, Count);
  {
    std::ofstream Out(Temporary, std::ios::binary | std::ios::trunc);
    if (!Out) return std::strerror(errno);
    WriteRecord(Out, Format, Record, Count, Verdict);
    Out.flush();
    if (!Out) {
      const std::string Reason = errno != 0 ? std::strerror(errno) : "write failed";
      Out.close();
      std::error_code Ignored;
      fs::remove(Temporary, Ignored);
      return Reason;
    }
    Out.close();
    if (!Out) {
      std::error_code Ignored;
      fs::remove(Temporary, Ignored);
      return "write failed";
    }
  }
  std::error_code Error;
  fs::rename(Temporary, Target, Error);
  if (Error) {
    std::error_code Ignored;
    fs::remove(Temporary, Ignored);
    return Error.message();
  }
  return {};
}
