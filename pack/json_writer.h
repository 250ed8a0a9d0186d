// The JSON documents the commands print with --json, written by hand so that what reaches a pipeline is
// exactly what we mean: strings escaped as JSON requires, UTF-8 kept as it is, whole numbers as digits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lomar::pack {

// `text` as a JSON string, quotes included: " and \ escaped by a backslash, control characters (and DEL)
// as \u00XX, well-formed UTF-8 as it is; a byte that starts no well-formed sequence (a path a file system
// spells in other bytes) becomes U+FFFD, so that the document stays UTF-8.
std::string JsonString(std::string_view text);

// One document, indented two spaces a level. Values follow a Key inside an object and stand alone inside
// an array; commas and line breaks are the writer's business. Misuse (a value without a key in an object,
// an unbalanced End) is a programming error and not checked beyond what keeps the text well-formed.
class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view text);
  JsonWriter& Number(std::uint64_t number);

  JsonWriter& Field(std::string_view key, std::string_view text) { return Key(key).String(text); }
  JsonWriter& Field(std::string_view key, const char* text) { return Key(key).String(text); }
  JsonWriter& Field(std::string_view key, std::uint64_t number) { return Key(key).Number(number); }

  // The document, ending in a line break.
  std::string Finish() const { return out_ + "\n"; }

 private:
  void BeforeValue();
  JsonWriter& Open(char bracket);
  JsonWriter& Close(char bracket);

  std::string out_;
  std::vector<bool> empty_;  // per open object or array: nothing in it yet
  bool afterKey_ = false;
};

}  // namespace lomar::pack
