// The max level: every match a binary-tree search finds, then a shortest path through each sub-block priced
// by the Huffman code the previous path produced, repeated a few times.
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "codec/lz_huffman.h"
#include "codec/match_length.h"
#include "codec/segment.h"
#include "codec/sub_block_writer.h"

namespace lomar::xpress {
namespace {

constexpr unsigned hash3Bits = 14;
constexpr unsigned hash4Bits = 16;
constexpr unsigned searchDepth = 7;
constexpr std::size_t niceLength = 24;
// Positions whose matches are not wanted still go in the trees. The history before a segment takes a
// shorter walk, which costs little, as only the segment's start looks back into it; the inside of a long
// repeat takes the full one, as a walk cut short drops the older nodes below it.
constexpr unsigned historyDepth = 4;
constexpr unsigned skipDepth = searchDepth;
// A three-byte match from further back rarely beats three literals.
constexpr std::size_t near3Distance = 8191;
constexpr std::uint32_t unusedSymbolCost = 14;
// Costs are in sixteenths of a bit, and each symbol costs three bits more than its code: a path with fewer
// symbols wins over one up to three bits shorter per symbol saved. The decoder's work goes by symbols: this
// decodes about 4% faster for 0.2% more size (measured on executables and text).
constexpr std::uint32_t bitCost = 16;
constexpr std::uint32_t symbolCost = 48;

using Match = Item;  // never a literal: distance is at least 1

// How far a and b agree from `from` (which they agree up to), at most `limit`, eight bytes at a time and with
// no byte-wise tail: the caller has eight readable bytes past limit at both. The tree walk compares at most
// niceLength bytes a node, so the tail loop of the general comparison would cost it more than the words.
inline std::size_t TreeMatchLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t from, std::size_t limit) {
  for (std::size_t len = from;; len += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + len, 8);
    std::memcpy(&y, b + len, 8);
    if (x != y) return std::min(limit, len + static_cast<std::size_t>(std::countr_zero(x ^ y)) / 8);
    if (len + 8 >= limit) return limit;
  }
}

// Suffixes sharing a 4-byte hash kept in a binary tree ordered by their bytes; one walk from the root both
// finds the matches of the new position and re-roots the tree at it. Three-byte matches come from a table
// holding the latest position of each 3-byte hash instead: keeping them out of the trees makes each tree
// smaller, so the bounded walk reaches the long matches that pay. Nodes live in a ring of 64 KiB
// positions: a walk stops at the first node out of reach, before it could meet a reused slot, and the
// ring stays in the cache where an array over the whole segment would not.
class BinaryTrees {
 public:
  BinaryTrees(const Segment& s, Scratch& scratch) : data_(s.data), size_(s.size), base_(s.historyStart) {
    // Every head starts empty (-1, all bits set), cleared as one block of memory.
    scratch.heads.resize((1u << hash4Bits) + (1u << hash3Bits));
    std::memset(scratch.heads.data(), 0xFF, scratch.heads.size() * sizeof(scratch.heads[0]));
    scratch.links.resize(2 * ringSize);
    head_ = scratch.heads.data();
    head3_ = head_ + (1u << hash4Bits);
    children_ = scratch.links.data();
  }

  // Writes the matches at pos to out, each longer than the one before, with lengths capped at limit.
  // Returns the longest length seen before the cap and, in count, how many matches were written: at most
  // searchDepth + 1.
  std::size_t Find(std::size_t pos, std::size_t limit, Match* out, std::size_t& count) {
    return Walk<true>(pos, limit, searchDepth, out, count);
  }

  // Puts pos in the trees without collecting matches, walking at most depth nodes.
  void Insert(std::size_t pos, unsigned depth) {
    std::size_t count;
    Walk<false>(pos, 0, depth, nullptr, count);
  }

