// The packer's command lines: operands, options with a value (--name VALUE or --name=VALUE) and flags.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lomar::pack {

struct CommandLine {
  std::vector<std::string> operands;
  std::map<std::string, std::string, std::less<>> values;
  std::map<std::string, std::vector<std::string>, std::less<>> lists;  // options that may be repeated
  std::set<std::string, std::less<>> flags;
  bool help = false;

  std::optional<std::string> Value(std::string_view option) const;
  // The values of a repeated option in the order given; none when it was not given.
  std::vector<std::string> Repeated(std::string_view option) const;
};

// Throws UsageError, with a hint at `command --help`, for an option the command does not know, a value
// missing, or an option given twice (but for the `repeated` ones, whose values are kept in order). "--" ends
// the options.
CommandLine ParseCommandLine(std::span<const std::string> args, const std::string& command,
                             std::initializer_list<std::string_view> valued,
                             std::initializer_list<std::string_view> flags,
                             std::initializer_list<std::string_view> repeated = {});

// The whole number an option gives, from 1 to `most`; anything else is a UsageError.
unsigned WholeNumber(const std::string& option, const std::string& value, unsigned most, const std::string& command);

}  // namespace lomar::pack
