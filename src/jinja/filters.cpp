// The built-in filters and tests.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <functional>
#include <map>
#include <optional>

#include "jinja/ast.h"
#include "jinja/context.h"
#include "pytext/pytext.h"

namespace jinja {

namespace {

// ---- arguments

// Binds positional and keyword arguments to a filter's parameter names.
class Args {
 public:
  Args(const char* filter, const List& args, const Kwargs& kwargs,
       std::initializer_list<const char*> params, bool variadic = false)
      : params_(params) {
    if (!variadic && args.size() > params_.size()) {
      throw EvalError(std::string(filter) + "() takes at most " + std::to_string(params_.size()) +
                      " arguments");
    }
    values_.resize(params_.size());
    for (std::size_t i = 0; i < args.size() && i < params_.size(); ++i) values_[i] = args[i];
    for (std::size_t i = params_.size(); i < args.size(); ++i) extra_.push_back(args[i]);
    for (const auto& kv : kwargs) {
      const std::string& k = kv.first;
      const Value& v = kv.second;
      auto it = std::find_if(params_.begin(), params_.end(), [&](const char* p) { return k == p; });
      if (it == params_.end()) {
        throw EvalError(std::string(filter) + "() got an unexpected keyword argument '" + k + "'");
      }
      auto idx = static_cast<std::size_t>(it - params_.begin());
      if (values_[idx])
        throw EvalError(std::string(filter) + "() got multiple values for argument '" + k + "'");
      values_[idx] = v;
    }
  }
  Value get(std::size_t i, Value fallback) const { return values_[i] ? *values_[i] : fallback; }
  bool has(std::size_t i) const { return values_[i].has_value(); }
  const List& extra() const { return extra_; }

