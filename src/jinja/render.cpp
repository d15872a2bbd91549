// Evaluation of expressions and statements.
#include <cmath>
#include <limits>

#include "jinja/ast.h"
#include "jinja/context.h"

namespace jinja {

namespace {

template <typename Op>
std::int64_t checked(Op op, std::int64_t a, std::int64_t b) {
  std::int64_t r = 0;
  if (op(a, b, &r)) throw EvalError("integer overflow");
  return r;
}

[[noreturn]] void unsupported(const std::string& op, const Value& a, const Value& b) {
  throw EvalError("unsupported operand type(s) for " + op + ": '" + a.type_name() + "' and '" +
                  b.type_name() + "'");
}

Value repeat(const Context& ctx, const Value& seq, std::int64_t times) {
  const bool text = seq.is_string();
  std::size_t unit = text ? seq.as_string().size() : seq.as_list().size();
  if (times <= 0 || unit == 0) return text ? Value(std::string()) : Value(List{});
  std::size_t limit = text ? ctx.limits().max_text_bytes : ctx.limits().max_list_items;
  if (static_cast<std::uint64_t>(times) > limit / unit) throw EvalError("repetition too large");
  if (text) {
    std::string out;
    out.reserve(unit * static_cast<std::size_t>(times));
    for (std::int64_t i = 0; i < times; ++i) out += seq.as_string();
    return out;
  }
  List out;
  out.reserve(unit * static_cast<std::size_t>(times));
  for (std::int64_t i = 0; i < times; ++i)
    out.insert(out.end(), seq.as_list().begin(), seq.as_list().end());
  return out;
}

Value arithmetic(const Context& ctx, const std::string& op, const Value& a, const Value& b) {
  if (a.is_undefined()) undefined_error(a);
  if (b.is_undefined()) undefined_error(b);
  bool nums = a.is_number() && b.is_number();
  bool ints = nums && !a.is_float() && !b.is_float();
  auto add = [](std::int64_t x, std::int64_t y, std::int64_t* r) {
    return __builtin_add_overflow(x, y, r);
  };
  auto sub = [](std::int64_t x, std::int64_t y, std::int64_t* r) {
    return __builtin_sub_overflow(x, y, r);
  };
  auto mul = [](std::int64_t x, std::int64_t y, std::int64_t* r) {
    return __builtin_mul_overflow(x, y, r);
  };
  if (op == "+") {
    if (ints) return checked(add, a.as_int(), b.as_int());
    if (nums) return a.as_float() + b.as_float();
    if (a.is_string() && b.is_string()) {
      ctx.check_text(a.as_string().size() + b.as_string().size());
      return a.as_string() + b.as_string();
    }
    if (a.is_list() && b.is_list()) {
      ctx.check_list(a.as_list().size() + b.as_list().size());
      List out = a.as_list();
      out.insert(out.end(), b.as_list().begin(), b.as_list().end());
      return out;
    }
    unsupported(op, a, b);
  }
  if (op == "-") {
    if (ints) return checked(sub, a.as_int(), b.as_int());
    if (nums) return a.as_float() - b.as_float();
    unsupported(op, a, b);
  }
  if (op == "*") {
    if (ints) return checked(mul, a.as_int(), b.as_int());
    if (nums) return a.as_float() * b.as_float();
    if ((a.is_string() || a.is_list()) && b.is_number() && !b.is_float())
      return repeat(ctx, a, b.as_int());
    if ((b.is_string() || b.is_list()) && a.is_number() && !a.is_float())
      return repeat(ctx, b, a.as_int());
    unsupported(op, a, b);
  }
  if (op == "/") {
    if (!nums) unsupported(op, a, b);
    if (b.as_float() == 0.0) throw EvalError("division by zero");
    return a.as_float() / b.as_float();
  }
  if (op == "//") {
    if (!nums) unsupported(op, a, b);
    if (ints) {
      if (b.as_int() == 0) throw EvalError("integer division or modulo by zero");
      std::int64_t q = a.as_int() / b.as_int();
      if ((a.as_int() % b.as_int() != 0) && ((a.as_int() < 0) != (b.as_int() < 0))) --q;
      return q;
    }
    if (b.as_float() == 0.0) throw EvalError("float floor division by zero");
    return std::floor(a.as_float() / b.as_float());
  }
  if (op == "%") {
    if (a.is_string())
      return percent_format(ctx, a.as_string(), b.is_list() ? b.as_list() : List{b});
    if (!nums) unsupported(op, a, b);
    if (ints) {
      if (b.as_int() == 0) throw EvalError("integer division or modulo by zero");
      std::int64_t m = a.as_int() % b.as_int();
      if (m != 0 && ((m < 0) != (b.as_int() < 0))) m += b.as_int();
      return m;
    }
    if (b.as_float() == 0.0) throw EvalError("float modulo");
    double m = std::fmod(a.as_float(), b.as_float());
    if (m != 0.0 && ((m < 0) != (b.as_float() < 0))) m += b.as_float();
    return m;
  }
  if (op == "**") {
    if (!nums) unsupported(op, a, b);
    if (ints && b.as_int() >= 0) {
      std::int64_t result = 1;
      std::int64_t base = a.as_int();
      for (std::int64_t e = b.as_int(); e > 0; --e) {
        if (__builtin_mul_overflow(result, base, &result)) throw EvalError("integer overflow");
        if (result == 0 || result == 1) break;
      }
      return result;
    }
    return std::pow(a.as_float(), b.as_float());
  }
  unsupported(op, a, b);
}

bool contains(const Value& container, const Value& item) {
  switch (container.kind()) {
    case Value::Kind::String:
      if (!item.is_string()) {
        throw EvalError("'in <string>' requires string as left operand, not " + item.type_name());
      }
      return container.as_string().find(item.as_string()) != std::string::npos;
    case Value::Kind::List:
      for (const auto& v : container.as_list())
        if (equal(v, item)) return true;
      return false;
    case Value::Kind::Map:
      return item.is_string() && container.find(item.as_string()) != nullptr;
    case Value::Kind::Undefined:
      return false;
    default:
      throw EvalError("argument of type '" + container.type_name() + "' is not iterable");
  }
}

bool compare(const std::string& op, const Value& a, const Value& b) {
  if (op == "==") return equal(a, b);
  if (op == "!=") return !equal(a, b);
  if (op == "in") return contains(b, a);
  if (op == "notin") return !contains(b, a);
  if (a.is_undefined()) undefined_error(a);
  if (b.is_undefined()) undefined_error(b);
  if (op == "<") return less(a, b);
  if (op == ">") return less(b, a);
  if (op == "<=") return !less(b, a);
  return !less(a, b);  // >=
}

}  // namespace

void Context::check_text(std::size_t bytes) const {
  if (bytes > limits_.max_text_bytes) throw EvalError("text too large");
}

void Context::check_list(std::size_t items) const {
  if (items > limits_.max_list_items) throw EvalError("list too large");
}

void Context::step() {
  if (++steps_ > limits_.max_steps) throw EvalError("template takes too many steps");
}

void Context::produced(const Value& v) {
  // A loop building large values again and again would otherwise run for hours.
  std::size_t bytes = v.is_string() ? v.as_string().size()
                      : v.is_list() ? v.as_list().size() * sizeof(Value)
                                    : 0;
  produced_bytes_ += bytes;
  if (produced_bytes_ > limits_.max_work_bytes) throw EvalError("template does too much work");
}

[[noreturn]] void undefined_error(const Value& v) {
  throw EvalError(v.hint().empty() ? "value is undefined" : v.hint());
}

Value Context::lookup(const std::string& name) const {
  for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope)
    for (const auto& [k, v] : *scope)
      if (k == name) return v;
  for (const auto& [k, v] : globals_)
    if (k == name) return v;
  return Value::undefined("'" + name + "' is undefined");
}

