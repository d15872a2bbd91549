#include "ostrameld/utils/yaml.h"

#include <yaml.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "ostrameld/utils/regex.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

// Deeper than a recursive loader gets, and deeper than any document a person writes.
constexpr int kMaxDepth = 256;
// Keys brought in by merges, summed over all merges: aliases stay references, so a
// hostile document cannot make the work grow beyond this.
constexpr std::size_t kMaxMergedKeys = 1'000'000;

// What aliases may copy into loaded data, summed over all aliases: each node weighs one,
// and a scalar its bytes too, so that neither many small nodes nor one large scalar
// copied many times can fill the memory.
constexpr std::size_t kMaxCopiedWeight = 16u << 20;

constexpr std::string_view kCore = "tag:yaml.org,2002:";

// libyaml refuses ":" right before ",", "]" or "}" in a flow collection, where a YAML 1.1
// scanner reads a value indicator ("{a:, b: 1}" is {a: null, b: 1}): a space after it
// says the same to both.
constexpr std::string_view kFlowColonProblem = "found unexpected ':'";
constexpr int kMaxFlowColonFixes = 64;

std::string where(const yaml_mark_t& m) {
  return " (line " + std::to_string(m.line + 1) + ", column " + std::to_string(m.column + 1) + ")";
}

[[noreturn]] void fail(const std::string& what, const yaml_mark_t& m) {
  throw YamlError(what + where(m));
}

// --- The implicit types of plain scalars, as a YAML 1.1 resolver has them.

enum class Type { Str, Null, Bool, Int, Float, Timestamp, Merge, Value, Binary, Other };

struct Resolver {
  Regex boolean{"^(?:yes|Yes|YES|no|No|NO|true|True|TRUE|false|False|FALSE|on|On|ON|off|Off|OFF)$"};
  Regex floating{
      "^(?:[-+]?(?:[0-9][0-9_]*)\\.[0-9_]*(?:[eE][-+][0-9]+)?|\\.[0-9][0-9_]*(?:[eE][-+][0-9]+)?"
      "|[-+]?[0-9][0-9_]*(?::[0-5]?[0-9])+\\.[0-9_]*|[-+]?\\.(?:inf|Inf|INF)|\\.(?:nan|NaN|NAN))$"};
  Regex integer{
      "^(?:[-+]?0b[0-1_]+|[-+]?0[0-7_]+|[-+]?(?:0|[1-9][0-9_]*)|[-+]?0x[0-9a-fA-F_]+"
      "|[-+]?[1-9][0-9_]*(?::[0-5]?[0-9])+)$"};
  Regex null_value{"^(?:~|null|Null|NULL|)$"};
  Regex timestamp{
      "^(?:[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]"
      "|[0-9][0-9][0-9][0-9]-[0-9][0-9]?-[0-9][0-9]?(?:[Tt]|[ \\t]+)[0-9][0-9]?:[0-9][0-9]:[0-9]"
      "[0-9](?:\\.[0-9]*)?(?:[ \\t]*(?:Z|[-+][0-9][0-9]?(?::[0-9][0-9])?))?)$"};
  Regex timestamp_parts{
      "^([0-9][0-9][0-9][0-9])-([0-9][0-9]?)-([0-9][0-9]?)(?:(?:[Tt]|[ \\t]+)([0-9][0-9]?):([0-9]"
      "[0-9]):([0-9][0-9])(?:\\.([0-9]*))?(?:[ "
      "\\t]*(Z|([-+])([0-9][0-9]?)(?::([0-9][0-9]))?))?)?$"};

  // The first registered type whose pattern matches, in a YAML 1.1 resolver's order.
  Type resolve(std::string_view v) const {
    if (!v.empty()) {
      char c = v.front();
      if (std::string_view("yYnNtTfFoO").find(c) != std::string_view::npos && boolean.match(v))
        return Type::Bool;
      if (std::string_view("-+0123456789.").find(c) != std::string_view::npos) {
        if (floating.match(v)) return Type::Float;
        if (integer.match(v)) return Type::Int;
      }
      if (v == "<<") return Type::Merge;
      if (std::string_view("0123456789").find(c) != std::string_view::npos && timestamp.match(v))
        return Type::Timestamp;
      if (v == "=") return Type::Value;
    }
    if (null_value.match(v)) return Type::Null;
    return Type::Str;
  }
};

