#include "codec/huffman.h"

#include <algorithm>
#include <cstring>

namespace lomar::xpress {

void BuildCodeLengths(const std::uint32_t (&frequencies)[symbolCount], std::uint8_t (&lengths)[symbolCount]) {
  std::memset(lengths, 0, sizeof lengths);
  // Leaves sorted by (frequency, symbol): the front ones end up deepest.
  std::uint64_t leaves[symbolCount];
  unsigned m = 0;
  for (unsigned s = 0; s < symbolCount; ++s)
    if (frequencies[s] != 0) leaves[m++] = (std::uint64_t{frequencies[s]} << 16) | s;
  if (m == 0) return;
  if (m == 1) {
    const unsigned used = leaves[0] & 0xFFFF;
    lengths[used] = 1;
    lengths[used == 0 ? 1 : 0] = 1;
    return;
  }
  std::sort(leaves, leaves + m);

  // Two-queue construction: leaves in order, internal nodes created in nondecreasing weight.
  std::uint64_t weight[2 * symbolCount];
  std::uint16_t parent[2 * symbolCount];
  for (unsigned i = 0; i < m; ++i) weight[i] = leaves[i] >> 16;
  unsigned nextLeaf = 0, nextInternal = m;
  for (unsigned k = m; k < 2 * m - 1; ++k) {
    unsigned pick[2];
    for (unsigned& p : pick) {
      if (nextLeaf < m && (nextInternal >= k || weight[nextLeaf] <= weight[nextInternal]))
        p = nextLeaf++;
      else
        p = nextInternal++;
    }
    weight[k] = weight[pick[0]] + weight[pick[1]];
    parent[pick[0]] = parent[pick[1]] = static_cast<std::uint16_t>(k);
  }
  std::uint8_t depth[2 * symbolCount];
  depth[2 * m - 2] = 0;
  unsigned count[64] = {};
  for (int node = static_cast<int>(2 * m) - 3; node >= 0; --node) {
    depth[node] = static_cast<std::uint8_t>(depth[parent[node]] + 1);
    if (static_cast<unsigned>(node) < m) ++count[std::min<unsigned>(depth[node], maxCodeLength)];
  }

  // Pull too-long codes up to the limit, then lengthen the shallowest leaves that can take it until the
  // Kraft sum is exact again.
  std::uint64_t kraft = 0;
  for (unsigned len = 1; len <= maxCodeLength; ++len) kraft += std::uint64_t{count[len]} << (maxCodeLength - len);
  while (kraft > (1u << maxCodeLength)) {
    unsigned b = maxCodeLength - 1;
    while (count[b] == 0) --b;
    if (count[maxCodeLength] != 0) {
      --count[b];
      count[b + 1] += 2;
      --count[maxCodeLength];
      kraft -= 1;
    } else {
      --count[b];
      ++count[b + 1];
      kraft -= std::uint64_t{1} << (maxCodeLength - b - 1);
    }
  }

  unsigned i = 0;
  for (unsigned len = maxCodeLength; len >= 1; --len)
    for (unsigned c = 0; c < count[len]; ++c) lengths[leaves[i++] & 0xFFFF] = static_cast<std::uint8_t>(len);
}

void BuildCanonicalCodes(const std::uint8_t (&lengths)[symbolCount], std::uint16_t (&codes)[symbolCount]) {
  unsigned count[maxCodeLength + 1] = {};
  for (unsigned s = 0; s < symbolCount; ++s) ++count[lengths[s]];
  count[0] = 0;
  unsigned next[maxCodeLength + 2] = {};
  for (unsigned len = 1; len <= maxCodeLength; ++len) next[len + 1] = (next[len] + count[len]) << 1;
  for (unsigned s = 0; s < symbolCount; ++s)
    codes[s] = lengths[s] ? static_cast<std::uint16_t>(next[lengths[s]]++) : 0;
}

}  // namespace lomar::xpress
