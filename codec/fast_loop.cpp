// The fast loop, compiled once per distance check and once more with BMI2 where the compiler can, and the
// choice between them, made once per process.
#include "codec/fast_loop.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/bit_reader.h"
#include "codec/bytes.h"
#include "codec/careful_loop.h"
#include "codec/decode_table.h"
#include "codec/lane.h"
#include "codec/lz_huffman.h"

namespace lomar::xpress {
namespace {

// Decodes while op is below opFast and the reader below inFast, with at least 64 bytes of history before
// op (literal copies read up to 63 bytes back). Returns where it stopped, or null if the stream is
// corrupt. Once 64 KiB of history lie before op, no short match can reach in front of the output, and
// checkDistance is false.
template <bool checkDistance>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline std::uint8_t* FastLoopBody(Reader& r, const SubBlock& s, std::uint8_t* op, std::uint8_t* const opFast,
                                  const std::size_t inFast) {
  const DecodeTable& table = s.table;
  const std::uint8_t* const ip = s.ip;
  // The distance check is by the address a distance leads to, which cannot wrap around, as the output
  // starts at least 64 KiB up in memory whenever this loop runs.
  const std::uintptr_t lowest = reinterpret_cast<std::uintptr_t>(s.base);
  // Local copies, so that they live in registers; the reader is written back only around long matches.
  std::uint64_t buf = r.buf;
  unsigned n = r.n;
  std::size_t pos = r.pos;
  // As RefillFast. In the loop n is right only in its low six bits, all that shifts and the refill look at,
  // which saves masking the count taken from an entry.
  auto refill = [&] {
    buf |= LoadWordsMsbFirst(ip + pos) >> (n & 63);
    pos += (~n >> 3) & 6;
    n |= 48;
  };
  // The entry for the next symbol is looked up before the refill that goes with it, so that the load of
  // the next words does not stand between one symbol and the next. It takes at least 15 bits in hand.
  refill();
  const Entry* ep = &table.primary[buf >> (64 - tableBits)];
  // Iterations counted in advance, rather than two checks on each: a short iteration writes at most 24
  // bytes from op and moves it at most 17, and takes at most 30 bits, so that pos stays within 4 bytes per
  // iteration plus the 8 it may hold ahead.
  auto runsLeft = [&] {
    if (op >= opFast || pos >= inFast) return std::size_t{0};
    return std::min(static_cast<std::size_t>(opFast - op) / 24, (inFast - pos) / 8);
  };
  for (std::size_t k = runsLeft(); k != 0; k = runsLeft()) {
    for (; k != 0; --k) {
      refill();
      Entry e = *ep;
      if (e & slowFlag) {
        if (Kind(e) == linkKind) {
          ep = &table.secondary[LinkSlot(e) + ((buf >> (64 - maxCodeLength)) & ((1u << secondaryBits) - 1))];
          e = *ep;
        }
        if (e & slowFlag) {
          if (Kind(e) != longKind) return nullptr;
          r.buf = buf;
          r.n = (n & 15) | 48;  // the same as n & 63 here, as n was just or-ed with 48
          r.pos = pos;
          op = LongMatch(e, r, s, op);
          if (op == nullptr) return nullptr;
          buf = r.buf;
          n = r.n;
          pos = r.pos;
          refill();
          ep = &table.primary[buf >> (64 - tableBits)];
          // It may have gone any distance: the count starts again from here, this iteration included.
          k = runsLeft() + 1;
          continue;
        }
      }
      // The fields, as bytes of the entry in the table (see decode_table.h); the distance as in DistanceOf.
      const std::uint8_t* f = reinterpret_cast<const std::uint8_t*>(ep);
      const std::size_t distance = ((buf << f[1]) | (std::uint64_t{1} << 63)) >> f[2];
      const std::size_t length = f[3];
      // None for a literal entry, all for a match; arithmetic rather than a condition, so that it stays
      // branch-free.
      const std::uint64_t keep = (e >> 62) - 1;
      const std::uint64_t bytes = Load16(f + 4);
      buf <<= e & 63;
      n -= static_cast<unsigned>(e);
      ep = &table.primary[buf >> (64 - tableBits)];
      if (checkDistance && reinterpret_cast<std::uintptr_t>(op) - distance < lowest) return nullptr;
      // At most 17 bytes, and the margin leaves room to copy in whole words past them. Only the longest
      // short length needs a 17th byte: a branch on it costs less than a third word on every iteration, whose
      // load often overlaps stores still on their way to the cache and has to wait for them.
      const std::uint8_t* src = op - distance;
      if (distance >= 8) {
        Store64(op, (Load64(src) & keep) | bytes);
        std::memcpy(op + 8, src + 8, 8);
        if (length > 16) [[unlikely]]
          op[16] = src[16];
      } else {
        CopyLong(op, distance, length, length + 16);
      }
      op += length;
    }
  }
  // The entry looked up ahead is dropped; its bits are still in the buffer.
  r.buf = buf;
  r.n = n & 63;
  r.pos = pos;
  return op;
}

using FastLoopFunction = std::uint8_t* (*)(Reader&, const SubBlock&, std::uint8_t*, std::uint8_t*,
                                           std::size_t);

// The loop is compiled on its own, so that its state stays in registers, and where the compiler can target
// it, a second time with BMI2's shifts, which take their count from any register: the loop shifts by counts
// from entries several times per symbol, and without them each of those goes through CL.
template <bool checkDistance>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
std::uint8_t* FastLoop(Reader& r, const SubBlock& s, std::uint8_t* op, std::uint8_t* opFast,
                       std::size_t inFast) {
  return FastLoopBody<checkDistance>(r, s, op, opFast, inFast);
}

#if defined(__GNUC__) && defined(__x86_64__)
template <bool checkDistance>
__attribute__((noinline, target("bmi2")))
std::uint8_t* FastLoopBmi2(Reader& r, const SubBlock& s, std::uint8_t* op, std::uint8_t* opFast,
                           std::size_t inFast) {
  return FastLoopBody<checkDistance>(r, s, op, opFast, inFast);
}
#endif

// The loops for the first 64 KiB of output and for the rest, for this processor; made once per process.
struct FastLoops {
  FastLoopFunction checked = FastLoop<true>;
  FastLoopFunction unchecked = FastLoop<false>;

  FastLoops() {
#if defined(__GNUC__) && defined(__x86_64__)
    if (__builtin_cpu_supports("bmi2")) {
      checked = FastLoopBmi2<true>;
      unchecked = FastLoopBmi2<false>;
    }
#endif
  }
};

}  // namespace

bool RunFast(Lane& l) {
  static const FastLoops loops;
  std::uint8_t* const before = l.op;
  const FastLoopFunction loop =
      l.op - l.base >= static_cast<std::ptrdiff_t>(maxDistance) ? loops.unchecked : loops.checked;
  l.op = loop(l.r, l.View(), l.op, l.subEnd - outMargin, l.inFast);
  if (l.op == nullptr) return false;
  l.tailOnly = l.op == before;
  return true;
}

}  // namespace lomar::xpress