 private:
  std::vector<const char*> params_;
  std::vector<std::optional<Value>> values_;
  List extra_;
};

// ---- text helpers

std::u32string decode(const std::string& s) {
  return pytext::decode_utf8(s);
}

std::string encode(const std::u32string& s) {
  return pytext::encode_utf8(s);
}

bool is_space(char32_t c) {
  return c == ' ' || (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x1F) || c == 0x85 ||
         c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

std::string map_case(const std::string& s, char which) {
  return which == 'l' ? pytext::lower(s) : pytext::upper(s);
}

List sequence_of(const Value& v) {
  if (v.is_undefined()) return List{};
  return iterate(v);
}

// "a.b.c" attribute paths, as sort, map, join and selectattr accept them.
Value attribute_path(const Value& item, const std::string& path) {
  Value v = item;
  std::size_t start = 0;
  while (start <= path.size()) {
    auto dot = path.find('.', start);
    std::string part =
        path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (v.is_undefined()) return v;
    bool numeric = !part.empty() && part.size() < 19 &&
                   part.find_first_not_of("0123456789") == std::string::npos;
    v = numeric && v.is_list() ? get_item(v, Value(static_cast<std::int64_t>(std::stoll(part))))
                               : get_attr(v, part);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return v;
}

std::optional<std::int64_t> parse_int(const std::string& text) {
  return pytext::parse_int(text);
}

std::optional<double> parse_float(const std::string& text) {
  return pytext::parse_float(text);
}

// round() of an integer to a negative number of digits: to a multiple of 10**-n, ties
// to even, as Python's int.__round__ does.
std::int64_t round_int(std::int64_t x, std::int64_t precision) {
  if (precision >= 0) return x;
  if (precision < -18) return 0;
  std::int64_t unit = 1;
  for (std::int64_t k = 0; k < -precision; ++k) unit *= 10;
  std::int64_t q = x / unit;
  std::int64_t r = x % unit;
  if (r < 0) {  // floor division
    r += unit;
    --q;
  }
  if (2 * r > unit || (2 * r == unit && q % 2 != 0)) ++q;
  return q * unit;
}

// Python's round(x, n): correctly rounded, ties to even on the exact binary value.
double round_common(double x, std::int64_t precision) {
  if (!std::isfinite(x)) return x;
  if (precision >= 0 && precision < 300) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(precision), x);
    return std::strtod(buf, nullptr);
  }
  double scale = std::pow(10.0, static_cast<double>(-precision));
  return std::nearbyint(x / scale) * scale;
}

// ---- filters

Value f_default(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args args("default", a, k, {"default_value", "boolean"});
  bool boolean = args.get(1, false).truthy();
  if (v.is_undefined() || (boolean && !v.truthy())) return args.get(0, "");
  return v;
}

Value f_upper(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("upper", a, k, {});
  return map_case(v.str(), 'u');
}

Value f_lower(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("lower", a, k, {});
  return map_case(v.str(), 'l');
}

Value f_capitalize(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("capitalize", a, k, {});
  // The first character in title case, the rest lower-cased in the context of the whole.
  std::u32string u = decode(v.str());
  if (u.empty()) return std::string();
  std::u32string first;
  pytext::append_case(first, u[0], 't');
  std::string lowered = pytext::lower(v.str());
  std::u32string rest = decode(lowered);
  // Lower-casing maps the first character to one or more; skip what it became.
  std::u32string first_lower;
  pytext::append_case(first_lower, u[0], 'l');
  return encode(first) + encode(rest.substr(std::min(first_lower.size(), rest.size())));
}

Value f_title(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("title", a, k, {});
  // Words begin after whitespace, "-" and opening brackets; each is its first character
  // upper-cased and the rest of the word lower-cased on its own.
  std::u32string in = decode(v.str());
  std::string out;
  auto is_sep = [](char32_t c) {
    return is_space(c) || c == '-' || c == '(' || c == '{' || c == '[' || c == '<';
  };
  for (std::size_t i = 0; i < in.size();) {
    if (is_sep(in[i])) {
      pytext::append_utf8(out, in[i++]);
      continue;
    }
    std::size_t end = i;
    while (end < in.size() && !is_sep(in[end])) ++end;
    std::u32string head;
    pytext::append_case(head, in[i], 'u');
    out += encode(head) + pytext::lower(encode(in.substr(i + 1, end - i - 1)));
    i = end;
  }
  return out;
}

Value f_round(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args args("round", a, k, {"precision", "method"});
  Value p = args.get(0, 0);
  if (!p.is_number() || p.is_float()) throw EvalError("round() precision must be an integer");
  std::string method = args.get(1, "common").str();
  if (method != "common" && method != "ceil" && method != "floor") {
    throw EvalError("method must be common, ceil or floor");
  }
  if (v.is_undefined()) undefined_error(v);
  if (!v.is_number()) throw EvalError("type " + v.type_name() + " doesn't define __round__ method");
  std::int64_t precision = p.as_int();
  if (method == "common") {
    if (!v.is_float()) return round_int(v.as_int(), precision);
    return round_common(v.as_float(), precision);
  }
  double scale = std::pow(10.0, static_cast<double>(precision));
  double x = v.as_float() * scale;
  return (method == "ceil" ? std::ceil(x) : std::floor(x)) / scale;
}

Value f_int(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args args("int", a, k, {"default", "base"});
  Value fallback = args.get(0, 0);
  if (v.is_bool() || v.is_int()) return v.as_int();
  if (v.is_float()) {
    double d = v.as_float();
    if (!std::isfinite(d) || std::fabs(d) > 9.2e18) return fallback;
    return static_cast<std::int64_t>(d);
  }
  if (v.is_string()) {
    if (auto i = parse_int(v.as_string())) return *i;
    if (auto d = parse_float(v.as_string()); d && std::isfinite(*d) && std::fabs(*d) < 9.2e18) {
      return static_cast<std::int64_t>(*d);
    }
  }
  return fallback;
}

Value f_float(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args args("float", a, k, {"default"});
  if (v.is_number()) return v.as_float();
  if (v.is_string())
    if (auto d = parse_float(v.as_string())) return *d;
  return args.get(0, 0.0);
}

Value f_string(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("string", a, k, {});
  return v.str();
}

Value f_length(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("length", a, k, {});
  switch (v.kind()) {
    case Value::Kind::Undefined:
      return 0;
    case Value::Kind::String:
      return utf8_length(v.as_string());
    case Value::Kind::List:
      return v.as_list().size();
    case Value::Kind::Map:
      return v.as_map().size();
    default:
      throw EvalError("object of type '" + v.type_name() + "' has no len()");
  }
}

Value f_join(Context& ctx, const Value& v, const List& a, const Kwargs& k) {
  Args args("join", a, k, {"d", "attribute"});
  std::string sep = args.get(0, "").str();
  std::string out;
  bool first = true;
  for (const auto& item : sequence_of(v)) {
    if (!first) out += sep;
    first = false;
    out += args.has(1) ? attribute_path(item, args.get(1, "").str()).str() : item.str();
    ctx.check_text(out.size());
  }
  return out;
}

Value f_replace(Context& ctx, const Value& v, const List& a, const Kwargs& k) {
  Args args("replace", a, k, {"old", "new", "count"});
  if (!args.has(0) || !args.has(1)) throw EvalError("replace() needs the old and the new text");
  std::string s = v.str();
  std::string from = args.get(0, "").str();
  std::string to = args.get(1, "").str();
  std::int64_t count = args.has(2) && !args.get(2, -1).is_none() ? args.get(2, -1).as_int() : -1;
  if (count == 0) return s;
  std::string out;
  if (from.empty()) {
    // An empty old text matches before every character and at the end.
    List chars = iterate(Value(s));
    std::int64_t done = 0;
    for (const auto& c : chars) {
      if (count < 0 || done < count) {
        out += to;
        ++done;
      }
      out += c.as_string();
      ctx.check_text(out.size());
    }
    if (count < 0 || done < count) out += to;
    return out;
  }
  std::size_t pos = 0;
  std::int64_t done = 0;
  for (;;) {
    std::size_t hit = s.find(from, pos);
    if (hit == std::string::npos || (count >= 0 && done >= count)) break;
    out.append(s, pos, hit - pos);
    out += to;
    ctx.check_text(out.size());
    pos = hit + from.size();
    ++done;
  }
  out.append(s, pos, std::string::npos);
  return out;
}

Value f_trim(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args args("trim", a, k, {"chars"});
  std::u32string u = decode(v.str());
  std::u32string chars =
      args.has(0) && !args.get(0, "").is_none() ? decode(args.get(0, "").str()) : U"";
  auto strip = [&](char32_t c) {
    return chars.empty() ? is_space(c) : chars.find(c) != std::u32string::npos;
  };
  std::size_t b = 0;
  std::size_t e = u.size();
  while (b < e && strip(u[b])) ++b;
  while (e > b && strip(u[e - 1])) --e;
  return encode(u.substr(b, e - b));
}

Value f_format(Context& ctx, const Value& v, const List& a, const Kwargs& k) {
  if (!k.empty()) throw EvalError("format() keyword arguments are not supported");
  return percent_format(ctx, v.str(), a);
}

Value f_first(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("first", a, k, {});
  List items = sequence_of(v);
  if (items.empty()) return Value::undefined("No first item, sequence was empty.");
  return items.front();
}

Value f_last(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("last", a, k, {});
  List items = sequence_of(v);
  if (items.empty()) return Value::undefined("No last item, sequence was empty.");
  return items.back();
}

Value f_sort(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args args("sort", a, k, {"reverse", "case_sensitive", "attribute"});
  bool reverse = args.get(0, false).truthy();
  bool case_sensitive = args.get(1, false).truthy();
  std::optional<std::string> attribute;
  if (args.has(2) && !args.get(2, "").is_none()) attribute = args.get(2, "").str();
  List items = sequence_of(v);
  auto key = [&](const Value& item) {
    Value key_value = attribute ? attribute_path(item, *attribute) : item;
    if (!case_sensitive && key_value.is_string())
      return Value(map_case(key_value.as_string(), 'l'));
    return key_value;
  };
  std::vector<std::pair<Value, Value>> keyed;
  for (const auto& item : items) keyed.emplace_back(key(item), item);
  std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& x, const auto& y) {
    return reverse ? less(y.first, x.first) : less(x.first, y.first);
  });
  List out;
  for (auto& [kv, item] : keyed) out.push_back(std::move(item));
  return out;
}

