#pragma once
// TMonitorLines: the traffic monitor's record of text lines, one per received
// frame, kept for the lifetime of the window (millions of lines in a day).
//
// The characters go into fixed-size chunks that are never moved or resized,
// so appending a line copies only that line, whatever the record holds, and
// a line's text stays at the same address until the store is destroyed. A
// line never straddles two chunks; one that does not fit the rest of the
// current chunk starts the next one (the unused tail is at most one line),
// and a line longer than a chunk gets a chunk of its own size.
//
// Each line costs four bytes of bookkeeping besides its characters: the end
// of every line as a 32-bit distance from the start of its block of
// BlockLines lines (a block records where it starts as 64 bits). A line
// starts where the previous one ended, or at the start of the chunk that
// holds its last character when it did not fit the previous chunk.
//
// Single-threaded: the window thread appends and reads.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class TMonitorLines {
public:
  // Characters per ordinary chunk.
  static constexpr std::size_t ChunkBytes = 64 * 1024;
  // Lines per block of line ends.
  static constexpr std::size_t BlockLines = 1024;
  // Longer lines are cut to this many bytes (at a UTF-8 character boundary),
  // which keeps a block's line ends within 32 bits.
  static constexpr std::size_t MaxLineBytes = 1024 * 1024;

  TMonitorLines() = default;
  TMonitorLines(const TMonitorLines&) = delete;
  TMonitorLines& operator=(const TMonitorLines&) = delete;

  // Stores a copy of Line after the last one.
  void Append(std::string_view Line);

  std::size_t Count() const { return LineCount; }

  // The text of line Index (0 <= Index < Count()). The characters stay where
  // they are for the lifetime of the store, so the view may be kept.
  std::string_view Line(std::size_t Index) const;

  // Heap bytes the store holds: chunks, blocks and their tables.
  std::size_t BytesUsed() const;

  // Bytes of the lines First .. Last-1, plus chunk tails left unused between
  // them (each shorter than the line after it): never less than the sum of
  // their lengths and, for short lines, hardly more. For reserving room for
  // their text in one step.
  std::uint64_t SpanBytes(std::size_t First, std::size_t Last) const;

private:
  struct TChunk {
    std::uint64_t Base;  // position of the first byte in the running count
    std::size_t Size;
    std::unique_ptr<char[]> Data;
  };
  struct TBlock {
    std::uint64_t Base;  // end of the line before the block's first one
    std::uint32_t Ends[BlockLines];
  };

  std::uint64_t EndOf(std::size_t Index) const;
  std::uint64_t StartBoundOf(std::size_t Index) const;

  std::vector<TChunk> Chunks;
  std::vector<std::unique_ptr<TBlock>> Blocks;
  std::size_t LineCount = 0;
  std::size_t LastChunkUsed = 0;
  std::uint64_t End = 0;  // end of the last line
};
