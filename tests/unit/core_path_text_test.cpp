#include <gtest/gtest.h>

#include <vector>

#include "core/path_text.h"

namespace lomar {
namespace {

// The elements the redirected path guard joins on one at a time, as the standard path iteration gives them.
TEST(PathElements, SplitsAtRunsOfEitherSeparatorWithAnEmptyLastElementAfterATrailingOne) {
  struct Case {
    const Unit* relative;
    std::vector<TextView> elements;
  };
  const Case cases[] = {
      {LT(""), {}},
      {LT("a"), {LT("a")}},
      {LT("assets/fonts/a.ttf"), {LT("assets"), LT("fonts"), LT("a.ttf")}},
      {LT("a//b"), {LT("a"), LT("b")}},
      {LT("a\\b/c"), {LT("a"), LT("b"), LT("c")}},
      {LT("a/"), {LT("a"), LT("")}},
      {LT("a/b\\\\"), {LT("a"), LT("b"), LT("")}},
      {LT("./.."), {LT("."), LT("..")}},
  };
  for (const Case& c : cases) EXPECT_EQ(PathElements(c.relative), c.elements) << ToUtf8(c.relative);
}

TEST(ParentFolder, DropsTheLastElementButKeepsARootsSeparator) {
  struct Case {
    const Unit* path;
    const Unit* parent;
  };
  const Case cases[] = {
      {LT("C:\\g\\.lomar-runtime\\fonts/a.ttf"), LT("C:\\g\\.lomar-runtime\\fonts")},
      {LT("C:\\g\\.lomar-runtime\\LOMARVesperon.exe"), LT("C:\\g\\.lomar-runtime")},
      {LT("C:\\.lomar-runtime"), LT("C:\\")},
      {LT("C:\\a\\\\b"), LT("C:\\a")},
      {LT("C:\\a\\"), LT("C:\\")},
      {LT("\\\\server\\share\\x"), LT("\\\\server\\share\\")},
      {LT("\\\\?\\C:\\x\\y"), LT("\\\\?\\C:\\x")},
      {LT("a/b"), LT("a")},
      {LT("a"), LT("")},
      {LT("/a"), LT("/")},
  };
  for (const Case& c : cases) EXPECT_EQ(ParentFolder(c.path), c.parent) << ToUtf8(c.path);
}

}  // namespace
}  // namespace lomar
