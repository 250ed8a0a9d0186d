#include "pack/exclude_patterns.h"

#include <cstdint>
#include <span>

#include "core/unicode.h"
#include "package/format.h"
#include "pack/tool_error.h"
#include "pack/utf8_steps.h"

namespace lomar::pack {
namespace {

constexpr std::u32string_view anyComponents = U"**";

// A byte that starts no well-formed sequence stands for itself, outside Unicode, so that a name the file
// system spells in other bytes than UTF-8 can still be matched by `*` and `?` and never equals a letter.
constexpr char32_t strayByteBase = 0x110000;

// One component's code points, lower-cased as the name rules lower-case names.
std::u32string Folded(std::string_view utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const Utf8Step step = NextUtf8Step(utf8, i);
    out.push_back(step.valid ? PortableLowerCodePoint(step.codePoint)
                             : strayByteBase + static_cast<std::uint8_t>(utf8[i]));
    i += step.length;
  }
  return out;
}

std::vector<std::string_view> Split(std::string_view path) {
  std::vector<std::string_view> components;
  for (std::size_t from = 0;;) {
    const std::size_t slash = path.find('/', from);
    components.push_back(path.substr(from, slash == std::string_view::npos ? slash : slash - from));
    if (slash == std::string_view::npos) return components;
    from = slash + 1;
  }
}

// Wildcard matching with one point to come back to, the last `*` seen: when an atom matches exactly one
// element, trying the last star's next extension is enough, so the work stays linear in practice and never
// exponential. The same walk serves characters within a component and components within a path.
template <typename Element, typename IsStar, typename Matches>
bool WildcardMatch(std::span<const Element> pattern, std::span<const Element> subject, IsStar isStar,
                   Matches matches) {
  std::size_t p = 0, s = 0;
  std::size_t starAt = pattern.size(), starSubject = 0;
  while (s < subject.size()) {
    if (p < pattern.size() && isStar(pattern[p])) {
      starAt = p++;
      starSubject = s;
    } else if (p < pattern.size() && matches(pattern[p], subject[s])) {
      ++p;
      ++s;
    } else if (starAt != pattern.size()) {
      p = starAt + 1;
      s = ++starSubject;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && isStar(pattern[p])) ++p;
  return p == pattern.size();
}

bool ComponentMatches(const std::u32string& pattern, const std::u32string& name) {
  return WildcardMatch<char32_t>(
      pattern, name, [](char32_t c) { return c == U'*'; },
      [](char32_t p, char32_t c) { return p == c || p == U'?'; });
}

bool PathMatches(const std::vector<std::u32string>& pattern, std::span<const std::u32string> path) {
  return WildcardMatch<std::u32string>(
      pattern, path, [](const std::u32string& c) { return c == anyComponents; }, ComponentMatches);
}

UsageError Malformed(const std::string& pattern, const std::string& why) {
  return UsageError{"--exclude \"" + pattern + "\": " + why + " (see: lomar-pack build --help)"};
}

}  // namespace

void ExcludePatterns::Add(const std::string& pattern) {
  if (pattern.empty()) throw Malformed(pattern, "an empty pattern");
  if (pattern.find('\\') != std::string::npos)
    throw Malformed(pattern, "separate folders with /, not \\");
  if (pattern.front() == '/') throw Malformed(pattern, "patterns are relative to GAME_DIR and never start with /");
  Pattern compiled;
  std::string_view text = pattern;
  if (text.size() > 1 && text.back() == '/') {
    compiled.foldersOnly = true;
    text.remove_suffix(1);
  }
  for (const std::string_view component : Split(text)) {
    if (component.empty() || component == "." || component == "..")
      throw Malformed(pattern, "a folder name in a pattern is never empty, \".\" or \"..\"");
    compiled.components.push_back(Folded(component));
  }
  texts_.push_back(pattern);
  patterns_.push_back(std::move(compiled));
}

const std::string* ExcludePatterns::Matching(std::string_view path, bool folder) const {
  if (patterns_.empty()) return nullptr;
  std::vector<std::u32string> components;
  for (const std::string_view component : Split(path)) components.push_back(Folded(component));
  for (std::size_t i = 0; i < patterns_.size(); ++i) {
    const Pattern& pattern = patterns_[i];
    for (std::size_t count = 1; count <= components.size(); ++count) {
      const bool isFolder = count < components.size() || folder;
      if (pattern.foldersOnly && !isFolder) continue;
      if (PathMatches(pattern.components, std::span(components).first(count))) return &texts_[i];
    }
  }
  return nullptr;
}

void RefuseLeavingOutTheGame(const ExcludePatterns& patterns) {
  // Letter case does not matter to the patterns, so the one spelling stands for every other.
  if (const std::string* pattern = patterns.Matching(format::gameExeName, false))
    throw UsageError{"--exclude \"" + *pattern + "\" would leave out LOMARVesperon.exe, the game executable the "
                     "launcher starts (see: lomar-pack build --help)"};
}

}  // namespace lomar::pack
