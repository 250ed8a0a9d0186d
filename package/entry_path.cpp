#include "package/entry_path.h"

#include <cstdint>

#include "core/failure.h"
#include "core/messages.h"
#include "core/unicode.h"

namespace lomar {
namespace {

constexpr Unit separator = LT('/');
constexpr Unit dot = LT('.');
constexpr Unit space = LT(' ');
// Stream, wildcard, quoting and redirection characters, and the backslash that
// would make a second separator or a rooted, drive, share or device path.
constexpr TextView forbidden = LT("\\:*?\"<>|");

bool IsControl(Unit unit) { return static_cast<std::uint16_t>(unit) <= 0x1F; }

// Windows also reads the Latin-1 superscripts one to three as port numbers.
bool IsDeviceDigit(Unit unit) {
  return (unit >= LT('0') && unit <= LT('9')) || unit == 0x00B9 || unit == 0x00B2 || unit == 0x00B3;
}

using Folding = void (*)(Unit*, std::size_t);

// Names that Windows opens as devices whatever folder or extension they carry.
bool IsReservedStem(TextView stem, Folding fold) {
  Text lower(stem);
  fold(lower.data(), lower.size());
  const TextView s = lower;
  switch (s.size()) {
    case 3:
      return s == LT("con") || s == LT("prn") || s == LT("aux") || s == LT("nul");
    case 4:
      return (s.substr(0, 3) == LT("com") || s.substr(0, 3) == LT("lpt")) && IsDeviceDigit(s[3]);
    case 6:
      return s == LT("conin$");
    case 7:
      return s == LT("conout$");
    default:
      return false;
  }
}

void CheckComponent(TextView component, Folding fold) {
  if (component.empty() || component == LT(".") || component == LT("..")) throw Failure{msg::unsafePath};
  // Windows would store these without the trailing dot or space.
  if (component.back() == dot || component.back() == space) throw Failure{msg::unsafePath};
  for (const Unit unit : component) {
    if (IsControl(unit) || forbidden.find(unit) != TextView::npos) throw Failure{msg::unsafePath};
  }
  if (IsReservedStem(component.substr(0, component.find(dot)), fold)) throw Failure{msg::reservedFilename};
}

void CheckEntryPath(TextView name, Folding fold) {
  if (name.empty() || name.front() == separator || name.back() == separator) throw Failure{msg::invalidPath};
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find(separator, start);
    CheckComponent(name.substr(start, end == TextView::npos ? TextView::npos : end - start), fold);
    if (end == TextView::npos) return;
    start = end + 1;
  }
}

}  // namespace

void CheckEntryPath(TextView name) { CheckEntryPath(name, LowerCase); }

void CheckEntryPathPortably(TextView name) { CheckEntryPath(name, PortableLowerCase); }

}  // namespace lomar
