#include "pack/json_writer.h"

#include "pack/utf8_steps.h"

namespace lomar::pack {

std::string JsonString(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Step step = NextUtf8Step(text, i);
    if (!step.valid) {
      out += "\xEF\xBF\xBD";
    } else if (step.codePoint == U'"' || step.codePoint == U'\\') {
      out += '\\';
      out += static_cast<char>(step.codePoint);
    } else if (step.codePoint < 0x20 || step.codePoint == 0x7F) {
      out += "\\u00";
      out += hex[step.codePoint >> 4];
      out += hex[step.codePoint & 0xF];
    } else {
      out.append(text.substr(i, step.length));
    }
    i += step.length;
  }
  return out + "\"";
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (empty_.empty()) return;
  if (!empty_.back()) out_ += ',';
  empty_.back() = false;
  out_ += '\n';
  out_.append(2 * empty_.size(), ' ');
}

JsonWriter& JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ += bracket;
  empty_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
  const bool wasEmpty = empty_.back();
  empty_.pop_back();
  if (!wasEmpty) {
    out_ += '\n';
    out_.append(2 * empty_.size(), ' ');
  }
  out_ += bracket;
  return *this;
}

JsonWriter& JsonWriter::BeginObject() { return Open('{'); }
JsonWriter& JsonWriter::EndObject() { return Close('}'); }
JsonWriter& JsonWriter::BeginArray() { return Open('['); }
JsonWriter& JsonWriter::EndArray() { return Close(']'); }

JsonWriter& JsonWriter::Key(std::string_view key) {
  BeforeValue();
  out_ += JsonString(key);
  out_ += ": ";
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  BeforeValue();
  out_ += JsonString(text);
  return *this;
}

JsonWriter& JsonWriter::Number(std::uint64_t number) {
  BeforeValue();
  out_ += std::to_string(number);
  return *this;
}

}  // namespace lomar::pack