 private:
  template <bool record>
  std::size_t Walk(std::size_t pos, std::size_t limit, unsigned depth, Match* out, std::size_t& count) {
    count = 0;
    const std::int32_t self = static_cast<std::int32_t>(pos - base_);
    std::int32_t* pendingLess = &children_[2 * Slot(self)];
    std::int32_t* pendingMore = &children_[2 * Slot(self) + 1];
    if (size_ - pos < 4) {
      *pendingLess = *pendingMore = -1;
      return 0;
    }
    const std::uint8_t* const cur = data_ + pos;
    if (size_ - pos >= 5) {
      // The next position's heads, wanted by the next call: their loads then no longer wait on the cache.
      __builtin_prefetch(&head_[Hash4(cur + 1)]);
      __builtin_prefetch(&head3_[Hash3(cur + 1, hash3Bits)]);
    }
    const std::size_t lowest = pos > maxDistance ? pos - maxDistance : 0;
    std::size_t bestCapped = 2;
    {
      std::int32_t& slot = head3_[Hash3(cur, hash3Bits)];
      const std::int32_t near = slot;
      slot = self;
      if (record && near >= 0 && limit >= 3) {
        const std::size_t c = base_ + static_cast<std::size_t>(near);
        // Distance 1 at length 3 would be symbol 256, which readers may take for the end of data.
        if (pos - c <= near3Distance && pos - c > 1 && std::memcmp(data_ + c, cur, 3) == 0) {
          out[count++] = {3, static_cast<std::uint32_t>(pos - c)};
          bestCapped = 3;
        }
      }
    }
    std::int32_t& root = head_[Hash4(cur)];
    std::int32_t cand = root;
    root = self;
    const std::size_t treeLimit = std::min(niceLength, size_ - pos);
    const bool roomy = size_ - pos >= niceLength + 8;
    std::size_t lessLen = 0, moreLen = 0, best = 0;
    for (; cand >= 0; --depth) {
      const std::size_t c = base_ + static_cast<std::size_t>(cand);
      if (c < lowest || depth == 0) break;
      const std::uint8_t* const m = data_ + c;
      std::size_t len = std::min(lessLen, moreLen);
      len = roomy ? TreeMatchLength(m, cur, len, treeLimit) : len + MatchLength(m + len, cur + len, treeLimit - len);
      if (len > best) {
        best = len;
        if (record) {
          // The trees compare no further than niceLength; a match that gets there is measured in full.
          if (len >= treeLimit && limit > len) best = len + MatchLength(m + len, cur + len, limit - len);
          const std::size_t capped = std::min(best, limit);
          const std::size_t distance = pos - c;
          if (capped > bestCapped && !(capped == 3 && distance == 1)) {
            out[count++] = {static_cast<std::uint32_t>(capped), static_cast<std::uint32_t>(distance)};
            bestCapped = capped;
          }
        }
        if (len >= treeLimit) {
          *pendingLess = children_[2 * Slot(cand)];
          *pendingMore = children_[2 * Slot(cand) + 1];
          return best;
        }
      }
      if (m[len] < cur[len]) {
        *pendingLess = cand;
        pendingLess = &children_[2 * Slot(cand) + 1];
        cand = *pendingLess;
        lessLen = len;
      } else {
        *pendingMore = cand;
        pendingMore = &children_[2 * Slot(cand)];
        cand = *pendingMore;
        moreLen = len;
      }
    }
    *pendingLess = *pendingMore = -1;
    return best;
  }

  static constexpr std::size_t ringSize = std::size_t{1} << 16;
  static std::size_t Slot(std::int32_t node) { return static_cast<std::size_t>(node) & (ringSize - 1); }
  static std::uint32_t Hash4(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return (v * 0x9E3779B1u) >> (32 - hash4Bits);
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t base_;
  std::int32_t* head_;
  std::int32_t* head3_;
  std::int32_t* children_;
};

struct Costs {
  std::uint32_t symbol[symbolCount];

  void SetDefault() {
    for (unsigned s = 0; s < symbolCount; ++s) symbol[s] = 8 * bitCost + symbolCost;
  }
  void Set(const std::uint8_t (&lengths)[symbolCount]) {
    for (unsigned s = 0; s < symbolCount; ++s)
      symbol[s] = (lengths[s] ? lengths[s] : unusedSymbolCost) * bitCost + symbolCost;
  }
};

class SubBlockParser {
 public:
  // words holds the three arrays of the shortest path over at most most positions, each written before it
  // is read.
  SubBlockParser(std::uint32_t* words, std::size_t most) {
    cost_ = words;
    length_ = cost_ + most + 1;
    distance_ = length_ + most + 1;
  }

