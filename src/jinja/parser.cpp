#include "jinja/parser.h"

#include <algorithm>
#include <initializer_list>

namespace jinja {

namespace {

// Nesting deeper than this is no template a person writes; refuse it before the
// recursive descent can exhaust the stack.
constexpr int kMaxNesting = 200;

class Parser {
 public:
  explicit Parser(const std::vector<Token>& tokens) : toks_(tokens) {}

  Body parse_template() {
    Body body = parse_body({});
    if (cur().type != Tok::End) fail("unexpected '" + describe(cur()) + "'");
    return body;
  }

 private:
  // ---- token helpers

  const Token& cur() const { return toks_[i_]; }
  const Token& peek(std::size_t ahead = 1) const {
    return toks_[std::min(i_ + ahead, toks_.size() - 1)];
  }
  void advance() {
    if (i_ + 1 < toks_.size()) ++i_;
  }
  bool is_op(std::string_view op) const { return cur().type == Tok::Op && cur().value == op; }
  bool is_name(std::string_view name) const {
    return cur().type == Tok::Name && cur().value == name;
  }
  bool is_block_keyword(std::string_view name) const {
    return cur().type == Tok::BlockBegin && peek().type == Tok::Name && peek().value == name;
  }

  [[noreturn]] void fail(const std::string& message) const {
    throw SyntaxError(message, cur().pos);
  }

  static std::string describe(const Token& t) {
    switch (t.type) {
      case Tok::End:
        return "end of template";
      case Tok::VarEnd:
        return "}}";
      case Tok::BlockEnd:
        return "%}";
      case Tok::VarBegin:
        return "{{";
      case Tok::BlockBegin:
        return "{%";
      default:
        return t.value;
    }
  }

  static std::int64_t integer_value(const Token& t) {
    try {
      return static_cast<std::int64_t>(std::stoll(t.value));
    } catch (const std::out_of_range&) {
      throw SyntaxError("integer literal too large", t.pos);
    }
  }

  void expect_op(std::string_view op) {
    if (!is_op(op)) fail("expected '" + std::string(op) + "', got '" + describe(cur()) + "'");
    advance();
  }
  std::string expect_name() {
    if (cur().type != Tok::Name) fail("expected a name, got '" + describe(cur()) + "'");
    std::string n = cur().value;
    advance();
    return n;
  }
  void expect_block_end() {
    if (cur().type != Tok::BlockEnd) fail("expected '%}', got '" + describe(cur()) + "'");
    advance();
  }

  struct Depth {
    Depth(Parser& p) : p_(p) {
      if (++p_.depth_ > kMaxNesting) p_.fail("template nested too deeply");
    }
    ~Depth() { --p_.depth_; }
    Parser& p_;
  };

  // ---- statements

  // Parses until a block tag whose keyword is one of `until` (not consumed).
  Body parse_body(std::initializer_list<std::string_view> until) {
    Depth guard(*this);
    Body body;
    for (;;) {
      const Token& t = cur();
      if (t.type == Tok::End) {
        if (until.size()) {
          std::string wanted;
          for (auto u : until) wanted += (wanted.empty() ? "'" : " or '") + std::string(u) + "'";
          fail("unexpected end of template, expected " + wanted);
        }
        return body;
      }
      if (t.type == Tok::Text) {
        body.push_back(std::make_unique<TextStmt>(t.pos, t.value));
        advance();
      } else if (t.type == Tok::VarBegin) {
        std::size_t pos = t.pos;
        advance();
        ExprPtr e = parse_expression();
        if (cur().type != Tok::VarEnd) fail("expected '}}', got '" + describe(cur()) + "'");
        advance();
        body.push_back(std::make_unique<OutputStmt>(pos, std::move(e)));
      } else if (t.type == Tok::BlockBegin) {
        const Token& kw = peek();
        if (kw.type == Tok::Name &&
            std::find(until.begin(), until.end(), std::string_view(kw.value)) != until.end()) {
          return body;
        }
        body.push_back(parse_statement());
      } else {
        fail("unexpected '" + describe(t) + "'");
      }
    }
  }

  StmtPtr parse_statement() {
    std::size_t pos = cur().pos;
    advance();  // {%
    if (cur().type != Tok::Name) fail("tag name expected");
    std::string tag = cur().value;
    if (tag == "if") return parse_if(pos);
    if (tag == "for") return parse_for(pos);
    if (tag == "set") return parse_set(pos);
    fail("encountered unknown tag '" + tag + "'");
  }