const Resolver& resolver() {
  static const Resolver r;
  return r;
}

Type type_of_tag(std::string_view tag) {
  if (tag.substr(0, kCore.size()) != kCore) return Type::Other;
  std::string_view t = tag.substr(kCore.size());
  if (t == "str") return Type::Str;
  if (t == "null") return Type::Null;
  if (t == "bool") return Type::Bool;
  if (t == "int") return Type::Int;
  if (t == "float") return Type::Float;
  if (t == "timestamp") return Type::Timestamp;
  if (t == "binary") return Type::Binary;
  if (t == "merge") return Type::Merge;
  if (t == "value") return Type::Value;
  return Type::Other;
}

// --- Constructing scalars: a safe loader builds each value, and a value that cannot be
// built (2021-02-29, !!int abc) makes the document invalid.

bool all_digits(std::string_view s, int base) {
  if (s.empty()) return false;
  for (char c : s) {
    int d = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'z' ? c - 'a' + 10
            : c >= 'A' && c <= 'Z' ? c - 'A' + 10
                                   : 99;
    if (d >= base) return false;
  }
  return true;
}

std::string without(std::string_view s, char drop) {
  std::string out;
  for (char c : s)
    if (c != drop) out.push_back(c);
  return out;
}

// As int(text, base) reads a text: surrounding blanks, one sign, the base's own prefix.
bool int_text(std::string_view s, int base) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
  if (s.size() > 2 && s[0] == '0') {
    char p = static_cast<char>(s[1] | 0x20);
    if ((base == 16 && p == 'x') || (base == 8 && p == 'o') || (base == 2 && p == 'b'))
      s.remove_prefix(2);
  }
  return all_digits(s, base);
}

bool construct_int(std::string_view text) {
  std::string v = without(text, '_');
  std::string_view s = v;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
  if (s == "0") return true;
  if (s.substr(0, 2) == "0b") return int_text(s.substr(2), 2);
  if (s.substr(0, 2) == "0x") return int_text(s.substr(2), 16);
  if (!s.empty() && s[0] == '0') return int_text(s, 8);
  if (s.find(':') != std::string_view::npos) {
    for (std::size_t start = 0;;) {
      auto colon = s.find(':', start);
      if (!int_text(s.substr(start, colon - start), 10)) return false;
      if (colon == std::string_view::npos) return true;
      start = colon + 1;
    }
  }
  return int_text(s, 10);
}

// As float(text) reads a text.
bool float_text(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
  std::string lower;
  for (char c : s) lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
  if (lower == "inf" || lower == "infinity" || lower == "nan") return true;
  static const Regex number("^(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)(?:[eE][-+]?[0-9]+)?$");
  return number.match(lower);
}

bool construct_float(std::string_view text) {
  std::string v = without(text, '_');
  for (char& c : v)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  std::string_view s = v;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
  if (s == ".inf" || s == ".nan") return true;
  if (s.find(':') != std::string_view::npos) {
    for (std::size_t start = 0;;) {
      auto colon = s.find(':', start);
      if (!float_text(s.substr(start, colon - start))) return false;
      if (colon == std::string_view::npos) return true;
      start = colon + 1;
    }
  }
  return float_text(s);
}

std::optional<std::string> construct_timestamp(std::string_view text) {
  const Regex& re = resolver().timestamp_parts;
  if (!re.match(text)) return "not a timestamp: '" + std::string(text) + "'";
  auto num = [&](int group) -> std::optional<int> {
    auto g = re.search_group(text, group);
    if (!g || g->empty()) return std::nullopt;
    return std::stoi(std::string(*g));
  };
  int year = *num(1), month = *num(2), day = *num(3);
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (year < 1) return "year " + std::to_string(year) + " is out of range";
  if (month < 1 || month > 12) return "month must be in 1..12";
  int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  if (day < 1 || day > days) return "day is out of range for month";
  if (auto hour = num(4)) {
    if (*hour > 23) return "hour must be in 0..23";
    if (*num(5) > 59) return "minute must be in 0..59";
    if (*num(6) > 59) return "second must be in 0..59";
    if (auto tz_hour = num(10)) {
      int minutes = *tz_hour * 60 + num(11).value_or(0);
      if (minutes >= 24 * 60) return "offset must be strictly between -24 and 24 hours";
    }
  }
  return std::nullopt;
}

