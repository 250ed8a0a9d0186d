#include "pack/command_line.h"

#include <algorithm>
#include <charconv>

#include "pack/tool_error.h"

namespace lomar::pack {
namespace {

UsageError Misuse(const std::string& command, const std::string& what) {
  return UsageError{what + " (see: lomar-pack " + command + " --help)"};
}

}  // namespace

std::optional<std::string> CommandLine::Value(std::string_view option) const {
  const auto found = values.find(option);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> CommandLine::Repeated(std::string_view option) const {
  const auto found = lists.find(option);
  return found == lists.end() ? std::vector<std::string>{} : found->second;
}

CommandLine ParseCommandLine(std::span<const std::string> args, const std::string& command,
                             std::initializer_list<std::string_view> valued,
                             std::initializer_list<std::string_view> flags,
                             std::initializer_list<std::string_view> repeated) {
  CommandLine line;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      line.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      line.help = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
      if (equals != std::string::npos) throw Misuse(command, name + " takes no value");
      line.flags.insert(name);
      continue;
    }
    const bool isRepeated = std::find(repeated.begin(), repeated.end(), name) != repeated.end();
    if (!isRepeated && std::find(valued.begin(), valued.end(), name) == valued.end())
      throw Misuse(command, "unknown option " + name);
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      throw Misuse(command, name + " needs a value");
    }
    if (isRepeated)
      line.lists[name].push_back(std::move(value));
    else if (!line.values.emplace(name, value).second)
      throw Misuse(command, name + " is given twice");
  }
  return line;
}

unsigned WholeNumber(const std::string& option, const std::string& value, unsigned most, const std::string& command) {
  unsigned n = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
  if (error != std::errc() || end != value.data() + value.size() || n == 0 || n > most)
    throw Misuse(command, option + " takes a whole number from 1 to " + std::to_string(most) + ", not " + value);
  return n;
}

}  // namespace lomar::pack
