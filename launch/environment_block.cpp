#include "launch/environment_block.h"

#include <algorithm>

#include "core/unicode.h"

namespace lomar {
namespace {

// Letters compare as lower case, so "_" (after the capitals, before the small letters) sorts before every
// letter, and "=" after the digits and before the letters.
Unit SortKey(Unit unit) { return unit >= LT('A') && unit <= LT('Z') ? static_cast<Unit>(unit + (LT('a') - LT('A'))) : unit; }

bool SortsBefore(const Text& a, const Text& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](Unit x, Unit y) {
    return static_cast<std::uint16_t>(SortKey(x)) < static_cast<std::uint16_t>(SortKey(y));
  });
}

bool IsPortableRoot(const Text& entry) {
  // The whole entry is lower-cased, as the platform's call does it, before its head is compared.
  const Text lower = LowerCased(entry);
  constexpr TextView head = LT("lomar_portable_root=");
  return lower.size() >= head.size() && TextView(lower).substr(0, head.size()) == head;
}

}  // namespace

std::vector<Text> SplitEnvironmentBlock(const Unit* block) {
  std::vector<Text> entries;
  for (const Unit* at = block; *at != 0;) {
    Text entry(at);
    at += entry.size() + 1;
    entries.push_back(std::move(entry));
  }
  return entries;
}

Text ChildEnvironmentBlock(std::vector<Text> entries, TextView exeDir) {
  std::erase_if(entries, IsPortableRoot);
  Text root(portableRootName);
  root += LT('=');
  root += exeDir;
  entries.push_back(std::move(root));
  std::sort(entries.begin(), entries.end(), SortsBefore);
  Text block;
  for (const Text& entry : entries) {
    block += entry;
    block += Unit{0};
  }
  block += Unit{0};
  return block;
}

}  // namespace lomar
