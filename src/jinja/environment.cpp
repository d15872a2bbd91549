#include <fstream>
#include <sstream>

#include "jinja/ast.h"
#include "jinja/context.h"
#include "jinja/jinja.h"
#include "jinja/lexer.h"
#include "jinja/parser.h"

namespace jinja {

namespace {

constexpr std::uintmax_t kMaxTemplateBytes = 4u << 20;

// Template names are "/"-separated paths that stay below the loader's directory.
bool safe_name(const std::string& name) {
  if (name.empty() || name.front() == '/') return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    auto slash = name.find('/', start);
    std::string part =
        name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part == ".." || part.empty()) return false;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return true;
}

}  // namespace

TemplateError::TemplateError(const std::string& name, std::size_t line, std::size_t column,
                             const std::string& message)
    : std::runtime_error(name + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                         message),
      name_(name),
      line_(line),
      column_(column),
      message_(message) {}

struct Template::Parsed {
  Body body;
};

Template::Template(std::string name, std::string source, const Options& options)
    : name_(std::move(name)),
      autoescape_(options.autoescape),
      limits_(options.limits),
      parsed_(std::make_unique<Parsed>()) {
  source_ = normalise_source(source, options.keep_trailing_newline);
  try {
    LexOptions lex{options.trim_blocks, options.lstrip_blocks, options.keep_trailing_newline};
    parsed_->body = parse(tokenize(source_, lex));
  } catch (const SyntaxError& e) {
    auto [line, col] = line_col(source_, e.pos());
    throw TemplateError(name_, line, col, e.what());
  }
}

Template::~Template() = default;

std::string Template::render(const Map& variables) const {
  Context ctx(variables, autoescape_, limits_);
  std::string out;
  try {
    render_body(parsed_->body, ctx, out);
  } catch (const EvalError& e) {
    auto [line, col] = line_col(source_, ctx.pos());
    throw TemplateError(name_, line, col, e.what());
  }
  return out;
}

Environment::Environment(std::filesystem::path directory, Options options)
    : directory_(std::move(directory)), has_loader_(true), options_(options) {}

Environment::Environment(Options options) : has_loader_(false), options_(options) {}

Environment::~Environment() = default;

std::shared_ptr<const Template> Environment::get_template(const std::string& name) const {
  {
    std::lock_guard lock(mu_);
    if (auto it = cache_.find(name); it != cache_.end()) return it->second;
  }
  if (!has_loader_ || !safe_name(name)) throw TemplateNotFound(name);
  std::filesystem::path file = directory_ / name;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) throw TemplateNotFound(name);
  if (std::filesystem::file_size(file, ec) > kMaxTemplateBytes)
    throw TemplateNotFound(name + " (too large)");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw TemplateNotFound(name);
  std::ostringstream text;
  text << in.rdbuf();
  auto tmpl = std::shared_ptr<const Template>(new Template(name, text.str(), options_));
  std::lock_guard lock(mu_);
  return cache_.emplace(name, std::move(tmpl)).first->second;
}

std::shared_ptr<const Template> Environment::from_string(const std::string& source,
                                                         const std::string& name) const {
  return std::shared_ptr<const Template>(new Template(name, source, options_));
}

}  // namespace jinja
