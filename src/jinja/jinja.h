// A template engine for the Jinja2 template language (the subset reports need): output
// and comments, if/elif/else, for loops with loop.* and else, set, whitespace control,
// trim_blocks and lstrip_blocks, literals, arithmetic, comparisons, tests and filters.
// Anything outside that subset is an error that names the template, line and column.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "jinja/context.h"
#include "jinja/value.h"

namespace jinja {

// A syntax or evaluation error, worded "NAME:LINE:COLUMN: message".
class TemplateError : public std::runtime_error {
 public:
  TemplateError(const std::string& name, std::size_t line, std::size_t column,
                const std::string& message);
  const std::string& template_name() const { return name_; }
  std::size_t line() const { return line_; }
  std::size_t column() const { return column_; }
  const std::string& message() const { return message_; }

 private:
  std::string name_;
  std::size_t line_;
  std::size_t column_;
  std::string message_;
};

// No template of that name in the loader's directory (or a name that leaves it).
class TemplateNotFound : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  bool trim_blocks = false;    // drop the first newline after a block tag or comment
  bool lstrip_blocks = false;  // drop spaces and tabs before a block tag or comment on its line
  bool autoescape = false;     // HTML-escape every {{ }} output
  bool keep_trailing_newline = false;
  Limits limits;  // what one render may build before it fails
};

class Template;

class Environment {
 public:
  // Templates come from files below `directory`.
  explicit Environment(std::filesystem::path directory, Options options = {});
  // Templates come only from from_string().
  explicit Environment(Options options = {});
  ~Environment();

  // Loads, parses and caches a template; safe to call from several threads.
  // Throws TemplateNotFound or TemplateError.
  std::shared_ptr<const Template> get_template(const std::string& name) const;
  std::shared_ptr<const Template> from_string(const std::string& source,
                                              const std::string& name = "<template>") const;

 private:
  std::filesystem::path directory_;
  bool has_loader_;
  Options options_;
  mutable std::mutex mu_;
  mutable std::map<std::string, std::shared_ptr<const Template>> cache_;
};

class Template {
 public:
  ~Template();
  // Renders with the given variables; throws TemplateError for evaluation errors.
  std::string render(const Map& variables) const;
  const std::string& name() const { return name_; }

 private:
  friend class Environment;
  struct Parsed;
  Template(std::string name, std::string source, const Options& options);
  std::string name_;
  std::string source_;  // normalised, for line and column of errors
  bool autoescape_;
  Limits limits_;
  std::unique_ptr<Parsed> parsed_;
};

}  // namespace jinja