void Context::set(const std::string& name, Value value) {
  auto& scope = scopes_.back();
  for (auto& [k, v] : scope) {
    if (k == name) {
      v = std::move(value);
      return;
    }
  }
  scope.emplace_back(name, std::move(value));
}

Value get_attr(const Value& obj, const std::string& name) {
  if (obj.is_undefined()) undefined_error(obj);
  if (obj.is_map()) {
    if (const Value* v = obj.find(name)) return *v;
  }
  return Value::undefined("'" + (obj.is_map() ? std::string("dict") : obj.type_name()) +
                          " object' has no attribute '" + name + "'");
}

Value get_item(const Value& obj, const Value& key) {
  if (obj.is_undefined()) undefined_error(obj);
  if (obj.is_map() && key.is_string()) return get_attr(obj, key.as_string());
  if ((obj.is_list() || obj.is_string()) && key.is_number() && !key.is_float()) {
    std::int64_t i = key.as_int();
    if (obj.is_list()) {
      auto n = static_cast<std::int64_t>(obj.as_list().size());
      if (i < 0) i += n;
      if (i >= 0 && i < n) return obj.as_list()[static_cast<std::size_t>(i)];
    } else {
      List chars = iterate(obj);
      auto n = static_cast<std::int64_t>(chars.size());
      if (i < 0) i += n;
      if (i >= 0 && i < n) return chars[static_cast<std::size_t>(i)];
    }
  }
  return Value::undefined("'" + (obj.is_map() ? std::string("dict") : obj.type_name()) +
                          " object' has no element " + key.repr());
}