// Base64 as a lenient decoder reads it: other characters are skipped, the padding must fit.
bool construct_binary(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) {
    if (c == '=') break;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
        c == '/')
      ++n;
  }
  return n % 4 != 1;
}

// --- Values as a safe loader builds them, in JSON terms.

// An integer as YAML 1.1 writes it (signs, 0b/0x/0 prefixes, "_", base 60); beyond 64
// bits it becomes a double.
Json int_value(std::string_view text) {
  std::string v = without(text, '_');
  std::string_view s = v;
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  long double total = 0;
  auto digits = [&](std::string_view d, int base) {
    long double n = 0;
    for (char c : d) {
      int x = c >= '0' && c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
      n = n * base + x;
    }
    return n;
  };
  if (s.substr(0, 2) == "0b") {
    total = digits(s.substr(2), 2);
  } else if (s.substr(0, 2) == "0x") {
    total = digits(s.substr(2), 16);
  } else if (s.size() > 1 && s[0] == '0' && s.find(':') == std::string_view::npos) {
    total = digits(s.substr(1), 8);
  } else {
    for (std::size_t start = 0;;) {
      auto colon = s.find(':', start);
      total = total * 60 + digits(s.substr(start, colon - start), 10);
      if (colon == std::string_view::npos) break;
      start = colon + 1;
    }
  }
  if (negative) total = -total;
  if (total >= -9.2e18L && total <= 9.2e18L) return static_cast<std::int64_t>(total);
  return static_cast<double>(total);
}

Json float_value(std::string_view text) {
  std::string v = without(text, '_');
  for (char& c : v)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  std::string_view s = v;
  double sign = 1;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    sign = s.front() == '-' ? -1 : 1;
    s.remove_prefix(1);
  }
  if (s == ".inf") return sign * HUGE_VAL;
  if (s == ".nan") return std::nan("");
  double total = 0;
  for (std::size_t start = 0;;) {
    auto colon = s.find(':', start);
    std::string part(s.substr(start, colon - start));
    total = total * 60 + std::strtod(part.c_str(), nullptr);
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  return sign * total;
}

// A date stays "YYYY-MM-DD"; a time of day gives the ISO form a datetime prints.
std::string timestamp_text(std::string_view text) {
  const Regex& re = resolver().timestamp_parts;
  auto group = [&](int g) { return std::string(re.search_group(text, g).value_or("")); };
  auto two = [](const std::string& d) { return d.size() == 1 ? "0" + d : d; };
  std::string out = group(1) + "-" + two(group(2)) + "-" + two(group(3));
  std::string hour = group(4);
  if (hour.empty()) return out;
  out += "T" + two(hour) + ":" + group(5) + ":" + group(6);
  std::string fraction = group(7);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) out += "." + (fraction + "000000").substr(0, 6);
  std::string zone = group(8);
  if (zone == "Z") {
    out += "+00:00";
  } else if (!zone.empty()) {
    std::string minutes = group(11);
    out += group(9) + two(group(10)) + ":" + (minutes.empty() ? "00" : minutes);
  }
  return out;
}

// --- Nodes as the loader would build them, reduced to what the check needs.

using KeySet = std::set<std::string>;

struct Node {
  enum class Kind { Scalar, Sequence, Mapping };
  Kind kind = Kind::Scalar;
  Type type = Type::Str;                            // scalars: the resolved or explicit type
  std::string text;                                 // scalars: their value
  bool is_dict = false;                             // mappings built as a dict (not a set)
  bool is_list = false;                             // sequences built as a list (not omap/pairs)
  std::shared_ptr<KeySet> keys;                     // dicts: their string keys, merges included
  std::vector<std::shared_ptr<KeySet>> item_dicts;  // sequences: the key sets of dict items
  bool all_items_dicts = true;
  std::size_t pairs = 0;  // mappings: key-value pairs written
  bool hashable() const { return kind == Kind::Scalar; }
  // Only when loading: the data built so far, and how many nodes it holds.
  Json value;
  std::size_t weight = 1;  // one per node, plus a scalar's bytes
};