Value select_or_reject(Context& ctx, const Value& v, const List& a, const Kwargs& k, bool select,
                       const char* name) {
  if (!k.empty()) throw EvalError(std::string(name) + "() takes no keyword arguments");
  if (a.empty()) throw EvalError(std::string(name) + "() needs an attribute name");
  std::string attribute = a[0].str();
  TestFn test = nullptr;
  List test_args;
  if (a.size() > 1) {
    test = find_test(a[1].str());
    if (!test) throw EvalError("no test named '" + a[1].str() + "'");
    test_args.assign(a.begin() + 2, a.end());
  }
  List out;
  for (const auto& item : sequence_of(v)) {
    Value attr = attribute_path(item, attribute);
    bool hit = test ? test(ctx, attr, test_args) : attr.truthy();
    if (hit == select) out.push_back(item);
  }
  return out;
}

Value f_selectattr(Context& ctx, const Value& v, const List& a, const Kwargs& k) {
  return select_or_reject(ctx, v, a, k, true, "selectattr");
}

Value f_rejectattr(Context& ctx, const Value& v, const List& a, const Kwargs& k) {
  return select_or_reject(ctx, v, a, k, false, "rejectattr");
}

Value f_map(Context& ctx, const Value& v, const List& a, const Kwargs& k) {
  List out;
  auto attr =
      std::find_if(k.begin(), k.end(), [](const auto& p) { return p.first == "attribute"; });
  if (attr != k.end()) {
    std::optional<Value> fallback;
    for (const auto& [name, value] : k) {
      if (name == "default")
        fallback = value;
      else if (name != "attribute")
        throw EvalError("map() got an unexpected keyword argument '" + name + "'");
    }
    for (const auto& item : sequence_of(v)) {
      Value x = attribute_path(item, attr->second.str());
      out.push_back(x.is_undefined() && fallback ? *fallback : x);
    }
    return out;
  }
  if (a.empty()) throw EvalError("map() needs a filter name or attribute=");
  FilterFn fn = find_filter(a[0].str());
  if (!fn) throw EvalError("no filter named '" + a[0].str() + "'");
  List rest(a.begin() + 1, a.end());
  for (const auto& item : sequence_of(v)) out.push_back(fn(ctx, item, rest, k));
  return out;
}