List iterate(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Undefined:
      return {};
    case Value::Kind::List:
      return v.as_list();
    case Value::Kind::Map: {
      List keys;
      for (const auto& [k, val] : v.as_map()) keys.emplace_back(k);
      return keys;
    }
    case Value::Kind::String: {
      List chars;
      const std::string& s = v.as_string();
      std::size_t i = 0;
      while (i < s.size()) {
        std::size_t len = 1;
        auto b = static_cast<unsigned char>(s[i]);
        if (b >= 0xF0)
          len = 4;
        else if (b >= 0xE0)
          len = 3;
        else if (b >= 0xC0)
          len = 2;
        chars.emplace_back(s.substr(i, len));
        i += len;
      }
      return chars;
    }
    default:
      throw EvalError("'" + v.type_name() + "' object is not iterable");
  }
}

// ---- expressions

Value ListLit::eval(Context& ctx) const {
  List out;
  for (const auto& e : items) out.push_back(e->eval(ctx));
  return tuple ? Value::tuple(std::move(out)) : Value(std::move(out));
}

Value MapLit::eval(Context& ctx) const {
  Map out;
  for (const auto& [k, v] : items) {
    Value key = k->eval(ctx);
    ctx.at(k->pos);
    if (!key.is_string()) throw EvalError("only text keys are supported in mappings");
    Value val = v->eval(ctx);
    bool replaced = false;
    for (auto& [ek, ev] : out) {
      if (ek == key.as_string()) {
        ev = val;
        replaced = true;
      }
    }
    if (!replaced) out.emplace_back(key.as_string(), val);
  }
  return out;
}

Value NameRef::eval(Context& ctx) const {
  return ctx.lookup(name);
}

Value GetAttr::eval(Context& ctx) const {
  Value o = obj->eval(ctx);
  ctx.at(pos);
  return get_attr(o, name);
}

Value GetItem::eval(Context& ctx) const {
  Value o = obj->eval(ctx);
  Value k = key->eval(ctx);
  ctx.at(pos);
  return get_item(o, k);
}

Value Unary::eval(Context& ctx) const {
  Value v = operand->eval(ctx);
  ctx.at(pos);
  if (op == "not") return !v.truthy();
  if (v.is_undefined()) undefined_error(v);
  if (!v.is_number())
    throw EvalError("bad operand type for unary " + op + ": '" + v.type_name() + "'");
  if (op == "+") return v.is_float() ? Value(v.as_float()) : Value(v.as_int());
  if (v.is_float()) return -v.as_float();
  if (v.as_int() == std::numeric_limits<std::int64_t>::min()) throw EvalError("integer overflow");
  return -v.as_int();
}

Value Binary::eval(Context& ctx) const {
  if (op == "and") {
    Value l = left->eval(ctx);
    return l.truthy() ? right->eval(ctx) : l;
  }
  if (op == "or") {
    Value l = left->eval(ctx);
    return l.truthy() ? l : right->eval(ctx);
  }
  Value l = left->eval(ctx);
  Value r = right->eval(ctx);
  ctx.at(pos);
  Value result;
  if (op == "~") {
    std::string ls = l.str();
    std::string rs = r.str();
    ctx.check_text(ls.size() + rs.size());
    result = ls + rs;
  } else {
    result = arithmetic(ctx, op, l, r);
  }
  ctx.produced(result);
  return result;
}

