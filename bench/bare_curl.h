#pragma once
// The transfer options our HTTPS client sets, for a benchmark's bare libcurl
// arm, so that both arms do the same work on the wire.
#include <curl/curl.h>

#include <string>

inline void SetBareCurlTransferOptions(CURL* h, const std::string& ca_pem, curl_slist* connect_to,
                                       curl_slist* headers) {
  curl_blob blob{const_cast<char*>(ca_pem.data()), ca_pem.size(), CURL_BLOB_COPY};  // copied by libcurl
  curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob);
  curl_easy_setopt(h, CURLOPT_CONNECT_TO, connect_to);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(h, CURLOPT_PROXY, "");
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
}
