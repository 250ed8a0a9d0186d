// The careful loop and the long matches, which every loop leaves to it.
#include "codec/careful_loop.h"

#include <cstddef>
#include <cstdint>

#include "codec/fast_loop.h"
#include "codec/lz_huffman.h"

namespace lomar::xpress {
namespace {

// One symbol, checking everything. Returns the output position after it, or null if the stream is corrupt.
inline std::uint8_t* CarefulStep(Reader& r, const SubBlock& s, std::uint8_t* op) {
  Refill(r, s);
  const Entry e = Lookup(s.table, r.buf);
  if (e & literalFlag) {
    op[0] = FirstLiteral(e);
    Advance(r, Consume(e));
    return op + 1;
  }
  if (e & slowFlag) return Kind(e) == longKind ? LongMatch(e, r, s, op) : nullptr;
  const std::size_t distance = DistanceOf(e, r.buf);
  Advance(r, Consume(e));
  const std::size_t length = Produce(e);
  if (distance > static_cast<std::size_t>(op - s.base) || length > static_cast<std::size_t>(s.oend - op))
    return nullptr;
  CopyLong(op, distance, length, length);
  return op + length;
}

}  // namespace

#if defined(__GNUC__)
__attribute__((noinline))
#endif
std::uint8_t* LongMatch(Entry e, Reader& r, const SubBlock& s, std::uint8_t* op) {
  Advance(r, MatchCodeLength(e));
  // Back to the position of MS-XCA's two-word reader; the length bytes stand there.
  const unsigned extraWords = (r.n - 16) >> 4;  // n is at least 16 here
  r.n -= 16 * extraWords;
  r.pos -= 2 * extraWords;
  r.buf &= ~std::uint64_t{0} << (64 - r.n);
  const std::size_t lengthAt = r.pos;
  if (r.pos >= s.isize) return nullptr;
  std::size_t length = s.ip[r.pos++];
  if (length == 255) {
    if (s.isize - r.pos < 2) return nullptr;
    length = Load16(s.ip + r.pos);
    r.pos += 2;
    if (length == 0) {
      if (s.isize - r.pos < 4) return nullptr;
      length = Load32(s.ip + r.pos);
      r.pos += 4;
    }
    if (length < 15) return nullptr;
  } else {
    length += 15;
  }
  r.lengthBytes += r.pos - lengthAt;
  length += 3;
  const std::size_t distance = ((r.buf >> 1) | (std::uint64_t{1} << 63)) >> DistanceShift(e);
  Advance(r, 63 - DistanceShift(e));
  if (distance > static_cast<std::size_t>(op - s.base) || length > static_cast<std::size_t>(s.oend - op))
    return nullptr;
  CopyLong(op, distance, length, static_cast<std::size_t>(s.oend - op));
  return op + length;
}

LaneState Prepare(Lane& l) {
  for (;;) {
    if (!l.inSubBlock) {
      if (l.op >= l.oend) return LaneState::finished;
      if (l.pos > l.isize || l.isize - l.pos < 256) return LaneState::failed;
      if (!l.table.Build(l.ip + l.pos)) return LaneState::failed;
      l.pos += 256;
      l.wordsStart = l.pos;
      l.subEnd = static_cast<std::size_t>(l.oend - l.op) > subBlockSize ? l.op + subBlockSize : l.oend;
      l.r = Reader{};
      l.r.pos = l.pos;
      l.inSubBlock = true;
      l.tailOnly = false;
    }
    const SubBlock s = l.View();
    while (l.op < l.subEnd && l.op - l.base < static_cast<std::ptrdiff_t>(fastHistory))
      if ((l.op = CarefulStep(l.r, s, l.op)) == nullptr) return LaneState::failed;
    // Only where the fast loop has room for an iteration, counted as it counts them after its first refill
    // (which may take 6 bytes), so that the paired loop always moves both lanes. The output must start at
    // least 64 KiB up in memory, so that the fast loop's distance check by address cannot wrap around.
    if (!l.tailOnly && l.subEnd - l.op >= static_cast<std::ptrdiff_t>(outMargin + 24) &&
        l.r.pos + 16 <= l.inFast && reinterpret_cast<std::uintptr_t>(l.base) >= 65536)
      return LaneState::fast;
    while (l.op < l.subEnd)
      if ((l.op = CarefulStep(l.r, s, l.op)) == nullptr) return LaneState::failed;
    // Where MS-XCA's reader stands now: two words ahead of the last one it had to start on.
    const std::size_t consumed = (l.r.pos - l.wordsStart - l.r.lengthBytes) * 8 - l.r.n;
    if (consumed > (l.isize - l.wordsStart - l.r.lengthBytes) * 8) return LaneState::failed;
    l.pos = l.wordsStart + l.r.lengthBytes + 2 * (2 + (consumed - 1) / 16);
    l.inSubBlock = false;
  }
}

}  // namespace lomar::xpress