Value Compare::eval(Context& ctx) const {
  Value left = first->eval(ctx);
  for (const auto& [op, expr] : rest) {
    Value right = expr->eval(ctx);
    ctx.at(expr->pos);
    if (!compare(op, left, right)) return false;
    left = std::move(right);
  }
  return true;
}

Value CondExpr::eval(Context& ctx) const {
  if (cond->eval(ctx).truthy()) return then->eval(ctx);
  if (otherwise) return otherwise->eval(ctx);
  return Value::undefined(
      "the inline if-expression evaluated to false and no else section was defined");
}

Value FilterExpr::eval(Context& ctx) const {
  Value input = operand->eval(ctx);
  List args;
  for (const auto& a : call.args) args.push_back(a->eval(ctx));
  Kwargs kwargs;
  for (const auto& [k, a] : call.kwargs) kwargs.emplace_back(k, a->eval(ctx));
  ctx.at(pos);
  Value result = fn(ctx, input, args, kwargs);
  ctx.produced(result);
  return result;
}

Value TestExpr::eval(Context& ctx) const {
  Value input = operand->eval(ctx);
  List values;
  for (const auto& a : args) values.push_back(a->eval(ctx));
  ctx.at(pos);
  bool result = fn(ctx, input, values);
  return negated ? !result : result;
}

// ---- statements

void render_body(const Body& body, Context& ctx, std::string& out) {
  for (const auto& stmt : body) {
    stmt->render(ctx, out);
    if (out.size() > ctx.limits().max_output_bytes) throw EvalError("template output too large");
  }
}

void OutputStmt::render(Context& ctx, std::string& out) const {
  Value v = expr->eval(ctx);
  out += ctx.autoescape() ? html_escape(v.str()) : v.str();
}

void IfStmt::render(Context& ctx, std::string& out) const {
  for (const auto& [cond, body] : branches) {
    if (cond->eval(ctx).truthy()) {
      render_body(body, ctx, out);
      return;
    }
  }
  render_body(otherwise, ctx, out);
}

namespace {

void bind_targets(Context& ctx, const std::vector<std::string>& targets, const Value& item) {
  if (targets.size() == 1) {
    ctx.set(targets[0], item);
    return;
  }
  List parts = iterate(item);
  if (parts.size() != targets.size()) {
    throw EvalError("cannot unpack " + std::to_string(parts.size()) + " values into " +
                    std::to_string(targets.size()) + " names");
  }
  for (std::size_t i = 0; i < targets.size(); ++i) ctx.set(targets[i], parts[i]);
}

}  // namespace

void ForStmt::render(Context& ctx, std::string& out) const {
  Value seq = iter->eval(ctx);
  ctx.at(iter->pos);
  List items = iterate(seq);
  if (filter) {
    List kept;
    for (const auto& item : items) {
      ctx.step();
      ctx.push_scope();
      bind_targets(ctx, targets, item);
      bool keep = filter->eval(ctx).truthy();
      ctx.pop_scope();
      if (keep) kept.push_back(item);
    }
    items = std::move(kept);
  }
  if (items.empty()) {
    render_body(otherwise, ctx, out);
    return;
  }
  const auto n = static_cast<std::int64_t>(items.size());
  for (std::int64_t i = 0; i < n; ++i) {
    ctx.step();
    ctx.push_scope();
    ctx.set("loop", Map{{"index", i + 1},
                        {"index0", i},
                        {"revindex", n - i},
                        {"revindex0", n - i - 1},
                        {"first", i == 0},
                        {"last", i == n - 1},
                        {"length", n},
                        {"previtem", i > 0 ? items[static_cast<std::size_t>(i - 1)]
                                           : Value::undefined("there is no previous item")},
                        {"nextitem", i + 1 < n ? items[static_cast<std::size_t>(i + 1)]
                                               : Value::undefined("there is no next item")}});
    bind_targets(ctx, targets, items[static_cast<std::size_t>(i)]);
    try {
      render_body(body, ctx, out);
    } catch (...) {
      ctx.pop_scope();
      throw;
    }
    ctx.pop_scope();
  }
}

void SetStmt::render(Context& ctx, std::string&) const {
  Value v = value->eval(ctx);
  ctx.at(pos);
  bind_targets(ctx, targets, v);
}

}  // namespace jinja
