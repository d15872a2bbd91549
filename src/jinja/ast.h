// The parsed form of a template: statements and expressions that evaluate against a
// render context. Built once by the parser and then only read, so a template may be
// rendered by several threads at once.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "jinja/value.h"

namespace jinja {

class Context;

struct Expr {
  explicit Expr(std::size_t p) : pos(p) {}
  virtual ~Expr() = default;
  virtual Value eval(Context& ctx) const = 0;
  std::size_t pos;  // offset in the source, for error messages
};
using ExprPtr = std::unique_ptr<Expr>;

using Kwargs = std::vector<std::pair<std::string, Value>>;
// A filter: input, positional arguments, keyword arguments.
using FilterFn = Value (*)(Context&, const Value&, const List&, const Kwargs&);
// A test: input and positional arguments.
using TestFn = bool (*)(Context&, const Value&, const List&);

FilterFn find_filter(const std::string& name);
TestFn find_test(const std::string& name);

struct Stmt {
  explicit Stmt(std::size_t p) : pos(p) {}
  virtual ~Stmt() = default;
  virtual void render(Context& ctx, std::string& out) const = 0;
  std::size_t pos;
};
using StmtPtr = std::unique_ptr<Stmt>;
using Body = std::vector<StmtPtr>;

void render_body(const Body& body, Context& ctx, std::string& out);

// ---- expressions

struct Literal final : Expr {
  Literal(std::size_t p, Value v) : Expr(p), value(std::move(v)) {}
  Value eval(Context&) const override { return value; }
  Value value;
};

struct ListLit final : Expr {
  using Expr::Expr;
  Value eval(Context& ctx) const override;
  std::vector<ExprPtr> items;
  bool tuple = false;  // written (a, b): prints as a tuple
};

struct MapLit final : Expr {
  using Expr::Expr;
  Value eval(Context& ctx) const override;
  std::vector<std::pair<ExprPtr, ExprPtr>> items;
};

struct NameRef final : Expr {
  NameRef(std::size_t p, std::string n) : Expr(p), name(std::move(n)) {}
  Value eval(Context& ctx) const override;
  std::string name;
};

struct GetAttr final : Expr {
  GetAttr(std::size_t p, ExprPtr o, std::string n)
      : Expr(p), obj(std::move(o)), name(std::move(n)) {}
  Value eval(Context& ctx) const override;
  ExprPtr obj;
  std::string name;
};

struct GetItem final : Expr {
  GetItem(std::size_t p, ExprPtr o, ExprPtr k) : Expr(p), obj(std::move(o)), key(std::move(k)) {}
  Value eval(Context& ctx) const override;
  ExprPtr obj;
  ExprPtr key;
};

struct Unary final : Expr {
  Unary(std::size_t p, std::string o, ExprPtr e)
      : Expr(p), op(std::move(o)), operand(std::move(e)) {}
  Value eval(Context& ctx) const override;
  std::string op;  // "-", "+", "not"
  ExprPtr operand;
};

struct Binary final : Expr {
  Binary(std::size_t p, std::string o, ExprPtr l, ExprPtr r)
      : Expr(p), op(std::move(o)), left(std::move(l)), right(std::move(r)) {}
  Value eval(Context& ctx) const override;
  std::string op;  // + - * / // % ** ~ and or
  ExprPtr left;
  ExprPtr right;
};

struct Compare final : Expr {
  using Expr::Expr;
  Value eval(Context& ctx) const override;
  ExprPtr first;
  std::vector<std::pair<std::string, ExprPtr>> rest;  // == != < <= > >= in notin
};

struct CondExpr final : Expr {
  using Expr::Expr;
  Value eval(Context& ctx) const override;
  ExprPtr cond, then, otherwise;  // otherwise may be null (undefined)
};

struct Call {
  std::vector<ExprPtr> args;
  std::vector<std::pair<std::string, ExprPtr>> kwargs;
};

struct FilterExpr final : Expr {
  using Expr::Expr;
  Value eval(Context& ctx) const override;
  ExprPtr operand;
  std::string name;
  FilterFn fn = nullptr;
  Call call;
};

struct TestExpr final : Expr {
  using Expr::Expr;
  Value eval(Context& ctx) const override;
  ExprPtr operand;
  std::string name;
  TestFn fn = nullptr;
  bool negated = false;
  std::vector<ExprPtr> args;
};

// ---- statements

struct TextStmt final : Stmt {
  TextStmt(std::size_t p, std::string t) : Stmt(p), text(std::move(t)) {}
  void render(Context&, std::string& out) const override { out += text; }
  std::string text;
};

struct OutputStmt final : Stmt {
  OutputStmt(std::size_t p, ExprPtr e) : Stmt(p), expr(std::move(e)) {}
  void render(Context& ctx, std::string& out) const override;
  ExprPtr expr;
};

struct IfStmt final : Stmt {
  using Stmt::Stmt;
  void render(Context& ctx, std::string& out) const override;
  std::vector<std::pair<ExprPtr, Body>> branches;
  Body otherwise;
};

struct ForStmt final : Stmt {
  using Stmt::Stmt;
  void render(Context& ctx, std::string& out) const override;
  std::vector<std::string> targets;
  ExprPtr iter;
  ExprPtr filter;  // optional "if" clause
  Body body;
  Body otherwise;
};

struct SetStmt final : Stmt {
  using Stmt::Stmt;
  void render(Context& ctx, std::string& out) const override;
  std::vector<std::string> targets;
  ExprPtr value;
};

}  // namespace jinja
