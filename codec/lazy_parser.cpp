// The fast level: hash chains of limited depth and one step of lazy evaluation, choosing between matches by
// the bits they save under the code the previous sub-block ended up with.
#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "codec/lz_huffman.h"
#include "codec/match_length.h"
#include "codec/segment.h"
#include "codec/sub_block_writer.h"

namespace lomar::xpress {
namespace {

constexpr unsigned hashBits = 16;
constexpr unsigned hash3Bits = 12;
constexpr unsigned searchDepth = 12;
constexpr std::size_t niceLength = 32;
// A match at least this long is taken without looking one position further.
constexpr std::size_t lazyLength = 16;
// Every 2^missShift literals in a row add one to the step between searched positions.
constexpr unsigned missShift = 8;

struct Match {
  std::uint32_t length = 0;
  std::uint32_t distance = 0;
  std::int32_t saving = 0;  // bits saved against literals, in sixteenths
};

// Prices in sixteenths of a bit: literals at their average, matches at their symbol, distance and length
// bytes.
struct Prices {
  std::int32_t literal = 8 * 16;
  std::int32_t symbol[256];

  Prices() {
    for (std::int32_t& s : symbol) s = 8 * 16;
  }
  void Learn(const std::uint8_t (&lengths)[symbolCount], std::span<const Item> items) {
    std::uint64_t bits = 0, count = 0;
    for (const Item& item : items)
      if (item.distance == 0) {
        bits += lengths[item.length];
        ++count;
      }
    literal = count ? static_cast<std::int32_t>(bits * 16 / count) : 8 * 16;
    for (unsigned s = 0; s < 256; ++s) symbol[s] = (lengths[256 + s] ? lengths[256 + s] : 12) * 16;
  }
  std::int32_t Saving(std::size_t length, std::size_t distance) const {
    const std::uint32_t l = static_cast<std::uint32_t>(length - 3);
    const unsigned db = DistanceBits(static_cast<std::uint32_t>(distance));
    std::int32_t cost = symbol[(db << 4) + (l < 15 ? l : 15)] + static_cast<std::int32_t>(db) * 16;
    if (l >= 15) cost += (l - 15 < 255 ? 8 : 24) * 16;
    return static_cast<std::int32_t>(length) * literal - cost;
  }
};

// Chains link positions by their first four bytes, so a short walk meets few false candidates; the latest
// position of each three-byte hash stands by for the short matches the chains cannot see.
class HashChains {
 public:
  HashChains(const Segment& s, Scratch& scratch) : data_(s.data), size_(s.size), base_(s.historyStart) {
    // Every head starts empty (-1, all bits set), cleared as one block of memory.
    scratch.heads.resize((1u << hashBits) + (1u << hash3Bits));
    std::memset(scratch.heads.data(), 0xFF, scratch.heads.size() * sizeof(scratch.heads[0]));
    scratch.links.resize(ringSize);
    head_ = scratch.heads.data();
    head3_ = head_ + (1u << hashBits);
    prev_ = scratch.links.data();
  }

  void Insert(std::size_t pos) {
    if (size_ - pos < 4) return;
    Link(pos, Load32(data_ + pos));
  }

  // The match at pos, no longer than limit, that saves the most among the candidates a short chain walk
  // finds, looking only at those longer than shorter (as long as a match one byte before, at the least);
  // none when no match beats literals. Puts pos in the chains as Insert does.
  Match FindAndInsert(std::size_t pos, std::size_t limit, std::size_t shorter, const Prices& prices) {
    Match best;
    if (size_ - pos < 4) return best;
    const std::uint32_t v = Load32(data_ + pos);
    const auto [near, chain] = Link(pos, v);
    if (limit < 3) return best;
    const std::uint8_t* const cur = data_ + pos;
    const std::size_t lowest = pos > maxDistance ? pos - maxDistance : 0;
    std::size_t bestLen = std::max<std::size_t>(2, shorter);
    if (bestLen >= limit) return best;
    if (bestLen == 2 && near >= 0) {
      const std::size_t c = base_ + static_cast<std::size_t>(near);
      const std::size_t distance = pos - c;
      if (c >= lowest && distance > 1 && std::memcmp(data_ + c, cur, 3) == 0) {
        const std::size_t len = MatchLength(data_ + c, cur, limit);
        const std::int32_t saving = prices.Saving(len, distance);
        if (saving > 0) {
          bestLen = len;
          best = {static_cast<std::uint32_t>(len), static_cast<std::uint32_t>(distance), saving};
          if (len >= niceLength || len == limit) return best;
        }
      }
    }
    std::int32_t cand = chain;
    for (unsigned depth = searchDepth; cand >= 0 && depth != 0; --depth) {
      const std::size_t c = base_ + static_cast<std::size_t>(cand);
      if (c < lowest) break;
      const std::uint8_t* const m = data_ + c;
      if (m[bestLen] == cur[bestLen] && m[0] == cur[0]) {
        const std::size_t len = MatchLength(m, cur, limit);
        const std::size_t distance = pos - c;
        // Distance 1 at length 3 would be symbol 256, which readers may take for the end of data.
        if (len > bestLen && (len > 3 || distance > 1)) {
          const std::int32_t saving = prices.Saving(len, distance);
          if (saving > best.saving) {
            bestLen = len;
            best = {static_cast<std::uint32_t>(len), static_cast<std::uint32_t>(distance), saving};
            if (len >= niceLength || len == limit) break;
          }
        }
      }
      cand = prev_[(c - base_) & (ringSize - 1)];
    }
    return best;
  }