  StmtPtr parse_if(std::size_t pos) {
    auto stmt = std::make_unique<IfStmt>(pos);
    advance();  // if
    for (;;) {
      ExprPtr cond = parse_expression();
      expect_block_end();
      Body body = parse_body({"elif", "else", "endif"});
      stmt->branches.emplace_back(std::move(cond), std::move(body));
      advance();  // {%
      std::string kw = expect_name();
      if (kw == "elif") continue;
      if (kw == "else") {
        expect_block_end();
        stmt->otherwise = parse_body({"endif"});
        advance();
        expect_name();
      }
      expect_block_end();
      return stmt;
    }
  }

  StmtPtr parse_for(std::size_t pos) {
    auto stmt = std::make_unique<ForStmt>(pos);
    advance();  // for
    stmt->targets = parse_targets();
    if (!is_name("in")) fail("expected 'in', got '" + describe(cur()) + "'");
    advance();
    stmt->iter = parse_condexpr_free();
    if (is_name("if")) {
      advance();
      stmt->filter = parse_expression();
    }
    expect_block_end();
    stmt->body = parse_body({"else", "endfor"});
    advance();
    std::string kw = expect_name();
    if (kw == "else") {
      expect_block_end();
      stmt->otherwise = parse_body({"endfor"});
      advance();
      expect_name();
    }
    expect_block_end();
    return stmt;
  }

  StmtPtr parse_set(std::size_t pos) {
    auto stmt = std::make_unique<SetStmt>(pos);
    advance();  // set
    stmt->targets = parse_targets();
    if (!is_op("=")) fail("block assignments are not supported; expected '='");
    advance();
    stmt->value = parse_expression();
    expect_block_end();
    return stmt;
  }

  std::vector<std::string> parse_targets() {
    std::vector<std::string> names;
    bool paren = is_op("(");
    if (paren) advance();
    names.push_back(expect_name());
    while (is_op(",")) {
      advance();
      if (cur().type != Tok::Name) break;
      names.push_back(expect_name());
    }
    if (paren) expect_op(")");
    return names;
  }

  // ---- expressions, loosest binding first

  ExprPtr parse_expression() {
    Depth guard(*this);
    return parse_condexpr();
  }

  // For "for x in ITER if COND": the iterable takes no conditional expression.
  ExprPtr parse_condexpr_free() {
    Depth guard(*this);
    return parse_or();
  }

  ExprPtr parse_condexpr() {
    ExprPtr expr = parse_or();
    while (is_name("if")) {
      std::size_t pos = cur().pos;
      advance();
      auto node = std::make_unique<CondExpr>(pos);
      node->cond = parse_or();
      if (is_name("else")) {
        advance();
        node->otherwise = parse_condexpr();
      }
      node->then = std::move(expr);
      expr = std::move(node);
    }
    return expr;
  }

  ExprPtr parse_or() {
    ExprPtr left = parse_and();
    while (is_name("or")) {
      std::size_t pos = cur().pos;
      advance();
      left = std::make_unique<Binary>(pos, "or", std::move(left), parse_and());
    }
    return left;
  }

  ExprPtr parse_and() {
    ExprPtr left = parse_not();
    while (is_name("and")) {
      std::size_t pos = cur().pos;
      advance();
      left = std::make_unique<Binary>(pos, "and", std::move(left), parse_not());
    }
    return left;
  }

  ExprPtr parse_not() {
    if (is_name("not")) {
      Depth guard(*this);
      std::size_t pos = cur().pos;
      advance();
      return std::make_unique<Unary>(pos, "not", parse_not());
    }
    return parse_compare();
  }

  ExprPtr parse_compare() {
    std::size_t pos = cur().pos;
    ExprPtr first = parse_math1();
    std::vector<std::pair<std::string, ExprPtr>> rest;
    for (;;) {
      if (cur().type == Tok::Op &&
          (cur().value == "==" || cur().value == "!=" || cur().value == "<" ||
           cur().value == "<=" || cur().value == ">" || cur().value == ">=")) {
        std::string op = cur().value;
        advance();
        rest.emplace_back(op, parse_math1());
      } else if (is_name("in")) {
        advance();
        rest.emplace_back("in", parse_math1());
      } else if (is_name("not") && peek().type == Tok::Name && peek().value == "in") {
        advance();
        advance();
        rest.emplace_back("notin", parse_math1());
      } else {
        break;
      }
    }
    if (rest.empty()) return first;
    auto node = std::make_unique<Compare>(pos);
    node->first = std::move(first);
    node->rest = std::move(rest);
    return node;
  }

