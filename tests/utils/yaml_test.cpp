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
      {"merge keys count, expanded by reference",
       "base: &b {title: x, authors: y}\n<<: *b\ncff-version: 1\n",
       Root::Mapping,
       {"base", "title", "authors", "cff-version"}},
      {"merge of a list of mappings",
       "a: &a {title: x}\nb: &b {authors: y}\n<<: [*a, *b]\n",
       Root::Mapping,
       {"a", "b", "title", "authors"}},
      {"a set is no mapping", "--- !!set\n? a\n? b\n", Root::Set, {}},
      {"plain yes is a boolean key, quoted it is a name",
       "yes: 1\n'no': 2\n",
       Root::Mapping,
       {"no"}},
      {"tabs inside quotes, block scalars and comments",
       "a: \"x\ty\"\nb: |\n  x\ty\nc: z # \tn\n",
       Root::Mapping,
       {"a", "b", "c"}},
      {"a valid date", "date-released: 2020-02-29\n", Root::Mapping, {"date-released"}},
      {"2000 was a leap year", "date-released: 2000-02-29\n", Root::Mapping, {"date-released"}},
      // YAML 1.1 reads on, off, yes and no as booleans, keys too: they are no text keys.
      {"boolean keys", "on: 1\noff: 2\nyes: 3\ntitle: x\n", Root::Mapping, {"title"}},
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
      {"syntax error", "title: [unclosed\n", "did not find expected"},
      {"complex key", "{? [a, b] : 1, title: x}", "unhashable key"},
      {"sequence as key", "[a, b]: c\n", "unhashable key"},
      {"tab after a colon", "title:\tx\n", "'\\t' that cannot start any token"},
      {"tab before a colon", "title\t: x\n", "'\\t' that cannot start any token"},
      {"a line of only a tab", "title: x\n\t\nauthors: y\n", "tab"},
      {"tab before a comment", "title: x\t# c\n", "'\\t' that cannot start any token"},
      {"tab in a plain scalar", "title: a\tb\n", "'\\t' that cannot start any token"},
      {"form feed",
       "title: a\x0c"
       "b\n",
       "control characters are not allowed"},
      {"escape",
       "title: a\x1b"
       "b\n",
       "control characters are not allowed"},
      {"delete",
       "title: a\x7f"
       "b\n",
       "control characters are not allowed"},
      {"C1 control from mis-decoded text",
       "title: a\xc2\x92"
       "b\n",
       "control characters"},
      {"U+FFFE",
       "title: a\xef\xbf\xbe"
       "b\n",
       "control characters are not allowed"},
      {"NEL inside a plain scalar",
       "title: a\xc2\x85"
       "b\n",
       "could not find expected ':'"},
      {"LS inside a plain scalar",
       "title: a\xe2\x80\xa8"
       "b\n",
       "could not find expected ':'"},
      {"impossible date", "date-released: 2021-02-29\n", "day is out of range for month"},
      {"1900 was no leap year", "date-released: 1900-02-29\n", "day is out of range for month"},
      {"impossible time", "d: 2021-02-01 25:00:00\n", "hour must be in 0..23"},
      {"str tag on a mapping", "a: !!str {b: c}\n", "expected a scalar node, but found mapping"},
      {"int tag on a word", "a: !!int abc\n", "invalid literal for an integer: 'abc'"},
      {"merge of a scalar", "<<: 1\n", "expected a mapping or list of mappings for merging"},
      {"undefined alias", "a: *nope\n", "found undefined alias 'nope'"},
      {"duplicate anchor", "a: &x 1\nb: &x 2\n", "found duplicate anchor 'x'"},
      {"value key", "a: =\n", "tag:yaml.org,2002:value"},
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


TEST(LoadYaml, BuildsDataAsASafeLoaderDoes) {
  struct {
    const char* name;
    std::string text;
    std::string json;  // the loaded data, dumped
  } cases[] = {
      {"scalars of each type",
       "s: text\nn: ~\nb: yes\nf: off\ni: 0x1F\no: 017\nsix: 1:30\nx: 1_000\nfl: 6.5e+1\n",
       R"({"s":"text","n":null,"b":true,"f":false,"i":31,"o":15,"six":90,"x":1000,"fl":65.0})"},
      {"dates become ISO text, times with their offset",
       "d: 2021-08-09\nt: 2001-12-14 21:59:43.10 -5\nz: 2001-12-15T02:59:43Z\nq: '2021-08-09'\n",
       R"({"d":"2021-08-09","t":"2001-12-14T21:59:43.100000-05:00","z":"2001-12-15T02:59:43+00:00","q":"2021-08-09"})"},
      {"keys are text whatever they were",
       "1: a\ntrue: b\n~: c\n1.5: d\n",
       R"({"1":"a","true":"b","null":"c","1.5":"d"})"},
      {"a version that looks like a float stays what YAML makes of it",
       "version: 1.10\nv2: '1.10'\nv3: 1.2.0\n",
       R"({"version":1.1,"v2":"1.10","v3":"1.2.0"})"},
      {"merge: own keys win, earlier merged mappings win over later ones",
       "a: &a {x: 1, y: 1}\nb: &b {y: 2, z: 2}\nc:\n  <<: [*a, *b]\n  x: 3\n",
       R"({"a":{"x":1,"y":1},"b":{"y":2,"z":2},"c":{"y":1,"z":2,"x":3}})"},
      {"aliases are copies",
       "p: &p {name: A}\nauthors: [*p, *p]\n",
       R"({"p":{"name":"A"},"authors":[{"name":"A"},{"name":"A"}]})"},
      {"a repeated key keeps its first place and its last value",
       "a: 1\nb: 2\na: 3\n",
       R"({"a":3,"b":2})"},
      {"nested sequences of mappings",
       "authors:\n  - family-names: Doe\n    given-names: J\n  - name: Team\n",
       R"({"authors":[{"family-names":"Doe","given-names":"J"},{"name":"Team"}]})"},
      {"an empty document is null", "", "null"},
      {"a set's members are keys", "--- !!set\n? a\n? b\n", R"({"a":null,"b":null})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(load_yaml(c.text).dump(), c.json);
  }
}

TEST(LoadYaml, RefusesWhatInspectionRefusesAndAliasBombs) {
  EXPECT_THROW(load_yaml("date: 2021-02-29\n"), YamlError);
  EXPECT_THROW(load_yaml("a: b\n\tc: d\n"), YamlError);
  // Nine levels of ten aliases: a billion nodes if copied, refused long before.
  std::string bomb = "a0: &a0 [x, x, x, x, x, x, x, x, x, x]\n";
  for (int i = 1; i < 9; ++i) {
    std::string prev = "*a" + std::to_string(i - 1);
    bomb += "a" + std::to_string(i) + ": &a" + std::to_string(i) + " [" + prev;
    for (int k = 1; k < 10; ++k) bomb += ", " + prev;
    bomb += "]\n";
  }
  EXPECT_THROW(load_yaml(bomb), YamlError);
}

}  // namespace
}  // namespace ostrameld
