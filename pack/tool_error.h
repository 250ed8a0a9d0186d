// How the packer's commands fail: a usage error (exit 2, with a hint) or a failure of the work itself
// (exit 1), each one line that names the file concerned.
#pragma once

#include <string>

namespace lomar::pack {

struct UsageError {
  std::string message;
};

struct ToolError {
  std::string message;
};

}  // namespace lomar::pack