Value f_abs(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("abs", a, k, {});
  if (v.is_float()) return std::fabs(v.as_float());
  if (v.is_number()) return v.as_int() < 0 ? -v.as_int() : v.as_int();
  throw EvalError("bad operand type for abs(): '" + v.type_name() + "'");
}

Value f_list(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("list", a, k, {});
  return sequence_of(v);
}

Value f_reverse(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("reverse", a, k, {});
  List items = sequence_of(v);
  std::reverse(items.begin(), items.end());
  if (v.is_string()) {
    std::string s;
    for (const auto& c : items) s += c.as_string();
    return s;
  }
  return items;
}

Value f_escape(Context&, const Value& v, const List& a, const Kwargs& k) {
  Args("escape", a, k, {});
  return html_escape(v.str());
}

// ---- tests

bool t_defined(Context&, const Value& v, const List&) {
  return !v.is_undefined();
}
bool t_undefined(Context&, const Value& v, const List&) {
  return v.is_undefined();
}
bool t_none(Context&, const Value& v, const List&) {
  return v.is_none();
}
bool t_number(Context&, const Value& v, const List&) {
  return v.is_number();
}
bool t_string(Context&, const Value& v, const List&) {
  return v.is_string();
}
bool t_boolean(Context&, const Value& v, const List&) {
  return v.is_bool();
}
bool t_integer(Context&, const Value& v, const List&) {
  return v.is_int();
}
bool t_float(Context&, const Value& v, const List&) {
  return v.is_float();
}
bool t_mapping(Context&, const Value& v, const List&) {
  return v.is_map();
}
bool t_sequence(Context&, const Value& v, const List&) {
  return v.is_list() || v.is_string() || v.is_map();
}
bool t_iterable(Context&, const Value& v, const List&) {
  return v.is_list() || v.is_string() || v.is_map();
}
bool t_true(Context&, const Value& v, const List&) {
  return v.is_bool() && v.as_bool();
}
bool t_false(Context&, const Value& v, const List&) {
  return v.is_bool() && !v.as_bool();
}

const Value& arg0(const List& a, const char* test) {
  if (a.empty()) throw EvalError(std::string(test) + " test needs an argument");
  return a[0];
}

