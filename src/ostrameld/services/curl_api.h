// libcurl, loaded on first use: an offline run never pays for loading it and the
// thirty libraries it pulls in, which would otherwise dominate a small assessment.
#pragma once

#include <curl/curl.h>

namespace ostrameld {

// The libcurl functions the forge client uses.
struct CurlApi {
  CURLcode (*global_init)(long);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_perform)(CURL*);
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
  void (*easy_cleanup)(CURL*);
  CURLSH* (*share_init)();
  CURLSHcode (*share_setopt)(CURLSH*, CURLSHoption, ...);
  CURLSHcode (*share_cleanup)(CURLSH*);
  curl_slist* (*slist_append)(curl_slist*, const char*);
  void (*slist_free_all)(curl_slist*);
};

// The loaded and globally initialised library, or null when it cannot be loaded (the
// forge then counts as unavailable). Thread-safe; loads at most once.
const CurlApi* curl_api();

}  // namespace ostrameld