class Builder {
 public:
  explicit Builder(YamlShape& shape, Json* loaded = nullptr) : shape_(shape), loaded_(loaded) {}

  void scalar(const yaml_event_t& e) {
    const auto& s = e.data.scalar;
    std::string tag = s.tag ? reinterpret_cast<const char*>(s.tag) : "";
    std::string_view value(reinterpret_cast<const char*>(s.value), s.length);
    // In a flow collection a YAML 1.1 scanner ends a plain scalar at "?" and reads it as
    // a key indicator; libyaml keeps it in the scalar.
    if (flow_depth_ > 0 && s.style == YAML_PLAIN_SCALAR_STYLE &&
        value.find('?') != std::string_view::npos)
      fail("found unexpected '?' in a flow collection", e.start_mark);
    Node n;
    n.text = std::string(value);
    n.weight = 1 + value.size();
    if (tag.empty() || tag == "!") {
      // Quoted scalars and the "!" tag are strings; plain ones are resolved.
      n.type = (tag.empty() && s.plain_implicit) ? resolver().resolve(value) : Type::Str;
    } else {
      n.type = type_of_tag(tag);
      if (n.type == Type::Other) {
        if (tag == std::string(kCore) + "map" || tag == std::string(kCore) + "seq" ||
            tag == std::string(kCore) + "omap" || tag == std::string(kCore) + "pairs" ||
            tag == std::string(kCore) + "set")
          fail("expected a collection for the tag '" + tag + "', but found a scalar", e.start_mark);
        fail("could not determine a constructor for the tag '" + tag + "'", e.start_mark);
      }
    }
    check_scalar(n, e.start_mark);
    // "=" has no constructor in a safe loader, and "<<" only as a key of a mapping.
    bool key_position =
        !open_.empty() && open_.back().node->kind == Node::Kind::Mapping && open_.back().expect_key;
    if (n.type == Type::Value || (n.type == Type::Merge && !key_position)) {
      fail(std::string("could not determine a constructor for the tag 'tag:yaml.org,2002:") +
               (n.type == Type::Value ? "value'" : "merge'"),
           e.start_mark);
    }
    if (loaded_) n.value = scalar_value(n);
    anchor(e.data.scalar.anchor, n, e.start_mark);
    complete(std::move(n), e.start_mark);
  }

  void alias(const yaml_event_t& e) {
    std::string name = reinterpret_cast<const char*>(e.data.alias.anchor);
    auto it = anchors_.find(name);
    if (it == anchors_.end()) fail("found undefined alias '" + name + "'", e.start_mark);
    if (loaded_) {
      // An alias is a copy in the loaded data: the copies are what a billion laughs grows.
      copied_ += it->second->weight;
      if (copied_ > kMaxCopiedWeight)
        fail("aliases expand to more than 16 MiB of nodes and text", e.start_mark);
    }
    complete(*it->second, e.start_mark);
  }

