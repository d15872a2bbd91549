#include "ostrameld/utils/yaml.h"

#include <gtest/gtest.h>

namespace ostrameld {
namespace {

using Root = YamlShape::Root;

TEST(InspectYaml, RootKindAndTopLevelKeys) {
  struct {
    const char* name;
    std::string text;
    Root root;
    std::set<std::string> keys;
  } cases[] = {
      {"mapping",
       "cff-version: 1.2.0\ntitle: x\nauthors:\n  - name: a\n    title: nested\n",
       Root::Mapping,
       {"cff-version", "title", "authors"}},
      {"null values still give keys",
       "cff-version:\ntitle: ~\nauthors: []\n",
       Root::Mapping,
       {"cff-version", "title", "authors"}},
      {"flow mapping with a complex key", "{? [a, b] : 1, title: x}", Root::Mapping, {"title"}},
      {"quoted keys", "\"title\": x\n'authors': y\n", Root::Mapping, {"title", "authors"}},
      {"key from an alias", "a: &k title\n*k : x\n", Root::Mapping, {"a", "title"}},
      {"sequence", "- a\n- b\n", Root::Sequence, {}},
      {"scalar", "just text", Root::Scalar, {}},
      {"comments only", "# a comment that is long enough\n", Root::None, {}},
      {"empty", "", Root::None, {}},
      {"explicit null document", "--- ~\n", Root::None, {}},
      {"standard tags are plain data",
       "title: !!str 1\nn: !!int 3\n",
       Root::Mapping,
       {"title", "n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    YamlShape shape;
    ASSERT_NO_THROW(shape = inspect_yaml(c.text));
    EXPECT_EQ(shape.root, c.root);
    EXPECT_EQ(shape.top_keys, c.keys);
  }
}

TEST(InspectYaml, Rejections) {
  struct {
    const char* name;
    std::string text;
    const char* message_part;
  } cases[] = {
      {"syntax error", "title: [unclosed\n", "error"},
      {"two documents", "a: 1\n---\nb: 2\n", "expected a single document"},
      {"application tag", "title: !!python/object/apply:os.system [ls]\n",
       "could not determine a constructor"},
      {"local tag", "title: !shell ls\n", "could not determine a constructor"},
      {"deep nesting", std::string(100000, '[') + std::string(100000, ']'), "nesting deeper"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      inspect_yaml(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const YamlError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
    }
  }
}

TEST(InspectYaml, AliasesAreNeverExpanded) {
  // "Billion laughs": nine levels of ten aliases each would be 10^9 nodes if expanded.
  std::string text =
      "a: &a [\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\"]\n";
  char prev = 'a';
  for (char c = 'b'; c <= 'i'; ++c) {
    text += std::string(1, c) + ": &" + c + " [";
    for (int i = 0; i < 10; ++i) text += std::string(i ? "," : "") + "*" + prev;
    text += "]\n";
    prev = c;
  }
  text += "title: x\n";
  auto shape = inspect_yaml(text);
  EXPECT_EQ(shape.root, Root::Mapping);
  EXPECT_TRUE(shape.top_keys.count("title"));
  EXPECT_EQ(shape.top_keys.size(), 10u);
}

}  // namespace
}  // namespace ostrameld
