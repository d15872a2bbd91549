#include "ostrameld/services/curl_api.h"

#include <dlfcn.h>

namespace ostrameld {

namespace {

template <typename F>
bool bind(void* lib, const char* name, F& fn) {
  fn = reinterpret_cast<F>(::dlsym(lib, name));
  return fn != nullptr;
}

const CurlApi* load() {
  void* lib = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (!lib) return nullptr;
  static CurlApi api;
  bool ok = bind(lib, "curl_global_init", api.global_init) &&
            bind(lib, "curl_easy_init", api.easy_init) &&
            bind(lib, "curl_easy_setopt", api.easy_setopt) &&
            bind(lib, "curl_easy_perform", api.easy_perform) &&
            bind(lib, "curl_easy_getinfo", api.easy_getinfo) &&
            bind(lib, "curl_easy_cleanup", api.easy_cleanup) &&
            bind(lib, "curl_share_init", api.share_init) &&
            bind(lib, "curl_share_setopt", api.share_setopt) &&
            bind(lib, "curl_share_cleanup", api.share_cleanup) &&
            bind(lib, "curl_slist_append", api.slist_append) &&
            bind(lib, "curl_slist_free_all", api.slist_free_all);
  if (!ok || api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
  return &api;  // never unloaded: connections and TLS state live until exit
}

}  // namespace

const CurlApi* curl_api() {
  static const CurlApi* api = load();
  return api;
}

}  // namespace ostrameld