 private:
  // Links live in a ring of 64 KiB positions; a walk stops at the first one out of reach, before any reuse.
  static constexpr std::size_t ringSize = std::size_t{1} << 16;

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t base_;
  static std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }

  struct Heads {
    std::int32_t near;   // the latest position before pos with the same 3-byte hash
    std::int32_t chain;  // the latest position before pos with the same 4-byte hash
  };
  // Makes pos the latest position of its hashes; v holds its first four bytes.
  Heads Link(std::size_t pos, std::uint32_t v) {
    const std::int32_t self = static_cast<std::int32_t>(pos - base_);
    std::int32_t& h3 = head3_[((v & 0xFFFFFF) * 0x9E3779B1u) >> (32 - hash3Bits)];
    std::int32_t& h4 = head_[(v * 0x9E3779B1u) >> (32 - hashBits)];
    const Heads old{h3, h4};
    h3 = self;
    prev_[(pos - base_) & (ringSize - 1)] = h4;
    h4 = self;
    return old;
  }

  std::int32_t* head_;
  std::int32_t* head3_;
  std::int32_t* prev_;
};

}  // namespace

void EncodeSegmentLazy(const Segment& s, Scratch& scratch, std::vector<std::uint8_t>& out) {
  HashChains chains(s, scratch);
  for (std::size_t p = s.historyStart; p < s.start; ++p) chains.Insert(p);
  // At most one item per byte; written through a pointer, as a push per literal is a large share of the
  // time on content without repeats.
  std::vector<Item>& items = scratch.items;
  const std::size_t most = std::min(subBlockSize, s.end - s.start);
  if (items.size() < most) items.resize(most);
  SubBlockWriter writer(out, scratch.bytes);
  std::uint8_t lengths[symbolCount];
  Prices prices;

  for (std::size_t subStart = s.start; subStart < s.end || subStart == s.start; subStart += subBlockSize) {
    const std::size_t subEnd = std::min(s.end, subStart + subBlockSize);
    Item* item = items.data();
    std::size_t i = subStart;
    // Where the last match ended: the longer the literals run since, the more positions the search steps
    // over, so content without repeats costs less to get through.
    std::size_t lastMatchEnd = subStart;
    while (i < subEnd) {
      Match m = chains.FindAndInsert(i, subEnd - i, 0, prices);
      if (m.length == 0) {
        const std::size_t step = std::min<std::size_t>(1 + ((i - lastMatchEnd) >> missShift), subEnd - i);
        *item++ = {s.data[i], 0};
        // The stepped-over positions still go in the chains: a repeat of them may come later.
        for (std::size_t k = 1; k < step; ++k) {
          *item++ = {s.data[i + k], 0};
          chains.Insert(i + k);
        }
        i += step;
        continue;
      }
      std::size_t inserted = i + 1;  // the positions before it are in the chains
      while (m.length < lazyLength && i + 1 < subEnd) {
        const Match next = chains.FindAndInsert(i + 1, subEnd - i - 1, m.length - 1, prices);
        inserted = i + 2;
        if (next.saving <= m.saving) break;
        *item++ = {s.data[i], 0};
        ++i;
        m = next;
      }
      *item++ = {m.length, m.distance};
      for (std::size_t k = inserted; k < i + m.length; ++k) chains.Insert(k);
      i += m.length;
      lastMatchEnd = i;
    }
    const std::span<const Item> parse(items.data(), item);
    writer.Write(parse, s.last && subEnd == s.end, lengths);
    prices.Learn(lengths, parse);
    if (subEnd == s.end) break;
  }
}

}  // namespace lomar::xpress
