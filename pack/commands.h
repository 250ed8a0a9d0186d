// The packer's commands. Each takes its arguments after the command's name and returns the exit status;
// its failures are thrown as UsageError (exit 2) or ToolError (exit 1).
#pragma once

#include <span>
#include <string>

namespace lomar::pack {

int Build(std::span<const std::string> args);
int List(std::span<const std::string> args);
int Verify(std::span<const std::string> args);
int Extract(std::span<const std::string> args);
int Diff(std::span<const std::string> args);

}  // namespace lomar::pack