  void start(const yaml_event_t& e, Node::Kind kind) {
    if (static_cast<int>(open_.size()) >= kMaxDepth)
      fail("nesting deeper than " + std::to_string(kMaxDepth) + " levels", e.start_mark);
    const yaml_char_t* raw_tag =
        kind == Node::Kind::Mapping ? e.data.mapping_start.tag : e.data.sequence_start.tag;
    const yaml_char_t* raw_anchor =
        kind == Node::Kind::Mapping ? e.data.mapping_start.anchor : e.data.sequence_start.anchor;
    std::string tag = raw_tag ? reinterpret_cast<const char*>(raw_tag) : "";
    std::string core = tag.substr(0, kCore.size()) == kCore ? tag.substr(kCore.size()) : "";
    auto node = std::make_shared<Node>();
    node->kind = kind;
    if (kind == Node::Kind::Mapping) {
      if (!tag.empty() && tag != "!" && core != "map" && core != "set") {
        if (core == "str" || core == "int" || core == "float" || core == "bool" || core == "null" ||
            core == "timestamp" || core == "binary")
          fail("expected a scalar node, but found mapping", e.start_mark);
        if (core == "seq" || core == "omap" || core == "pairs")
          fail("expected a sequence node, but found mapping", e.start_mark);
        fail("could not determine a constructor for the tag '" + tag + "'", e.start_mark);
      }
      node->is_dict = core != "set";
      node->keys = std::make_shared<KeySet>();
      if (loaded_) node->value = Json::object();
    } else {
      if (!tag.empty() && tag != "!" && core != "seq" && core != "omap" && core != "pairs") {
        if (core == "map" || core == "set")
          fail("expected a mapping node, but found sequence", e.start_mark);
        if (type_of_tag(tag) != Type::Other)
          fail("expected a scalar node, but found sequence", e.start_mark);
        fail("could not determine a constructor for the tag '" + tag + "'", e.start_mark);
      }
      node->is_list = core != "omap" && core != "pairs";
      if (loaded_) node->value = Json::array();
    }
    bool flow = kind == Node::Kind::Mapping
                    ? e.data.mapping_start.style == YAML_FLOW_MAPPING_STYLE
                    : e.data.sequence_start.style == YAML_FLOW_SEQUENCE_STYLE;
    if (flow) ++flow_depth_;
    open_.push_back({node, raw_anchor ? reinterpret_cast<const char*>(raw_anchor) : "", true, false,
                     e.start_mark});
    open_.back().flow = flow;
    // An alias inside the collection may refer to it while it is still open.
    anchor(raw_anchor, *node, e.start_mark, node);
  }

  void end(const yaml_event_t& e) {
    Frame f = std::move(open_.back());
    open_.pop_back();
    if (f.flow) --flow_depth_;
    if (f.node->kind == Node::Kind::Sequence && !f.node->is_list) {
      // omap and pairs: a sequence of one-pair mappings.
      if (!f.one_pair_items) fail("expected a mapping of length 1 in an ordered map", f.start);
    }
    if (loaded_ && !f.merged.empty()) apply_merges(*f.node, f.merged);
    // Moved unless an anchor keeps the node for later aliases.
    Node done = f.node.use_count() == 1 ? std::move(*f.node) : *f.node;
    complete(std::move(done), e.start_mark);
  }

  YamlShape& shape() { return shape_; }

 private:
  struct Frame {
    std::shared_ptr<Node> node;
    std::string anchor;
    bool expect_key = true;
    bool merge_key = false;  // the key just read is "<<"
    yaml_mark_t start;
    std::optional<Node> key;  // the key whose value is awaited
    bool one_pair_items = true;
    bool flow = false;
    std::vector<Json> merged;  // loading: the mappings "<<" brings in, in order
  };

  void check_scalar(const Node& n, const yaml_mark_t& m) {
    switch (n.type) {
      case Type::Bool: {
        static constexpr std::array kBools{"yes"sv, "no"sv, "true"sv, "false"sv, "on"sv, "off"sv};
        std::string lower;
        for (char c : n.text) lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
        if (std::find(kBools.begin(), kBools.end(), lower) == kBools.end())
          fail("not a boolean: '" + n.text + "'", m);
        break;
      }
      case Type::Int:
        if (!construct_int(n.text)) fail("invalid literal for an integer: '" + n.text + "'", m);
        break;
      case Type::Float:
        if (!construct_float(n.text)) fail("could not convert to a float: '" + n.text + "'", m);
        break;
      case Type::Timestamp:
        if (auto problem = construct_timestamp(n.text)) fail(*problem, m);
        break;
      case Type::Binary:
        if (!construct_binary(n.text)) fail("failed to decode base64 data", m);
        break;
      default:
        break;
    }
  }

  void anchor(const yaml_char_t* raw, const Node& n, const yaml_mark_t& m,
              std::shared_ptr<Node> shared = nullptr) {
    if (!raw) return;
    std::string name = reinterpret_cast<const char*>(raw);
    if (anchors_.count(name)) fail("found duplicate anchor '" + name + "'", m);
    anchors_[name] = shared ? shared : std::make_shared<Node>(n);
  }