bool t_odd(Context&, const Value& v, const List&) {
  if (!v.is_number() || v.is_float()) throw EvalError("odd test needs an integer");
  return v.as_int() % 2 != 0;
}
bool t_even(Context&, const Value& v, const List&) {
  if (!v.is_number() || v.is_float()) throw EvalError("even test needs an integer");
  return v.as_int() % 2 == 0;
}
bool t_divisibleby(Context&, const Value& v, const List& a) {
  const Value& n = arg0(a, "divisibleby");
  if (!v.is_number() || !n.is_number() || v.is_float() || n.is_float() || n.as_int() == 0) {
    throw EvalError("divisibleby test needs non-zero integers");
  }
  return v.as_int() % n.as_int() == 0;
}
bool t_eq(Context&, const Value& v, const List& a) {
  return equal(v, arg0(a, "eq"));
}
bool t_ne(Context&, const Value& v, const List& a) {
  return !equal(v, arg0(a, "ne"));
}
bool t_lt(Context&, const Value& v, const List& a) {
  return less(v, arg0(a, "lt"));
}
bool t_le(Context&, const Value& v, const List& a) {
  return !less(arg0(a, "le"), v);
}
bool t_gt(Context&, const Value& v, const List& a) {
  return less(arg0(a, "gt"), v);
}
bool t_ge(Context&, const Value& v, const List& a) {
  return !less(v, arg0(a, "ge"));
}
bool t_in(Context&, const Value& v, const List& a) {
  const Value& seq = arg0(a, "in");
  if (seq.is_string())
    return v.is_string() && seq.as_string().find(v.as_string()) != std::string::npos;
  for (const auto& item : sequence_of(seq))
    if (equal(item, v)) return true;
  return false;
}

}  // namespace

FilterFn find_filter(const std::string& name) {
  static const std::map<std::string, FilterFn, std::less<>> filters{
      {"abs", f_abs},         {"capitalize", f_capitalize},
      {"count", f_length},    {"d", f_default},
      {"default", f_default}, {"e", f_escape},
      {"escape", f_escape},   {"first", f_first},
      {"float", f_float},     {"format", f_format},
      {"int", f_int},         {"join", f_join},
      {"last", f_last},       {"length", f_length},
      {"list", f_list},       {"lower", f_lower},
      {"map", f_map},         {"rejectattr", f_rejectattr},
      {"replace", f_replace}, {"reverse", f_reverse},
      {"round", f_round},     {"selectattr", f_selectattr},
      {"sort", f_sort},       {"string", f_string},
      {"title", f_title},     {"trim", f_trim},
      {"upper", f_upper},
  };
  auto it = filters.find(name);
  return it == filters.end() ? nullptr : it->second;
}

TestFn find_test(const std::string& name) {
  static const std::map<std::string, TestFn, std::less<>> tests{
      {"defined", t_defined},
      {"undefined", t_undefined},
      {"none", t_none},
      {"number", t_number},
      {"string", t_string},
      {"boolean", t_boolean},
      {"integer", t_integer},
      {"float", t_float},
      {"mapping", t_mapping},
      {"sequence", t_sequence},
      {"iterable", t_iterable},
      {"true", t_true},
      {"false", t_false},
      {"odd", t_odd},
      {"even", t_even},
      {"divisibleby", t_divisibleby},
      {"eq", t_eq},
      {"equalto", t_eq},
      {"==", t_eq},
      {"ne", t_ne},
      {"!=", t_ne},
      {"lt", t_lt},
      {"lessthan", t_lt},
      {"<", t_lt},
      {"le", t_le},
      {"<=", t_le},
      {"gt", t_gt},
      {"greaterthan", t_gt},
      {">", t_gt},
      {"ge", t_ge},
      {">=", t_ge},
      {"in", t_in},
  };
  auto it = tests.find(name);
  return it == tests.end() ? nullptr : it->second;
}

