// What a Windows test reads of a failure: the text the user would see.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "core/failure.h"
#include "core/text.h"

namespace lomar {

// The user's text of what `run` throws, or "" when it throws nothing.
inline std::string FailureText(const std::function<void()>& run) {
  try {
    run();
  } catch (...) {
    return ToUtf8(FailureMessage(std::current_exception()));
  }
  return "";
}

}  // namespace lomar
