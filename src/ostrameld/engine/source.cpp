#include "ostrameld/engine/source.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "ostrameld/engine/interrupts.h"
#include "ostrameld/utils/git.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld {

namespace {

std::string repo_name_of(const std::string& url) {
  auto parts = parse_url(url);
  std::string path = parts ? parts->path : url;
  auto slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.empty() ? "repository" : sanitize_utf8(name);
}

void print_progress(const CloneProgress& p) {
  static thread_local std::size_t last = static_cast<std::size_t>(-1);
  std::size_t pct = p.total_objects ? p.received_objects * 100 / p.total_objects : 0;
  if (pct == last) return;
  last = pct;
  std::fprintf(stderr, "\rCloning: %3zu%% (%zu/%zu objects, %.1f MiB)", pct, p.received_objects, p.total_objects,
               static_cast<double>(p.received_bytes) / (1024.0 * 1024.0));
  std::fflush(stderr);
}

}  // namespace

RepositorySource RepositorySource::open(const std::string& arg, bool progress) {
  RepositorySource src;
  if (!is_remote_address(arg)) {
    Path p(arg);
    if (!path_exists(p)) throw SourceError("no such file or directory: " + sanitize_utf8(arg));
    if (!is_dir(p)) throw SourceError("not a directory: " + sanitize_utf8(arg));
    src.path_ = p;
    return src;
  }

  src.url_ = redact_url(arg);
  src.name_ = repo_name_of(*src.url_);
  std::string tmpl = (std::filesystem::temp_directory_path() / "ostrameld-clone-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw SourceError("cannot create a temporary directory for the clone");
  src.temp_ = tmpl;
  src.path_ = src.temp_;
  Interrupts::register_temp(src.temp_);
  bool show = progress && ::isatty(STDERR_FILENO);
  try {
    clone_repository(arg, src.temp_, &Interrupts::flag(), show ? print_progress : std::function<void(const CloneProgress&)>{});
    if (show) std::fputs("\n", stderr);
  } catch (const GitError& e) {
    if (show) std::fputs("\n", stderr);
    throw SourceError(e.what());  // the destructor of src removes the directory
  }
  return src;
}

RepositorySource::RepositorySource(RepositorySource&& other) noexcept
    : path_(std::move(other.path_)),
      temp_(std::move(other.temp_)),
      url_(std::move(other.url_)),
      name_(std::move(other.name_)) {
  other.temp_.clear();
}

RepositorySource::~RepositorySource() {
  if (temp_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(temp_, ec);
  Interrupts::unregister_temp(temp_);
}

}  // namespace ostrameld