  ExprPtr parse_math1() {
    ExprPtr left = parse_concat();
    while (is_op("+") || is_op("-")) {
      std::string op = cur().value;
      std::size_t pos = cur().pos;
      advance();
      left = std::make_unique<Binary>(pos, op, std::move(left), parse_concat());
    }
    return left;
  }

  ExprPtr parse_concat() {
    ExprPtr left = parse_math2();
    while (is_op("~")) {
      std::size_t pos = cur().pos;
      advance();
      left = std::make_unique<Binary>(pos, "~", std::move(left), parse_math2());
    }
    return left;
  }

  ExprPtr parse_math2() {
    ExprPtr left = parse_pow();
    while (is_op("*") || is_op("/") || is_op("//") || is_op("%")) {
      std::string op = cur().value;
      std::size_t pos = cur().pos;
      advance();
      left = std::make_unique<Binary>(pos, op, std::move(left), parse_pow());
    }
    return left;
  }

  ExprPtr parse_pow() {
    ExprPtr left = parse_unary(true);
    while (is_op("**")) {
      std::size_t pos = cur().pos;
      advance();
      left = std::make_unique<Binary>(pos, "**", std::move(left), parse_unary(true));
    }
    return left;
  }

  ExprPtr parse_unary(bool with_filter) {
    Depth guard(*this);
    ExprPtr node;
    if (is_op("-") || is_op("+")) {
      std::string op = cur().value;
      std::size_t pos = cur().pos;
      advance();
      node = std::make_unique<Unary>(pos, op, parse_unary(false));
    } else {
      node = parse_primary();
    }
    node = parse_postfix(std::move(node));
    if (with_filter) node = parse_filter_expr(std::move(node));
    return node;
  }

  ExprPtr parse_primary() {
    const Token& t = cur();
    std::size_t pos = t.pos;
    switch (t.type) {
      case Tok::Name: {
        std::string n = t.value;
        advance();
        if (n == "true" || n == "True") return std::make_unique<Literal>(pos, Value(true));
        if (n == "false" || n == "False") return std::make_unique<Literal>(pos, Value(false));
        if (n == "none" || n == "None") return std::make_unique<Literal>(pos, Value::none());
        return std::make_unique<NameRef>(pos, n);
      }
      case Tok::String: {
        std::string s;
        while (cur().type == Tok::String) {  // adjacent literals join
          s += cur().value;
          advance();
        }
        return std::make_unique<Literal>(pos, Value(s));
      }
      case Tok::Integer: {
        std::int64_t value = integer_value(t);
        advance();
        return std::make_unique<Literal>(pos, Value(value));
      }
      case Tok::Float: {
        std::string digits = t.value;
        advance();
        return std::make_unique<Literal>(pos, Value(std::strtod(digits.c_str(), nullptr)));
      }
      case Tok::Op:
        if (t.value == "(") return parse_paren();
        if (t.value == "[") return parse_list();
        if (t.value == "{") return parse_dict();
        break;
      default:
        break;
    }
    fail("unexpected '" + describe(t) + "'");
  }

  ExprPtr parse_paren() {
    std::size_t pos = cur().pos;
    advance();  // (
    if (is_op(")")) {
      advance();
      auto empty = std::make_unique<ListLit>(pos);
      empty->tuple = true;
      return empty;
    }
    ExprPtr first = parse_expression();
    if (is_op(")")) {
      advance();
      return first;
    }
    auto tuple = std::make_unique<ListLit>(pos);
    tuple->tuple = true;
    tuple->items.push_back(std::move(first));
    while (is_op(",")) {
      advance();
      if (is_op(")")) break;
      tuple->items.push_back(parse_expression());
    }
    expect_op(")");
    return tuple;
  }