  // matchesAt[i]..matchesAt[i+1] index the matches of position subStart + i.
  void Parse(const std::uint8_t* data, std::size_t subStart, std::size_t count, const Match* matches,
             const std::uint32_t* matchesAt, const Costs& costs, std::vector<Item>& items) {
    cost_[count] = 0;
    for (std::size_t i = count; i-- > 0;) {
      std::uint32_t best = costs.symbol[data[subStart + i]] + cost_[i + 1];
      std::uint32_t bestLength = 1, bestDistance = 0;
      std::uint32_t length = 3;
      for (std::uint32_t k = matchesAt[i]; k < matchesAt[i + 1]; ++k) {
        const Match m = matches[k];
        const unsigned db = DistanceBits(m.distance);
        const std::uint32_t* sym = &costs.symbol[256 + (db << 4)];
        if (m.distance == 1 && length == 3) length = 4;
        // Lengths up to 17 have a symbol each; the longer ones share one and add length bytes. Selects
        // rather than branches: which length wins is close to random.
        const std::uint32_t* const next = &cost_[i];
        const std::uint32_t shortEnd = std::min<std::uint32_t>(m.length, 17);
        std::uint32_t chosen = 0;
        for (; length <= shortEnd; ++length) {
          const std::uint32_t c = db * bitCost + sym[length - 3] + next[length];
          chosen = c < best ? length : chosen;
          best = c < best ? c : best;
        }
        const std::uint32_t longBase = db * bitCost + sym[15];
        for (; length <= m.length; ++length) {
          const std::uint32_t c = longBase + (length - 18 < 255 ? 8 : 24) * bitCost + next[length];
          chosen = c < best ? length : chosen;
          best = c < best ? c : best;
        }
        if (chosen) {
          bestLength = chosen;
          bestDistance = m.distance;
        }
      }
      cost_[i] = best;
      length_[i] = bestLength;
      distance_[i] = bestDistance;
    }
    items.clear();
    for (std::size_t i = 0; i < count;) {
      if (distance_[i] == 0) {
        items.push_back({data[subStart + i], 0});
        ++i;
      } else {
        items.push_back({length_[i], distance_[i]});
        i += length_[i];
      }
    }
  }

 private:
  std::uint32_t* cost_;
  std::uint32_t* length_;
  std::uint32_t* distance_;
};

}  // namespace

void EncodeSegmentOptimal(const Segment& s, Scratch& scratch, std::vector<std::uint8_t>& out) {
  BinaryTrees trees(s, scratch);
  for (std::size_t p = s.historyStart; p < s.start; ++p) trees.Insert(p, historyDepth);
  // Room for every position's matches, so the search writes them without checking; no more than the
  // segment needs, as small content is common and clearing megabytes for it is not free.
  const std::size_t most = std::min(subBlockSize, s.end - s.start);
  if (scratch.matches.size() < most * (searchDepth + 1) + 1) scratch.matches.resize(most * (searchDepth + 1) + 1);
  Match* const matches = scratch.matches.data();
  // The parser's three arrays, then where each position's matches start.
  if (scratch.words.size() < 4 * (most + 1)) scratch.words.resize(4 * (most + 1));
  std::uint32_t* const matchesAt = scratch.words.data() + 3 * (most + 1);
  std::vector<Item>& items = scratch.items;
  SubBlockParser parser(scratch.words.data(), most);
  SubBlockWriter writer(out, scratch.bytes);
  std::uint8_t lengths[symbolCount];
  Costs costs;
  costs.SetDefault();

  for (std::size_t subStart = s.start; subStart < s.end || subStart == s.start; subStart += subBlockSize) {
    const std::size_t subEnd = std::min(s.end, subStart + subBlockSize);
    const std::size_t count = subEnd - subStart;
    const bool last = s.last && subEnd == s.end;
    std::size_t used = 0;
    for (std::size_t i = 0; i < count;) {
      matchesAt[i] = static_cast<std::uint32_t>(used);
      std::size_t found;
      const std::size_t longest = trees.Find(subStart + i, count - i, &matches[used], found);
      used += found;
      if (longest < niceLength) {
        ++i;
        continue;
      }
      // A long repeat: take it whole and only keep the trees up to date across it.
      const std::size_t skip = std::min(longest, count - i);
      for (std::size_t k = 1; k < skip; ++k) {
        matchesAt[i + k] = static_cast<std::uint32_t>(used);
        trees.Insert(subStart + i + k, skipDepth);
      }
      i += skip;
    }
    matchesAt[count] = static_cast<std::uint32_t>(used);

    // Prices come from the code of the sub-block before; the segment's first sub-block has none, so it
    // parses once more with the code its own first parse produced.
    const unsigned passes = subStart == s.start ? 2 : 1;
    for (unsigned pass = 0; pass < passes; ++pass) {
      parser.Parse(s.data, subStart, count, matches, matchesAt, costs, items);
      if (pass + 1 < passes) {
        CodeLengthsFor(items, last, lengths);
        costs.Set(lengths);
      }
    }
    writer.Write(items, last, lengths);
    costs.Set(lengths);
    if (subEnd == s.end) break;
  }
}

}  // namespace lomar::xpress