// An integer as Python's % formats it: the sign before the digits (-ff, not the two's
// complement), "0x" and "0o" for the alternate form, zero padding after sign and prefix.
std::string format_integer(long long n, char type, const std::string& flags,
                           const std::string& width, const std::string& precision) {
  unsigned long long magnitude =
      n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
  int base = type == 'x' || type == 'X' ? 16 : type == 'o' ? 8 : 10;
  const char* digit_chars = type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), digit_chars[magnitude % static_cast<unsigned>(base)]);
    magnitude /= static_cast<unsigned>(base);
  } while (magnitude);
  if (!precision.empty()) {
    std::size_t min_digits = std::stoul(precision);
    if (digits.size() < min_digits) digits.insert(0, min_digits - digits.size(), '0');
  }
  std::string sign = n < 0                                  ? "-"
                     : flags.find('+') != std::string::npos ? "+"
                     : flags.find(' ') != std::string::npos ? " "
                                                            : "";
  std::string prefix;
  if (flags.find('#') != std::string::npos && base != 10)
    prefix = type == 'x' ? "0x" : type == 'X' ? "0X" : "0o";
  std::size_t w = width.empty() ? 0 : std::stoul(width);
  std::size_t len = sign.size() + prefix.size() + digits.size();
  if (len >= w) return sign + prefix + digits;
  if (flags.find('-') != std::string::npos)
    return sign + prefix + digits + std::string(w - len, ' ');
  if (flags.find('0') != std::string::npos && precision.empty())
    return sign + prefix + std::string(w - len, '0') + digits;
  return std::string(w - len, ' ') + sign + prefix + digits;
}

std::string percent_format(const Context& ctx, const std::string& fmt, const List& args) {
  std::string out;
  std::size_t next = 0;
  auto take = [&]() -> const Value& {
    if (next >= args.size()) throw EvalError("not enough arguments for format string");
    return args[next++];
  };
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (c != '%') {
      out += c;
      continue;
    }
    std::size_t j = i + 1;
    std::string flags;
    while (j < fmt.size() && std::string_view("-+ #0").find(fmt[j]) != std::string_view::npos)
      flags += fmt[j++];
    std::string width;
    while (j < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[j]))) width += fmt[j++];
    std::string precision;
    bool has_precision = false;
    if (j < fmt.size() && fmt[j] == '.') {
      has_precision = true;
      ++j;
      while (j < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[j])))
        precision += fmt[j++];
    }
    // Widths and precisions beyond any sane report only serve to exhaust memory.
    if (width.size() > 4 || precision.size() > 4)
      throw EvalError("format width or precision too large");
    if (j >= fmt.size()) throw EvalError("incomplete format");
    char type = fmt[j];
    i = j;
    if (type == '%') {
      out += '%';
      continue;
    }
    std::string spec =
        "%" + flags + width + (has_precision ? "." + (precision.empty() ? "0" : precision) : "");
    char buf[512];
    if (type == 's' || type == 'r' || type == 'a') {
      const Value& v = take();
      std::string s = type == 's' ? v.str() : v.repr();
      if (has_precision) {
        List chars = iterate(Value(s));
        std::size_t keep =
            std::min<std::size_t>(chars.size(), std::stoul(precision.empty() ? "0" : precision));
        s.clear();
        for (std::size_t n = 0; n < keep; ++n) s += chars[n].as_string();
      }
      std::size_t w = width.empty() ? 0 : std::stoul(width);
      std::size_t len = utf8_length(s);
      if (len < w) {
        std::string pad(w - len, ' ');
        s = flags.find('-') != std::string::npos ? s + pad : pad + s;
      }
      out += s;
      ctx.check_text(out.size());
    } else if (type == 'd' || type == 'i' || type == 'u' || type == 'x' || type == 'X' ||
               type == 'o') {
      const Value& v = take();
      if (!v.is_number())
        throw EvalError(std::string("%") + type + " format: a real number is required, not " +
                        v.type_name());
      long long n =
          v.is_float() ? static_cast<long long>(v.as_float()) : static_cast<long long>(v.as_int());
      out += format_integer(n, type, flags, width, has_precision ? precision : "");
    } else if (std::string_view("eEfFgG").find(type) != std::string_view::npos) {
      const Value& v = take();
      if (!v.is_number()) throw EvalError(std::string("must be real number, not ") + v.type_name());
      std::snprintf(buf, sizeof buf, (spec + type).c_str(), v.as_float());
      out += buf;
    } else if (type == 'c') {
      const Value& v = take();
      out += v.is_string() ? v.as_string()
                           : encode(std::u32string(1, static_cast<char32_t>(v.as_int())));
    } else {
      throw EvalError(std::string("unsupported format character '") + type + "'");
    }
  }
  if (next < args.size()) throw EvalError("not all arguments converted during string formatting");
  return out;
}

}  // namespace jinja
