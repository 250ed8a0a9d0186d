// The compression function on the x86 SHA extensions. sha256rnds2 does two rounds on the working variables
// held as the pairs ABEF and CDGH; sha256msg1 and sha256msg2 extend the message schedule four words at a
// time. Compiled for those instructions alone (the rest of the program keeps its baseline), and called only
// where cpuid says the processor has them.
#include "core/sha256_blocks.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define LOMAR_SHA_EXTENSIONS 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace lomar::sha256_blocks {

#if defined(LOMAR_SHA_EXTENSIONS)
namespace {

#define LOMAR_SHA_TARGET __attribute__((target("sha,ssse3,sse4.1")))

// Two rounds with the low two words of `wk` (W + K), then two with its high two.
LOMAR_SHA_TARGET inline void FourRounds(__m128i& abef, __m128i& cdgh, __m128i wk) {
  cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
  abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
}

LOMAR_SHA_TARGET inline __m128i Constants(int group) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(roundConstants + 4 * group));
}

// W[t..t+3] from the four groups before it: msg1 adds sigma0 of the words 15 back to the words 16 back,
// the words 7 back are taken across the two latest groups, and msg2 adds sigma1 of the words 2 back, which
// for the upper two are the new words themselves.
LOMAR_SHA_TARGET inline __m128i NextWords(__m128i w16, __m128i w12, __m128i w8, __m128i w4) {
  const __m128i partial = _mm_add_epi32(_mm_sha256msg1_epu32(w16, w12), _mm_alignr_epi8(w4, w8, 4));
  return _mm_sha256msg2_epu32(partial, w4);
}

LOMAR_SHA_TARGET void Blocks(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count) {
  // Big-endian words to little-endian lanes.
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  // state is a, b, c, d | e, f, g, h; the rounds want a, b, e, f | c, d, g, h with a in the top lane.
  const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

  for (; count != 0; --count, blocks += 64) {
    const __m128i savedAbef = abef;
    const __m128i savedCdgh = cdgh;
    __m128i w[4];
    // Unrolled whole, so that the ring lives in registers and the schedule overlaps the rounds.
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
      w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteSwap);
      FourRounds(abef, cdgh, _mm_add_epi32(w[i], Constants(i)));
    }
    // Groups 4 to 15, each from the four before it, kept in a ring of four.
#pragma GCC unroll 12
    for (int group = 4; group < 16; ++group) {
      const int slot = group & 3;
      w[slot] = NextWords(w[slot], w[(group + 1) & 3], w[(group + 2) & 3], w[(group + 3) & 3]);
      FourRounds(abef, cdgh, _mm_add_epi32(w[slot], Constants(group)));
    }
    abef = _mm_add_epi32(abef, savedAbef);
    cdgh = _mm_add_epi32(cdgh, savedCdgh);
  }

  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace

void (*const shaExtensions)(std::uint32_t*, const std::uint8_t*, std::size_t) = Blocks;

bool ProcessorHasShaExtensions() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
  const bool ssse3 = (c & bit_SSSE3) != 0, sse41 = (c & bit_SSE4_1) != 0;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
  const bool sha = (b & bit_SHA) != 0;
  return ssse3 && sse41 && sha;
}

#else

void (*const shaExtensions)(std::uint32_t*, const std::uint8_t*, std::size_t) = nullptr;
bool ProcessorHasShaExtensions() { return false; }

#endif

}  // namespace lomar::sha256_blocks
