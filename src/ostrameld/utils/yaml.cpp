#include "ostrameld/utils/yaml.h"

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/exceptions.h>
#include <yaml-cpp/mark.h>
#include <yaml-cpp/parser.h>

#include <array>
#include <map>
#include <sstream>
#include <vector>

namespace ostrameld {

namespace {

// Below the parser's own guard (500 levels, reported as "bad file"), so ours speaks first.
constexpr int kMaxDepth = 256;

// The tags that plain data may carry; anything else would need a constructor.
bool plain_data_tag(const std::string& tag) {
  static const std::array<std::string_view, 12> known{"str",       "int",  "float", "bool",
                                                      "null",      "map",  "seq",   "binary",
                                                      "timestamp", "omap", "pairs", "set"};
  if (tag.empty() || tag == "?" || tag == "!") return true;
  constexpr std::string_view prefix = "tag:yaml.org,2002:";
  if (tag.rfind(prefix, 0) != 0) return false;
  std::string_view rest = std::string_view(tag).substr(prefix.size());
  for (auto k : known)
    if (rest == k) return true;
  return false;
}

class ShapeHandler final : public YAML::EventHandler {
 public:
  explicit ShapeHandler(YamlShape& shape) : shape_(shape) {}

  void OnDocumentStart(const YAML::Mark&) override {}
  void OnDocumentEnd() override {}

  void OnNull(const YAML::Mark&, YAML::anchor_t) override { node(YamlShape::Root::None, nullptr); }
  void OnAlias(const YAML::Mark&, YAML::anchor_t anchor) override {
    auto it = anchored_scalars_.find(anchor);
    node(YamlShape::Root::Scalar, it == anchored_scalars_.end() ? nullptr : &it->second);
  }
  void OnScalar(const YAML::Mark& mark, const std::string& tag, YAML::anchor_t anchor,
                const std::string& value) override {
    check_tag(mark, tag);
    if (anchor) anchored_scalars_[anchor] = value;
    node(YamlShape::Root::Scalar, &value);
  }
  void OnSequenceStart(const YAML::Mark& mark, const std::string& tag, YAML::anchor_t,
                       YAML::EmitterStyle::value) override {
    check_tag(mark, tag);
    open(mark, YamlShape::Root::Sequence);
  }
  void OnSequenceEnd() override { close(); }
  void OnMapStart(const YAML::Mark& mark, const std::string& tag, YAML::anchor_t,
                  YAML::EmitterStyle::value) override {
    check_tag(mark, tag);
    open(mark, YamlShape::Root::Mapping);
  }
  void OnMapEnd() override { close(); }

 private:
  struct Level {
    bool is_map;
    bool expect_key;
  };

  static std::string where(const YAML::Mark& m) {
    return " (line " + std::to_string(m.line + 1) + ", column " + std::to_string(m.column + 1) +
           ")";
  }

  void check_tag(const YAML::Mark& mark, const std::string& tag) {
    if (!plain_data_tag(tag)) {
      throw YamlError("could not determine a constructor for the tag '" + tag + "'" + where(mark));
    }
  }

  // A complete node (scalar, null, alias) at the current position.
  void node(YamlShape::Root kind, const std::string* scalar) {
    if (stack_.empty()) {
      shape_.root = kind;
      return;
    }
    Level& top = stack_.back();
    if (stack_.size() == 1 && top.is_map && top.expect_key && scalar)
      shape_.top_keys.insert(*scalar);
    advance();
  }

  void open(const YAML::Mark& mark, YamlShape::Root kind) {
    if (stack_.empty()) shape_.root = kind;
    if (static_cast<int>(stack_.size()) >= kMaxDepth) {
      throw YamlError("nesting deeper than " + std::to_string(kMaxDepth) + " levels" + where(mark));
    }
    stack_.push_back({kind == YamlShape::Root::Mapping, true});
  }

  void close() {
    stack_.pop_back();
    if (!stack_.empty()) advance();
  }

  // A node finished inside the enclosing collection: in a map, keys and values alternate.
  void advance() {
    Level& top = stack_.back();
    if (top.is_map) top.expect_key = !top.expect_key;
  }

  YamlShape& shape_;
  std::vector<Level> stack_;
  std::map<YAML::anchor_t, std::string> anchored_scalars_;
};

}  // namespace

YamlShape inspect_yaml(std::string_view text) {
  YamlShape shape;
  std::istringstream in{std::string(text)};
  try {
    YAML::Parser parser(in);
    ShapeHandler handler(shape);
    if (!parser.HandleNextDocument(handler)) return shape;
    YamlShape ignored;
    ShapeHandler second(ignored);
    if (parser.HandleNextDocument(second)) {
      throw YamlError("expected a single document in the stream, but found another document");
    }
  } catch (const YAML::Exception& e) {
    throw YamlError(e.what());
  }
  return shape;
}

}  // namespace ostrameld