  // A finished node in its place: the root, an item, a key or a value.
  void complete(Node n, const yaml_mark_t& m) {
    if (open_.empty()) {
      root(n);
      return;
    }
    Frame& f = open_.back();
    Node& parent = *f.node;
    if (parent.kind == Node::Kind::Sequence) {
      if (loaded_) {
        parent.weight += n.weight;
        parent.value.push_back(std::move(n.value));
      }
      if (n.kind == Node::Kind::Mapping && n.is_dict) {
        parent.item_dicts.push_back(n.keys);
        if (n.pairs != 1) f.one_pair_items = false;
      } else {
        parent.all_items_dicts = false;
        f.one_pair_items = false;
      }
      return;
    }
    if (f.expect_key) {
      if (!n.hashable()) fail("found unhashable key while constructing a mapping", m);
      f.merge_key = n.type == Type::Merge;
      f.key = std::move(n);
      f.expect_key = false;
      return;
    }
    ++parent.pairs;
    if (f.merge_key) {
      merge(parent, n, m);
      if (loaded_) {
        parent.weight += n.weight;
        if (n.kind == Node::Kind::Mapping) {
          f.merged.push_back(std::move(n.value));
        } else {
          // Of a list of mappings, the earlier ones win: applied last.
          for (auto it = n.value.rbegin(); it != n.value.rend(); ++it) f.merged.push_back(*it);
        }
      }
    } else {
      if (f.key->type == Type::Str && parent.keys) parent.keys->insert(f.key->text);
      if (loaded_) {
        parent.weight += n.weight;
        if (parent.is_dict)
          parent.value[key_text(*f.key)] = std::move(n.value);
        else
          parent.value[key_text(*f.key)] = nullptr;  // a set: its members are keys
      }
    }
    f.key.reset();
    f.expect_key = true;
  }

  void merge(Node& into, const Node& value, const yaml_mark_t& m) {
    auto add = [&](const std::shared_ptr<KeySet>& keys) {
      merged_ += keys->size();
      if (merged_ > kMaxMergedKeys) fail("merges bring in more than a million keys", m);
      into.keys->insert(keys->begin(), keys->end());
    };
    if (value.kind == Node::Kind::Mapping && value.is_dict) {
      add(value.keys);
    } else if (value.kind == Node::Kind::Sequence && value.all_items_dicts) {
      for (const auto& keys : value.item_dicts) add(keys);
    } else {
      fail("expected a mapping or list of mappings for merging", m);
    }
  }

  void root(Node& n) {
    if (loaded_) *loaded_ = std::move(n.value);
    if (n.kind == Node::Kind::Mapping) {
      shape_.root = n.is_dict ? YamlShape::Root::Mapping : YamlShape::Root::Set;
      if (n.is_dict) shape_.top_keys = *n.keys;
    } else if (n.kind == Node::Kind::Sequence) {
      shape_.root = YamlShape::Root::Sequence;
    } else {
      shape_.root = n.type == Type::Null ? YamlShape::Root::None : YamlShape::Root::Scalar;
    }
  }

  static Json scalar_value(const Node& n) {
    switch (n.type) {
      case Type::Null:
        return nullptr;
      case Type::Bool: {
        char c = static_cast<char>(n.text.empty() ? 'n' : n.text[0] | 0x20);
        return c == 'y' || c == 't' || (c == 'o' && n.text.size() == 2);
      }
      case Type::Int:
        return int_value(n.text);
      case Type::Float:
        return float_value(n.text);
      case Type::Timestamp:
        return timestamp_text(n.text);
      default:
        return n.text;
    }
  }

  // Keys as JSON has them: text, whatever the YAML key was.
  static std::string key_text(const Node& key) {
    const Json& v = key.value;
    if (v.is_string()) return v.get<std::string>();
    if (v.is_null()) return "null";
    if (v.is_boolean()) return v.get<bool>() ? "true" : "false";
    return v.dump();
  }

