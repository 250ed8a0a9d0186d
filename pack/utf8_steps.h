// Walking UTF-8 text one code point at a time, for text that may not be UTF-8 at all (paths given on a
// command line or spelled by a file system): each well-formed sequence is one step, each other byte one.
#pragma once

#include <cstddef>
#include <string_view>

namespace lomar::pack {

struct Utf8Step {
  char32_t codePoint;  // meaningful when valid
  std::size_t length;  // bytes taken: the sequence, or the one byte that starts none
  bool valid;
};

// The step at byte `at` (< text.size()), well-formed as the strict decoder judges it.
Utf8Step NextUtf8Step(std::string_view text, std::size_t at);

}  // namespace lomar::pack
