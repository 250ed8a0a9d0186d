// What the packer says when an executable or an icon file cannot be used. The
// message continues a sentence whose subject is the file, so the caller writes
// "<file>: <message>".
#pragma once

#include <stdexcept>
#include <string>

namespace lomar::pe {

class PeError : public std::runtime_error {
 public:
  explicit PeError(const std::string& message) : std::runtime_error(message) {}
};

class IconError : public std::runtime_error {
 public:
  explicit IconError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace lomar::pe