  // Merged mappings come first, in the order a safe loader flattens them, and the
  // mapping's own pairs override them.
  static void apply_merges(Node& node, std::vector<Json>& merged) {
    Json out = Json::object();
    for (auto& m : merged)
      if (m.is_object())
        for (auto& [k, v] : m.items()) out[k] = v;
    for (auto& [k, v] : node.value.items()) out[k] = std::move(v);
    node.value = std::move(out);
  }

  YamlShape& shape_;
  Json* loaded_ = nullptr;
  std::size_t copied_ = 0;
  std::vector<Frame> open_;
  std::map<std::string, std::shared_ptr<Node>> anchors_;
  std::size_t merged_ = 0;
  int flow_depth_ = 0;
};

// --- Tabs: a YAML 1.1 reader takes them only inside quoted scalars, in the content of
// block scalars and in comments; anywhere else no token can start with one.

// Line starts (byte offsets), with CR, LF, CRLF, NEL, LS and PS as line breaks.
std::vector<std::size_t> line_starts(std::string_view t) {
  std::vector<std::size_t> starts{0};
  for (std::size_t i = 0; i < t.size();) {
    std::size_t brk = 0;
    if (t[i] == '\r')
      brk = i + 1 < t.size() && t[i + 1] == '\n' ? 2 : 1;
    else if (t[i] == '\n')
      brk = 1;
    else if (t.substr(i, 2) == "\xC2\x85")
      brk = 2;
    else if (t.substr(i, 3) == "\xE2\x80\xA8" || t.substr(i, 3) == "\xE2\x80\xA9")
      brk = 3;
    if (brk) {
      i += brk;
      starts.push_back(i);
    } else {
      ++i;
    }
  }
  return starts;
}

struct Span {
  std::size_t from, to;  // byte offsets, to exclusive
  bool block;            // a literal or folded scalar: its indentation must be spaces
};

class Positions {
 public:
  explicit Positions(std::string_view t) : text_(t), starts_(line_starts(t)) {}
  // The byte offset of a mark (line, column in characters).
  std::size_t offset(const yaml_mark_t& m) const {
    if (m.line >= starts_.size()) return text_.size();
    std::size_t i = starts_[m.line];
    for (std::size_t col = 0; col < m.column && i < text_.size(); ++col) {
      auto c = static_cast<unsigned char>(text_[i]);
      i += c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    }
    return std::min(i, text_.size());
  }
  const std::vector<std::size_t>& starts() const { return starts_; }

 private:
  std::string_view text_;
  std::vector<std::size_t> starts_;
};

void check_tabs(std::string_view t, const std::vector<Span>& spans, const Positions& pos) {
  std::size_t span = 0;
  const auto& starts = pos.starts();
  for (std::size_t line = 0; line < starts.size(); ++line) {
    std::size_t begin = starts[line];
    std::size_t end = line + 1 < starts.size() ? starts[line + 1] : t.size();
    bool only_spaces = true;  // so far on this line
    std::size_t spaces = 0;
    for (std::size_t i = begin; i < end; ++i) {
      while (span < spans.size() && spans[span].to <= i) ++span;
      bool inside = span < spans.size() && spans[span].from <= i;
      char c = t[i];
      if (inside && !(spans[span].block && only_spaces)) {
        only_spaces = false;
        continue;
      }
      if (c == '#' && (i == begin || t[i - 1] == ' ' || t[i - 1] == '\t') && !inside) break;
      // libyaml skips a byte-order mark at the start of any line; a YAML 1.1 reader only
      // at the start of the stream, and reads one elsewhere as text.
      if (i == begin && line > 0 && !inside && t.substr(i, 3) == "\xEF\xBB\xBF") {
        yaml_mark_t m{};
        m.line = line;
        fail("found a byte order mark inside the stream", m);
      }
      if (c == '\t') {
        // In a block scalar's content a tab after the indentation is text; the
        // indentation itself is spaces only.
        if (inside && spaces > 0) {
          only_spaces = false;
          continue;
        }
        yaml_mark_t m{};
        m.line = line;
        std::size_t col = 0;
        for (std::size_t k = begin; k < i; ++k)
          if ((static_cast<unsigned char>(t[k]) & 0xC0) != 0x80) ++col;
        m.column = col;
        fail("found character '\\t' that cannot start any token", m);
      }
      if (c == ' ') {
        if (only_spaces) ++spaces;
      } else if (c != '\r' && c != '\n') {
        only_spaces = false;
      }
    }
  }
}

