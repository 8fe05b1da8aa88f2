#include "monitor_lines.h"

#include <algorithm>
#include <cstring>

void TMonitorLines::Append(std::string_view Line) {
  if (Line.size() > MaxLineBytes) {
    // Cut before a character, not inside one: back up over continuation bytes.
    std::size_t Keep = MaxLineBytes;
    while (Keep > 0 && (static_cast<unsigned char>(Line[Keep]) & 0xC0) == 0x80) --Keep;
    Line = Line.substr(0, Keep);
  }
  if (LineCount % BlockLines == 0) {
    auto Block = std::make_unique_for_overwrite<TBlock>();
    Block->Base = End;
    Blocks.push_back(std::move(Block));
  }
  const std::size_t Size = Line.size();
  if (Size > 0) {
    if (Chunks.empty() || Size > Chunks.back().Size - LastChunkUsed) {
      // The tail of the current chunk stays unused; the line starts a new one.
      const std::uint64_t Base = Chunks.empty() ? 0 : Chunks.back().Base + Chunks.back().Size;
      const std::size_t ChunkSize = std::max(ChunkBytes, Size);
      Chunks.push_back({Base, ChunkSize, std::make_unique_for_overwrite<char[]>(ChunkSize)});
      LastChunkUsed = 0;
    }
    TChunk& Chunk = Chunks.back();
    std::memcpy(Chunk.Data.get() + LastChunkUsed, Line.data(), Size);
    LastChunkUsed += Size;
    End = Chunk.Base + LastChunkUsed;
  }
  TBlock& Block = *Blocks.back();
  // A block spans at most BlockLines lines of MaxLineBytes and the unused
  // chunk tails before them (each shorter than the line after it): 2 GiB.
  Block.Ends[LineCount % BlockLines] = static_cast<std::uint32_t>(End - Block.Base);
  ++LineCount;
}

std::uint64_t TMonitorLines::EndOf(std::size_t Index) const {
  const TBlock& Block = *Blocks[Index / BlockLines];
  return Block.Base + Block.Ends[Index % BlockLines];
}

std::uint64_t TMonitorLines::StartBoundOf(std::size_t Index) const {
  const TBlock& Block = *Blocks[Index / BlockLines];
  const std::size_t InBlock = Index % BlockLines;
  return InBlock == 0 ? Block.Base : Block.Base + Block.Ends[InBlock - 1];
}

std::string_view TMonitorLines::Line(std::size_t Index) const {
  const std::uint64_t LineEnd = EndOf(Index);
  const std::uint64_t PreviousEnd = StartBoundOf(Index);
  if (LineEnd == PreviousEnd) return {};
  // The chunk that holds the line's last byte holds all of it; the line
  // starts at the previous line's end or, if that is in an earlier chunk,
  // at this chunk's start.
  const auto After =
      std::upper_bound(Chunks.begin(), Chunks.end(), LineEnd - 1,
                       [](std::uint64_t Position, const TChunk& Chunk) { return Position < Chunk.Base; });
  const TChunk& Chunk = *(After - 1);
  const std::uint64_t Start = std::max(PreviousEnd, Chunk.Base);
  return {Chunk.Data.get() + (Start - Chunk.Base), static_cast<std::size_t>(LineEnd - Start)};
}

std::size_t TMonitorLines::BytesUsed() const {
  std::size_t Bytes = Chunks.capacity() * sizeof(TChunk) + Blocks.capacity() * sizeof(std::unique_ptr<TBlock>) +
                      Blocks.size() * sizeof(TBlock);
  for (const TChunk& Chunk : Chunks) Bytes += Chunk.Size;
  return Bytes;
}

std::uint64_t TMonitorLines::SpanBytes(std::size_t First, std::size_t Last) const {
  if (First >= Last) return 0;
  return EndOf(Last - 1) - StartBoundOf(First);
}
