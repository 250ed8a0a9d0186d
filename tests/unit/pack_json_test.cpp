#include <gtest/gtest.h>

#include <string>

#include "pack/json_writer.h"

namespace lomar::pack {
namespace {

TEST(JsonString, EscapesWhatJsonRequiresAndKeepsUtf8) {
  const struct {
    std::string text;
    std::string json;
  } cases[] = {
      {"", R"("")"},
      {"data/maps/level 1.map", R"("data/maps/level 1.map")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\Games\\LOMAR", R"("C:\\Games\\LOMAR")"},
      {"\\\"", R"("\\\"")"},
      {"a\nb\tc\rd", R"("a\u000ab\u0009c\u000dd")"},
      {std::string("nul\0here", 8), R"("nul\u0000here")"},
      {"\x01\x1f\x7f", R"("\u0001\u001f\u007f")"},
      {"\x20~", R"(" ~")"},
      {"\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1", "\"\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1\""},
      {"\xE6\x97\xA5\xE6\x9C\xAC", "\"\xE6\x97\xA5\xE6\x9C\xAC\""},
      {"\xF0\x9F\x8E\xAE", "\"\xF0\x9F\x8E\xAE\""},
      {"\xE2\x80\xA8", "\"\xE2\x80\xA8\""},  // valid JSON as it is
      // What is not UTF-8 would make the document unreadable: each stray byte becomes U+FFFD.
      {"bad\xFF.exe", "\"bad\xEF\xBF\xBD.exe\""},
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},              // overlong /
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // a surrogate
      {"cut\xE6\x97", "\"cut\xEF\xBF\xBD\xEF\xBF\xBD\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << c.text;
}

TEST(JsonWriter, SeparatesAndIndentsNestedValues) {
  JsonWriter json;
  json.BeginObject().Field("path", "out \"1\".exe").Field("size", std::uint64_t{18446744073709551615u});
  json.Key("files").BeginArray();
  json.BeginObject().Field("name", "a").EndObject();
  json.BeginObject().Field("name", "b").Field("size", std::uint64_t{0}).EndObject();
  json.EndArray();
  json.Key("none").BeginArray().EndArray();
  json.Key("empty").BeginObject().EndObject();
  json.Key("list").BeginArray().String("x").Number(7).EndArray();
  json.EndObject();
  EXPECT_EQ(json.Finish(),
            "{\n"
            "  \"path\": \"out \\\"1\\\".exe\",\n"
            "  \"size\": 18446744073709551615,\n"
            "  \"files\": [\n"
            "    {\n"
            "      \"name\": \"a\"\n"
            "    },\n"
            "    {\n"
            "      \"name\": \"b\",\n"
            "      \"size\": 0\n"
            "    }\n"
            "  ],\n"
            "  \"none\": [],\n"
            "  \"empty\": {},\n"
            "  \"list\": [\n"
            "    \"x\",\n"
            "    7\n"
            "  ]\n"
            "}\n");
}

}  // namespace
}  // namespace lomar::pack