// libyaml's refusal of ":" before a flow indicator, where it stands in the text.
struct FlowColon : YamlError {
  FlowColon(const std::string& what, std::size_t at) : YamlError(what), offset(at) {}
  std::size_t offset;
};

class Parser {
 public:
  explicit Parser(std::string_view text) {
    if (!yaml_parser_initialize(&parser_)) throw YamlError("cannot start the YAML parser");
    yaml_parser_set_input_string(&parser_, reinterpret_cast<const unsigned char*>(text.data()),
                                 text.size());
  }
  ~Parser() { yaml_parser_delete(&parser_); }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  // The next event; the caller deletes it.
  yaml_event_t next(const Positions& pos) {
    yaml_event_t e;
    if (!yaml_parser_parse(&parser_, &e)) {
      std::string msg = parser_.problem ? parser_.problem : "malformed YAML";
      if (msg == kFlowColonProblem && parser_.flow_level > 0) {
        std::size_t at = pos.offset(parser_.problem_mark);
        throw FlowColon(msg + where(parser_.problem_mark), at);
      }
      if (parser_.context) msg = std::string(parser_.context) + ": " + msg;
      throw YamlError(msg + where(parser_.problem_mark));
    }
    return e;
  }

 private:
  yaml_parser_t parser_;
};

struct Event {
  yaml_event_t e;
  explicit Event(yaml_event_t ev) : e(ev) {}
  ~Event() { yaml_event_delete(&e); }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
};

}  // namespace

namespace {

YamlShape inspect_once(std::string_view text, Json* loaded);

YamlShape read_yaml(std::string_view text, Json* loaded) {
  std::string patched;
  for (int attempt = 0;; ++attempt) {
    try {
      return inspect_once(attempt == 0 ? text : std::string_view(patched), loaded);
    } catch (const FlowColon& e) {
      if (attempt >= kMaxFlowColonFixes) throw YamlError(e.what());
      if (attempt == 0) patched = std::string(text);
      patched.insert(e.offset + 1, " ");
    }
  }
}

}  // namespace

YamlShape inspect_yaml(std::string_view text) { return read_yaml(text, nullptr); }

Json load_yaml(std::string_view text) {
  Json loaded;
  read_yaml(text, &loaded);
  return loaded;
}

namespace {

YamlShape inspect_once(std::string_view text, Json* loaded) {
  YamlShape shape;
  if (loaded) *loaded = nullptr;
  Builder builder(shape, loaded);
  Parser parser(text);
  Positions pos(text);
  std::vector<Span> spans;
  int documents = 0;
  for (;;) {
    Event ev(parser.next(pos));
    const yaml_event_t& e = ev.e;
    switch (e.type) {
      case YAML_STREAM_END_EVENT:
        check_tabs(text, spans, pos);
        return shape;
      case YAML_DOCUMENT_START_EVENT:
        if (++documents > 1)
          fail("expected a single document in the stream, but found another document",
               e.start_mark);
        break;
      case YAML_SCALAR_EVENT:
        if (e.data.scalar.style != YAML_PLAIN_SCALAR_STYLE) {
          bool block = e.data.scalar.style == YAML_LITERAL_SCALAR_STYLE ||
                       e.data.scalar.style == YAML_FOLDED_SCALAR_STYLE;
          spans.push_back({pos.offset(e.start_mark), pos.offset(e.end_mark), block});
        }
        builder.scalar(e);
        break;
      case YAML_ALIAS_EVENT:
        builder.alias(e);
        break;
      case YAML_SEQUENCE_START_EVENT:
        builder.start(e, Node::Kind::Sequence);
        break;
      case YAML_MAPPING_START_EVENT:
        builder.start(e, Node::Kind::Mapping);
        break;
      case YAML_SEQUENCE_END_EVENT:
      case YAML_MAPPING_END_EVENT:
        builder.end(e);
        break;
      default:
        break;
    }
  }
}

}  // namespace

}  // namespace ostrameld
