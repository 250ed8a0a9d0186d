// The max level: every match a binary-tree search finds, then a shortest path through each sub-block priced
// by the Huffman code the previous path produced, repeated a few times.
#include <algorithm>
#include <vector>

#include "codec/lz_huffman.h"
#include "codec/match_length.h"
#include "codec/segment.h"
#include "codec/sub_block_writer.h"

namespace lomar::xpress {
namespace {

constexpr unsigned hashBits = 16;
constexpr unsigned searchDepth = 8;
constexpr std::size_t niceLength = 24;
constexpr std::uint32_t unusedSymbolCost = 14;

struct Match {
  std::uint32_t length;
  std::uint32_t distance;
};

// Suffixes sharing a 3-byte hash kept in a binary tree ordered by their bytes; one walk from the root both
// finds the matches of the new position and re-roots the tree at it. Nodes live in a ring of 64 KiB
// positions: a walk stops at the first node out of reach, before it could meet a reused slot, and the
// ring stays in the cache where an array over the whole segment would not.
class BinaryTrees {
 public:
  explicit BinaryTrees(const Segment& s)
      : data_(s.data), size_(s.size), base_(s.historyStart), head_(1u << hashBits, -1),
        children_(2 * ringSize) {}

  // Appends the matches at pos, each longer than the one before, with lengths capped at limit; returns the
  // longest length seen before the cap.
  std::size_t Advance(std::size_t pos, std::size_t limit, std::vector<Match>* found) {
    const std::int32_t self = static_cast<std::int32_t>(pos - base_);
    std::int32_t* pendingLess = &children_[2 * Slot(self)];
    std::int32_t* pendingMore = &children_[2 * Slot(self) + 1];
    if (size_ - pos < 3) {
      *pendingLess = *pendingMore = -1;
      return 0;
    }
    std::int32_t& root = head_[Hash3(data_ + pos, hashBits)];
    std::int32_t cand = root;
    root = self;
    const std::uint8_t* const cur = data_ + pos;
    const std::size_t treeLimit = std::min(niceLength, size_ - pos);
    const std::size_t lowest = pos > maxDistance ? pos - maxDistance : 0;
    std::size_t lessLen = 0, moreLen = 0, best = 0, bestCapped = 2;
    for (unsigned depth = searchDepth; cand >= 0; --depth) {
      const std::size_t c = base_ + static_cast<std::size_t>(cand);
      if (c < lowest || depth == 0) break;
      const std::uint8_t* const m = data_ + c;
      std::size_t len = std::min(lessLen, moreLen);
      len += MatchLength(m + len, cur + len, treeLimit - len);
      if (len > best) {
        // The trees compare no further than niceLength; a match that gets there is measured in full.
        if (len >= treeLimit && limit > len) len += MatchLength(m + len, cur + len, limit - len);
        best = len;
        const std::size_t capped = std::min(len, limit);
        const std::size_t distance = pos - c;
        if (found && capped > bestCapped && !(capped == 3 && distance == 1)) {
          found->push_back({static_cast<std::uint32_t>(capped), static_cast<std::uint32_t>(distance)});
          bestCapped = capped;
        }
        if (best >= treeLimit) {
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

 private:
  static constexpr std::size_t ringSize = std::size_t{1} << 16;
  static std::size_t Slot(std::int32_t node) { return static_cast<std::size_t>(node) & (ringSize - 1); }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t base_;
  std::vector<std::int32_t> head_;
  std::vector<std::int32_t> children_;
};

struct Costs {
  std::uint32_t symbol[symbolCount];

  void SetDefault() {
    for (unsigned s = 0; s < 256; ++s) symbol[s] = 8;
    for (unsigned s = 256; s < symbolCount; ++s) symbol[s] = 8;
  }
  void Set(const std::uint8_t (&lengths)[symbolCount]) {
    for (unsigned s = 0; s < symbolCount; ++s) symbol[s] = lengths[s] ? lengths[s] : unusedSymbolCost;
  }
};

class SubBlockParser {
 public:
  SubBlockParser() : cost_(subBlockSize + 1), length_(subBlockSize + 1), distance_(subBlockSize + 1) {}

  // matchesAt[i]..matchesAt[i+1] index the matches of position subStart + i.
  void Parse(const std::uint8_t* data, std::size_t subStart, std::size_t count, const std::vector<Match>& matches,
             const std::vector<std::uint32_t>& matchesAt, const Costs& costs, std::vector<Item>& items) {
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
        for (; length <= m.length; ++length) {
          const std::uint32_t l = length - 3;
          std::uint32_t c = db + cost_[i + length];
          if (l < 15)
            c += sym[l];
          else
            c += sym[15] + (l - 15 < 255 ? 8 : 24);
          if (c < best) {
            best = c;
            bestLength = length;
            bestDistance = m.distance;
          }
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
  std::vector<std::uint32_t> cost_;
  std::vector<std::uint32_t> length_;
  std::vector<std::uint32_t> distance_;
};

}  // namespace

void EncodeSegmentOptimal(const Segment& s, std::vector<std::uint8_t>& out) {
  BinaryTrees trees(s);
  for (std::size_t p = s.historyStart; p < s.start; ++p) trees.Advance(p, 0, nullptr);
  std::vector<Match> matches;
  std::vector<std::uint32_t> matchesAt(subBlockSize + 1);
  std::vector<Item> items;
  items.reserve(subBlockSize);
  SubBlockParser parser;
  SubBlockWriter writer(out);
  std::uint8_t lengths[symbolCount];
  Costs costs;
  costs.SetDefault();

  for (std::size_t subStart = s.start; subStart < s.end || subStart == s.start; subStart += subBlockSize) {
    const std::size_t subEnd = std::min(s.end, subStart + subBlockSize);
    const std::size_t count = subEnd - subStart;
    const bool last = s.last && subEnd == s.end;
    matches.clear();
    for (std::size_t i = 0; i < count;) {
      matchesAt[i] = static_cast<std::uint32_t>(matches.size());
      const std::size_t longest = trees.Advance(subStart + i, count - i, &matches);
      if (longest < niceLength) {
        ++i;
        continue;
      }
      // A long repeat: take it whole and only keep the trees up to date across it.
      const std::size_t skip = std::min(longest, count - i);
      for (std::size_t k = 1; k < skip; ++k) {
        matchesAt[i + k] = static_cast<std::uint32_t>(matches.size());
        trees.Advance(subStart + i + k, 0, nullptr);
      }
      i += skip;
    }
    matchesAt[count] = static_cast<std::uint32_t>(matches.size());

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
