#include "ostrameld/engine/source.h"

#include <unistd.h>

#include "ostrameld/engine/interrupts.h"
#include "ostrameld/git/repository.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld {

namespace {

std::string repo_name_of(const std::string& url) {
  auto parts = parse_url(url);
  std::string path = parts ? parts->path : url;
  while (!path.empty() && path.back() == '/') path.pop_back();
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".git") == 0)
    path.resize(path.size() - 4);
  auto slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.empty() ? "repository" : sanitize_utf8(name);
}

// A local path that looks like a forge address without its scheme.
bool looks_like_host_path(std::string_view arg) {
  auto slash = arg.find('/');
  if (slash == std::string_view::npos || slash == 0) return false;
  std::string_view first = arg.substr(0, slash);
  return first.find('.') != std::string_view::npos && first.front() != '.' &&
         first.find_first_not_of(
             "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:") ==
             std::string_view::npos;
}

}  // namespace

RepositorySource RepositorySource::open(const std::string& arg, const OpenOptions& options) {
  RepositorySource src;
  Path p(arg);
  // An existing path is local even when it could be read as an address, as git does.
  AddressKind kind = path_exists(p, kAnywhere) ? AddressKind::Local : classify_address(arg);
  if (kind == AddressKind::Unsupported) {
    throw SourceError("unsupported repository address " + sanitize_utf8(redact_url(arg)) +
                      " (accepted: a directory, or " + std::string(kAcceptedAddresses) + ")");
  }
  std::string clone_from = arg;
  if (kind == AddressKind::Local) {
    if (!path_exists(p, kAnywhere)) {
      std::string msg = "no such file or directory: " + sanitize_utf8(arg);
      if (looks_like_host_path(arg))
        msg += " (for a repository on a forge, give its URL: https://" + sanitize_utf8(arg) + ")";
      throw SourceError(msg);
    }
    if (!is_dir(p, kAnywhere)) throw SourceError("not a directory: " + sanitize_utf8(arg));
    // A bare repository (a forge's storage, a mirror) has no files to read: its HEAD is
    // checked out as a clone of it would be.
    bool bare = false;
    try {
      bare = is_bare_repository(p);
    } catch (const GitError&) {
    }
    if (!bare) {
      src.path_ = p;
      return src;
    }
    clone_from = "file://" + std::filesystem::absolute(p).lexically_normal().native();
  }

  src.url_ = redact_url(clone_from);
  src.name_ = repo_name_of(*src.url_);
  try {
    src.temp_.emplace("clone");
  } catch (const OsError& e) {
    throw SourceError(std::string("cannot create a temporary directory for the clone: ") +
                      e.what());
  }
  src.path_ = src.temp_->path() / "repo";
  try {
    clone_repository(clone_from, src.path_,
                     {.progress = options.progress && ::isatty(STDERR_FILENO),
                      .deadline = options.deadline,
                      .cancel = &Interrupts::flag(),
                      .limits = options.limits});
  } catch (const GitError& e) {
    throw SourceError(e.what());  // the destructor of src removes the directory
  }
  return src;
}

}  // namespace ostrameld
