// The paired loop: two lanes' fast loops interleaved, written out by hand in x86-64 assembly for gcc. Where
// LOMAR_PAIRED_LOOP is defined, callers may use PairedFast, on a processor with BMI2 and SSSE3 and with
// both lanes at least 64 KiB past the start of their output. All of it is here, for the driver alone to
// include, and PairedFast is static, so that gcc inlines it into its one caller: the loop's registers are
// allocated within the driver's body, as when the decoder was one file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/bit_reader.h"
#include "codec/careful_loop.h"
#include "codec/decode_table.h"
#include "codec/lane.h"

// Sanitizers see nothing inside the paired loop and want registers of their own, so their builds go without;
// clang cannot allocate the loop's registers at all, so its builds go without too.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LOMAR_SANITIZED 1
#endif
#endif
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__OPTIMIZE__) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(LOMAR_SANITIZED)
#define LOMAR_PAIRED_LOOP 1
#include <emmintrin.h>

namespace lomar::xpress {

// Two lanes decoded in turns. One stream's symbols wait on each other (each lookup on the one before it),
// and the other stream's fill that time. The loop is written out by hand: with both lanes' state in
// registers the compiler runs out of them and spills on every iteration, which gives the gain back. It
// needs BMI2 and SSSE3, which RunBoth (decoder.cpp) checks for.
//
// As RefillFast, into a lane's buffer B, bit count N and input pointer P (see below).
#define LOMAR_REFILL(B, N, P)           \
  "movq (%[" P "]), %[x]\n\t"           \
  "pshuflw $0x1b, %[x], %[x]\n\t"       \
  "rorx $3, %[" N "], %[t]\n\t"         \
  "not %[t]\n\t"                        \
  "and $6, %[t]\n\t"                    \
  "movq %[x], %[w]\n\t"                 \
  "shrx %[" N "], %[w], %[w]\n\t"       \
  "or %[w], %[" B "]\n\t"               \
  "add %[t], %[" P "]\n\t"              \
  "or $48, %[" N "]\n\t"

// One lane's iteration, as FastLoopBody's, in the registers of the lane's operands: B its buffer, N its bit
// count, P its input pointer, O its output pointer, E its entry; DISP is the offset of the lane's table from
// the first lane's, L a digit that keeps the lane's labels apart. Literal entries take their bytes from the
// entry (the 8 bytes from its fifth on, of which only the first counts).
#define LOMAR_LANE(B, N, P, O, E, DISP, L)      \
  "mov (%[" E "]), %[e]\n\t"                    \
  LOMAR_REFILL(B, N, P)                         \
  "test %[e], %[e]\n\t"                         \
  "js " L "8f\n"                                \
  L "2:\n\t"                                    \
  "movzbl 1(%[" E "]), %k[d]\n\t"               \
  "movzbl 2(%[" E "]), %k[t]\n\t"               \
  "shlx %[d], %[" B "], %[d]\n\t"               \
  "bts $63, %[d]\n\t"                           \
  "shrx %[t], %[d], %[d]\n\t"                   \
  "movzbl 3(%[" E "]), %k[w]\n\t"               \
  "shlx %[e], %[" B "], %[" B "]\n\t"           \
  "sub %[e], %[" N "]\n\t"                      \
  "cmp $8, %[d]\n\t"                            \
  "jb " L "3f\n\t"                              \
  "neg %[d]\n\t"                                \
  "add %[" O "], %[d]\n\t"                      \
  "bt $62, %[e]\n\t"                            \
  "mov (%[d]), %[e]\n\t"                        \
  "cmovc 4(%[" E "]), %[e]\n\t"                 \
  "mov %[e], (%[" O "])\n\t"                    \
  "mov 8(%[d]), %[e]\n\t"                       \
  "mov %[e], 8(%[" O "])\n\t"                   \
  "movzbl 16(%[d]), %k[e]\n\t"                  \
  "mov %b[e], 16(%[" O "])\n"                   \
  L "4:\n\t"                                    \
  "mov %[" B "], %[t]\n\t"                      \
  "shr $53, %[t]\n\t"                           \
  "lea " DISP "(%[tab], %[t], 8), %[" E "]\n\t" \
  "add %[w], %[" O "]\n"                        \
  L "5:\n\t"

// The same lane's rare paths, out of the loop's way. A long match is taken here when its length is in one
// byte, its distance at least 16 and its copy (in 16-byte steps) has room; at any other long match, and at
// a hole, the loop stops with the lane's number in t, the lane refilled but not stepped.
#define LOMAR_LANE_COLD(B, N, P, O, E, DISP, L)                           \
  L "3:\n\t" /* distance 1 to 7: its period, repeated by a shuffle */     \
  "mov %[d], %[t]\n\t"                                                    \
  "neg %[d]\n\t"                                                          \
  "add %[" O "], %[d]\n\t"                                                \
  "add %[t], %[t]\n\t"                                                    \
  "movq (%[d]), %[x]\n\t"                                                 \
  "pshufb " DISP "+81936(%[tab], %[t], 8), %[x]\n\t"                      \
  "movdqu %[x], (%[" O "])\n\t"                                           \
  "movzbl 16(%[d]), %k[e]\n\t"                                            \
  "mov %b[e], 16(%[" O "])\n\t"                                           \
  "jmp " L "4b\n"                                                         \
  L "8:\n\t" /* a slow entry: a link is followed, then a long match */    \
  "mov %[e], %[t]\n\t"                                                    \
  "shr $48, %[t]\n\t"                                                     \
  "and $3, %k[t]\n\t"                                                     \
  "cmp $1, %k[t]\n\t"                                                     \
  "je " L "6f\n\t"                                                        \
  "test %k[t], %k[t]\n\t"                                                 \
  "jnz " L "9f\n\t"                                                       \
  "mov %[" B "], %[t]\n\t"                                                \
  "shr $49, %[t]\n\t"                                                     \
  "and $15, %k[t]\n\t"                                                    \
  "shr $32, %[e]\n\t"                                                     \
  "movzwl %w[e], %k[e]\n\t"                                               \
  "add %[t], %[e]\n\t"                                                    \
  "lea " DISP "+16384(%[tab], %[e], 8), %[" E "]\n\t"                     \
  "mov (%[" E "]), %[e]\n\t"                                              \
  "test %[e], %[e]\n\t"                                                   \
  "jns " L "2b\n\t"                                                       \
  "mov %[e], %[t]\n\t"                                                    \
  "shr $48, %[t]\n\t"                                                     \
  "and $3, %k[t]\n\t"                                                     \
  "cmp $1, %k[t]\n\t"                                                     \
  "jne " L "9f\n"                                                         \
  L "6:\n\t" /* as LongMatch: first what decides whether it is taken */   \
  "movzbl 1(%[" E "]), %k[t]\n\t"                                         \
  "inc %k[t]\n\t"                                                         \
  "mov %[" N "], %[d]\n\t"                                                \
  "sub %[t], %[d]\n\t"                                                    \
  "and $63, %k[d]\n\t"                                                    \
  "sub $16, %k[d]\n\t"                                                    \
  "shr $4, %k[d]\n\t"                                                     \
  "add %k[d], %k[d]\n\t"                                                  \
  "mov %[" P "], %[w]\n\t"                                                \
  "sub %[d], %[w]\n\t"                                                    \
  "movzbl (%[w]), %k[e]\n\t"                                              \
  "cmp $255, %k[e]\n\t"                                                   \
  "je " L "9f\n\t"                                                        \
  "cmpb $59, 2(%[" E "])\n\t"                                             \
  "ja " L "9f\n\t"                                                        \
  "lea 34(%[" O "], %[e]), %[e]\n\t"                                      \
  "cmp " DISP "+82080(%[tab]), %[e]\n\t"                                  \
  "ja " L "9f\n\t"                                                        \
  "sub %[" O "], %[e]\n\t"                                                \
  "sub $16, %[e]\n\t"                                                     \
  "shlx %[t], %[" B "], %[" B "]\n\t" /* the code */                      \
  "sub %[t], %[" N "]\n\t"                                                \
  "lea 1(%[w]), %[" P "]\n\t" /* back to the length byte, and past it */  \
  "shl $3, %[d]\n\t"                                                      \
  "sub %[d], %[" N "]\n\t"                                                \
  "and $63, %[" N "]\n\t"                                                 \
  "mov $64, %k[t]\n\t"                                                    \
  "sub %[" N "], %[t]\n\t"                                                \
  "shrx %[t], %[" B "], %[" B "]\n\t"                                     \
  "shlx %[t], %[" B "], %[" B "]\n\t"                                     \
  "incq " DISP "+82088(%[tab])\n\t"                                       \
  "movzbl 2(%[" E "]), %k[t]\n\t" /* the distance */                      \
  "mov %[" B "], %[d]\n\t"                                                \
  "shr $1, %[d]\n\t"                                                      \
  "bts $63, %[d]\n\t"                                                     \
  "shrx %[t], %[d], %[d]\n\t"                                             \
  "neg %[t]\n\t"                                                          \
  "add $63, %[t]\n\t"                                                     \
  "shlx %[t], %[" B "], %[" B "]\n\t"                                     \
  "sub %[t], %[" N "]\n\t"                                                \
  "neg %[d]\n\t"                                                          \
  "add %[" O "], %[d]\n\t"                                                \
  "xor %k[t], %k[t]\n"                                                    \
  L "7:\n\t"                                                              \
  "movdqu (%[d], %[t]), %[x]\n\t"                                         \
  "movdqu %[x], (%[" O "], %[t])\n\t"                                     \
  "add $16, %[t]\n\t"                                                     \
  "cmp %[e], %[t]\n\t"                                                    \
  "jb " L "7b\n\t"                                                        \
  "add %[e], %[" O "]\n\t"                                                \
  LOMAR_REFILL(B, N, P) /* and the next entry */                          \
  "mov %[" B "], %[t]\n\t"                                                \
  "shr $53, %[t]\n\t"                                                     \
  "lea " DISP "(%[tab], %[t], 8), %[" E "]\n\t"                           \
  "jmp " L "5b\n"                                                         \
  L "9:\n\t"                                                              \
  "mov $" L ", %k[t]\n\t"                                                 \
  "jmp 99f\n"

static_assert(offsetof(DecodeTable, secondary) == 16384 && offsetof(DecodeTable, periods) == 81936 &&
                  offsetof(DecodeTable, pairedInputLimit) == 82064 &&
                  offsetof(DecodeTable, pairedOutputLimit) == 82072 && offsetof(DecodeTable, pairedEnd) == 82080 &&
                  offsetof(DecodeTable, pairedLengthBytes) == 82088,
              "the paired loop reads the table at these offsets");

struct LaneRegisters {
  std::uint64_t buf, n;  // n right in its low six bits only, as in FastLoopBody
  const std::uint8_t* p;
  std::uint8_t* op;
  const Entry* ep;  // looked up ahead, as in FastLoopBody
};

// Rounds of one iteration per lane while both lanes are within their tables' limits, without distance
// checks (both lanes are 64 KiB past their starts). Returns 0 at a limit, or the lane (1 or 2) that
// stopped at an entry left to the caller; the other lane is then at the end of an iteration.
template <std::size_t secondLaneOffset>
__attribute__((always_inline)) inline unsigned PairedLoop(LaneRegisters& a, LaneRegisters& b,
                                                           const DecodeTable& first) {
  std::uint64_t e, t, d, w;
  __m128i x;
  asm volatile(
      "100:\n\t"
      LOMAR_LANE("ba", "na", "pa", "oa", "ea", "0", "1")
      LOMAR_LANE("bb", "nb", "pb", "ob", "eb", "%c[disp]", "2")
      "cmp 82072(%[tab]), %[oa]\n\t"
      "jae 98f\n\t"
      "cmp 82064(%[tab]), %[pa]\n\t"
      "jae 98f\n\t"
      "cmp %c[disp]+82072(%[tab]), %[ob]\n\t"
      "jae 98f\n\t"
      "cmp %c[disp]+82064(%[tab]), %[pb]\n\t"
      "jb 100b\n"
      "98:\n\t"
      "xor %k[t], %k[t]\n\t"
      "jmp 99f\n"
      LOMAR_LANE_COLD("ba", "na", "pa", "oa", "ea", "0", "1")
      LOMAR_LANE_COLD("bb", "nb", "pb", "ob", "eb", "%c[disp]", "2")
      "99:\n"
      : [ba] "+r"(a.buf), [na] "+r"(a.n), [pa] "+r"(a.p), [oa] "+r"(a.op), [ea] "+r"(a.ep),
        [bb] "+r"(b.buf), [nb] "+r"(b.n), [pb] "+r"(b.p), [ob] "+r"(b.op), [eb] "+r"(b.ep),
        [e] "=&r"(e), [t] "=&r"(t), [d] "=&r"(d), [w] "=&r"(w), [x] "=&x"(x)
      : [tab] "r"(first.primary), [disp] "i"(secondLaneOffset)
      : "cc", "memory");
  return static_cast<unsigned>(t);
}

// Both lanes' fast stretches through the paired loop, with the entries it leaves taken here.
static inline bool PairedFast(Lanes& lanes) {
  auto load = [](const Lane& l) {
    Reader r = l.r;
    RefillFast(r, l.ip);
    return LaneRegisters{r.buf, r.n, l.ip + r.pos, l.op, &l.table.primary[r.buf >> (64 - tableBits)]};
  };
  auto store = [](const LaneRegisters& g, Lane& l) {
    l.r.buf = g.buf;
    l.r.n = static_cast<unsigned>(g.n & 63);
    l.r.pos = static_cast<std::size_t>(g.p - l.ip);
    l.op = g.op;
  };
  // One more iteration fits while its writes (17 bytes at most, or a long match's, which checks its own)
  // stay within the sub-block, and its reads 8 bytes short of where FastLoopBody stops reading (see
  // fast_loop.cpp).
  auto limit = [](Lane& l) {
    l.table.pairedInputLimit = l.ip + l.inFast - 7;
    l.table.pairedOutputLimit = l.subEnd - 16;
    l.table.pairedEnd = l.oend;
    l.table.pairedLengthBytes = 0;
  };
  auto fits = [](const LaneRegisters& g, const Lane& l) {
    return g.op < l.table.pairedOutputLimit && g.p < l.table.pairedInputLimit;
  };
  limit(lanes.a);
  limit(lanes.b);
  LaneRegisters ga = load(lanes.a), gb = load(lanes.b);
  bool ok = true;
  while (fits(ga, lanes.a) && fits(gb, lanes.b)) {
    const unsigned stopped = PairedLoop<offsetof(Lanes, b)>(ga, gb, lanes.a.table);
    if (stopped == 0) break;
    // A long match the loop does not take, or a hole; the link to it, if any, already followed.
    LaneRegisters& g = stopped == 1 ? ga : gb;
    Lane& l = stopped == 1 ? lanes.a : lanes.b;
    const Entry e = *g.ep;
    if (Kind(e) != longKind) {
      ok = false;
      break;
    }
    l.r.buf = g.buf;
    l.r.n = static_cast<unsigned>((g.n & 15) | 48);  // as n & 63 here, just after a refill
    l.r.pos = static_cast<std::size_t>(g.p - l.ip);
    if ((l.op = LongMatch(e, l.r, l.View(), g.op)) == nullptr) {
      ok = false;
      break;
    }
    g = load(l);
  }
  store(ga, lanes.a);
  store(gb, lanes.b);
  lanes.a.r.lengthBytes += lanes.a.table.pairedLengthBytes;
  lanes.b.r.lengthBytes += lanes.b.table.pairedLengthBytes;
  return ok;
}

}  // namespace lomar::xpress

#undef LOMAR_REFILL
#undef LOMAR_LANE
#undef LOMAR_LANE_COLD
#endif