  ExprPtr parse_list() {
    auto list = std::make_unique<ListLit>(cur().pos);
    advance();  // [
    while (!is_op("]")) {
      if (!list->items.empty()) expect_op(",");
      if (is_op("]")) break;
      list->items.push_back(parse_expression());
    }
    advance();
    return list;
  }

  ExprPtr parse_dict() {
    auto dict = std::make_unique<MapLit>(cur().pos);
    advance();  // {
    while (!is_op("}")) {
      if (!dict->items.empty()) expect_op(",");
      if (is_op("}")) break;
      ExprPtr key = parse_expression();
      expect_op(":");
      dict->items.emplace_back(std::move(key), parse_expression());
    }
    advance();
    return dict;
  }

  ExprPtr parse_postfix(ExprPtr node) {
    for (;;) {
      if (is_op(".")) {
        std::size_t pos = cur().pos;
        advance();
        if (cur().type == Tok::Name) {
          node = std::make_unique<GetAttr>(pos, std::move(node), expect_name());
        } else if (cur().type == Tok::Integer) {
          auto key = std::make_unique<Literal>(cur().pos, Value(integer_value(cur())));
          advance();
          node = std::make_unique<GetItem>(pos, std::move(node), std::move(key));
        } else {
          fail("expected a name after '.'");
        }
      } else if (is_op("[")) {
        std::size_t pos = cur().pos;
        advance();
        ExprPtr key = parse_expression();
        if (is_op(":")) fail("slices are not supported");
        expect_op("]");
        node = std::make_unique<GetItem>(pos, std::move(node), std::move(key));
      } else if (is_op("(")) {
        fail("function and method calls are not supported");
      } else {
        return node;
      }
    }
  }

  ExprPtr parse_filter_expr(ExprPtr node) {
    for (;;) {
      if (is_op("|")) {
        node = parse_filter(std::move(node));
      } else if (is_name("is")) {
        node = parse_test(std::move(node));
      } else if (is_op("(")) {
        fail("function and method calls are not supported");
      } else {
        return node;
      }
    }
  }

  ExprPtr parse_filter(ExprPtr operand) {
    advance();  // |
    std::size_t pos = cur().pos;
    auto node = std::make_unique<FilterExpr>(pos);
    node->name = expect_name();
    node->fn = find_filter(node->name);
    if (!node->fn) throw SyntaxError("no filter named '" + node->name + "'", pos);
    node->operand = std::move(operand);
    if (is_op("(")) node->call = parse_call_args();
    return node;
  }

  ExprPtr parse_test(ExprPtr operand) {
    advance();  // is
    auto node = std::make_unique<TestExpr>(cur().pos);
    if (is_name("not")) {
      node->negated = true;
      advance();
    }
    std::size_t pos = cur().pos;
    node->name = expect_name();
    node->fn = find_test(node->name);
    if (!node->fn) throw SyntaxError("no test named '" + node->name + "'", pos);
    node->operand = std::move(operand);
    if (is_op("(")) {
      Call call = parse_call_args();
      if (!call.kwargs.empty()) fail("tests take no keyword arguments");
      node->args = std::move(call.args);
    } else if ((cur().type == Tok::Name || cur().type == Tok::String ||
                cur().type == Tok::Integer || cur().type == Tok::Float || is_op("[") ||
                is_op("{")) &&
               !is_name("else") && !is_name("or") && !is_name("and") && !is_name("if")) {
      // One argument without parentheses: "x is divisibleby 3".
      node->args.push_back(parse_postfix(parse_primary()));
    }
    return node;
  }

  Call parse_call_args() {
    Call call;
    advance();  // (
    while (!is_op(")")) {
      if (!call.args.empty() || !call.kwargs.empty()) expect_op(",");
      if (is_op(")")) break;
      if (cur().type == Tok::Name && peek().type == Tok::Op && peek().value == "=") {
        std::string key = expect_name();
        advance();  // =
        call.kwargs.emplace_back(key, parse_expression());
      } else {
        if (!call.kwargs.empty()) fail("positional argument follows keyword argument");
        call.args.push_back(parse_expression());
      }
    }
    advance();
    return call;
  }

  const std::vector<Token>& toks_;
  std::size_t i_ = 0;
  int depth_ = 0;
};

}  // namespace

Body parse(const std::vector<Token>& tokens) {
  return Parser(tokens).parse_template();
}

}  // namespace jinja
