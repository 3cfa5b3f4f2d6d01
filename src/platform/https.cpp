#include "platform/https.h"

#include <curl/curl.h>
#include <poll.h>
#include <signal.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "platform/crypto.h"
#include "platform/test_hook_state.h"
#include "platform/tls_floor.h"

namespace platform {
namespace {

constexpr char kTrustBundle[] = "/etc/ssl/certs/ca-certificates.crt";

thread_local uint32_t last_error = 0;

// A header list whose copies are wiped before they are freed (one may hold a token).
class HeaderList {
 public:
  ~HeaderList() {
    for (curl_slist* item = list_; item != nullptr; item = item->next) {
      if (item->data != nullptr) SecureZero(item->data, std::strlen(item->data));
    }
    curl_slist_free_all(list_);
  }
  [[nodiscard]] bool Append(const std::string& line) {
    curl_slist* grown = curl_slist_append(list_, line.c_str());
    if (grown == nullptr) return false;
    list_ = grown;
    return true;
  }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// Called by libcurl on each new connection's context, after its own settings.
CURLcode OnSslContext(CURL*, void* context, void*) {
  return ApplyTlsFloor(static_cast<ssl_ctx_st*>(context)) ? CURLE_OK : CURLE_SSL_CONNECT_ERROR;
}

bool HostAllowed(std::string_view host) {
  if (host.empty()) return false;
  for (const char c : host) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::string EncodePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x21 && c <= 0x7E) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

using Clock = std::chrono::steady_clock;

// What the callbacks learn while one request runs.
struct Transfer {
  const HttpsRequest* request = nullptr;
  SecretBuffer* body = nullptr;
  CURL* handle = nullptr;
  int attempts = 0;             // libcurl's own tries of this request
  bool retry_refused = false;   // a retry of a request that may have gone out
  bool connected = false;       // TLS is up and the request is about to go out
  bool headers_done = false;    // the final reply's headers ended
  uint32_t reply_status = 0;    // of the reply whose headers are being read
  std::string content_length;   // of that reply, as first given
  bool length_conflict = false;
  bool too_large = false;
  bool body_local = false;
  bool timed_out = false;
  bool aborted = false;
  curl_off_t last_up = -1;
  curl_off_t last_down = -1;
  Clock::time_point last_activity{};
};

// libcurl tries a request again, on a new connection, when a reused one died
// before any byte of a reply. That is sound only when no byte of the request
// went out on it, and only once.
int OnPrerequest(void* clientp, char*, char*, int, int) {
  auto* t = static_cast<Transfer*>(clientp);
  if (++t->attempts > 1) {
    curl_off_t sent = 1;
    if (t->attempts > 2 || curl_easy_getinfo(t->handle, CURLINFO_REQUEST_SIZE, &sent) != CURLE_OK || sent != 0) {
      t->retry_refused = true;
      return CURL_PREREQFUNC_ABORT;
    }
  }
  t->connected = true;
  t->last_activity = Clock::now();
  return CURL_PREREQFUNC_OK;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != prefix[i]) return false;
  }
  return true;
}

// Keeps the first Content-Length of a reply; false when a member of this
// field (a list is allowed) differs from it.
[[nodiscard]] bool SameContentLength(std::string_view value, std::string* first) {
  while (!value.empty()) {
    const size_t comma = value.find(',');
    std::string_view member = value.substr(0, comma);
    value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
    const size_t from = member.find_first_not_of(" \t\r\n");
    if (from == std::string_view::npos) continue;
    member = member.substr(from, member.find_last_not_of(" \t\r\n") - from + 1);
    if (first->empty()) {
      first->assign(member);
    } else if (member != *first) {
      return false;
    }
  }
  return true;
}

// The status of a status line: exactly three digits after the version and
// one space, then a space or the line's end. 0 (unread) for anything else, so
// that the reply's headers never end and the exchange fails as a receive failure.
uint32_t StatusOfLine(std::string_view line) {
  const size_t space = line.find(' ');
  if (space == std::string_view::npos || line.size() - space < 4) return 0;
  uint32_t status = 0;
  for (const char c : line.substr(space + 1, 3)) {
    if (c < '0' || c > '9') return 0;
    status = status * 10 + static_cast<uint32_t>(c - '0');
  }
  const std::string_view rest = line.substr(space + 4);
  if (!rest.empty() && rest[0] != ' ' && rest[0] != '\r' && rest[0] != '\n') return 0;
  return status;
}

size_t OnHeader(char* data, size_t size, size_t count, void* userdata) {
  auto* t = static_cast<Transfer*>(userdata);
  const size_t n = size * count;
  t->last_activity = Clock::now();
  const std::string_view line(data, n);
  if (line.rfind("HTTP/", 0) == 0) {
    t->reply_status = StatusOfLine(line);
    t->content_length.clear();
  } else if (StartsWithNoCase(line, "content-length:")) {
    if (!SameContentLength(line.substr(15), &t->content_length)) {
      t->length_conflict = true;
      return 0;  // HTTP/1.1: a reply with differing lengths is refused
    }
  } else if (line == "\r\n" || line == "\n") {
    if (t->reply_status >= 200) t->headers_done = true;
  }
  return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* userdata) {
  auto* t = static_cast<Transfer*>(userdata);
  const size_t n = size * count;
  t->last_activity = Clock::now();
  if (n > t->request->body_cap - t->body->size()) {
    t->too_large = true;
    return 0;  // refuses the byte past the cap
  }
  if (!t->body->Append(data, n)) {
    t->body_local = true;
    return 0;
  }
  return n;
}

// The idle watchdog: libcurl calls this at least once a second.
int OnProgress(void* clientp, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
  auto* t = static_cast<Transfer*>(clientp);
  if (t->request->abort != nullptr && t->request->abort->load()) {
    t->aborted = true;
    return 1;
  }
  if (!t->connected) return 0;  // the connect timeout covers this part
  const Clock::time_point now = Clock::now();
  if (dlnow != t->last_down || ulnow != t->last_up) {
    t->last_down = dlnow;
    t->last_up = ulnow;
    t->last_activity = now;
  }
  const bool sending = static_cast<size_t>(ulnow) < t->request->body.size() && !t->headers_done;
  const uint32_t limit_ms = sending ? t->request->send_timeout_ms : t->request->receive_timeout_ms;
  if (now - t->last_activity > std::chrono::milliseconds(limit_ms)) {
    t->timed_out = true;
    return 1;
  }
  return 0;
}

bool IsTlsError(CURLcode code) {
  switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
      return true;
    default:
      return false;
  }
}

uint32_t ErrorNumber(CURLcode code, bool timed_out) {
  if (timed_out || code == CURLE_OPERATION_TIMEDOUT) return 12002;
  if (IsTlsError(code)) return 12175;
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST: return 12007;
    case CURLE_COULDNT_CONNECT: return 12029;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
      return 12152;
    default:
      return 12030;
  }
}

// Failures that happen before the request is out, whatever the progress says.
bool IsSendStepError(CURLcode code) {
  return IsTlsError(code) || code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_CONNECT ||
         code == CURLE_SEND_ERROR;
}

HttpsResponse Fail(HttpsFailure failure, uint32_t error, size_t header = 0) {
  HttpsResponse response;
  response.failure = failure;
  response.failed_header = header;
  last_error = error;
  return response;
}

// The failure of a request that reached curl_easy_perform.
HttpsResponse FailAfterSend(CURLcode code, const Transfer& transfer, CURL* h, const HttpsRequest& request) {
  if (transfer.too_large || code == CURLE_FILESIZE_EXCEEDED) return Fail(HttpsFailure::kTooLarge, 0);
  if (transfer.body_local) return Fail(HttpsFailure::kBodyLocal, 8);
  if (transfer.retry_refused) return Fail(HttpsFailure::kReceive, 12030);
  if (transfer.length_conflict) return Fail(HttpsFailure::kReceive, 12152);
  const uint32_t error = ErrorNumber(code, transfer.timed_out);
  curl_off_t uploaded = 0;
  curl_easy_getinfo(h, CURLINFO_SIZE_UPLOAD_T, &uploaded);
  const bool request_out =
      transfer.connected && !IsSendStepError(code) && static_cast<size_t>(uploaded) >= request.body.size();
  if (!request_out) return Fail(HttpsFailure::kSend, error);
  if (!transfer.headers_done) return Fail(HttpsFailure::kReceive, error);
  return Fail(HttpsFailure::kBodyNetwork, error);
}

// The outcome of a request that reached curl_easy_perform; `response` holds its body.
HttpsResponse Finish(CURLcode code, const Transfer& transfer, CURL* h, const HttpsRequest& request,
                     HttpsResponse* response) {
  if (code != CURLE_OK) {
    response->body.Release();
    if (transfer.aborted) return Fail(HttpsFailure::kSend, 12017);
    HttpsResponse failed = FailAfterSend(code, transfer, h, request);
    failed.status_read = transfer.headers_done ? transfer.reply_status : 0;
    return failed;
  }
  if (!transfer.headers_done) {
    // The connection ended inside the header block: nothing was answered.
    response->body.Release();
    return Fail(HttpsFailure::kReceive, 12030);
  }
  long status = 0;
  if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status <= 0) {
    response->body.Release();
    return Fail(HttpsFailure::kStatus, 12152);
  }
  response->status = static_cast<uint32_t>(status);
  response->status_read = response->status;
  last_error = 0;
  return std::move(*response);
}

// Sets every option of one request; false when libcurl refuses one.
[[nodiscard]] bool PrepareRequest(CURL* h, const HttpsRequest& request, const std::string& url, Transfer* transfer,
                    curl_slist* connect_to, const std::string& trust_pem) {
  bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2)) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, OnSslContext) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_PROXY, "") == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_USERAGENT, request.user_agent.c_str()) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connect_timeout_ms)) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, OnPrerequest) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_PREREQDATA, transfer) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_HEADERDATA, transfer) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_WRITEDATA, transfer) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_XFERINFODATA, transfer) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_CONNECT_TO, connect_to) == CURLE_OK;
  if (!ok) return false;
  if (trust_pem.empty()) {
    ok = curl_easy_setopt(h, CURLOPT_CAINFO, kTrustBundle) == CURLE_OK &&
         curl_easy_setopt(h, CURLOPT_CAPATH, nullptr) == CURLE_OK;
  } else {
    curl_blob blob{const_cast<char*>(trust_pem.data()), trust_pem.size(), CURL_BLOB_COPY};
    ok = curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob) == CURLE_OK &&
         curl_easy_setopt(h, CURLOPT_CAINFO, nullptr) == CURLE_OK &&
         curl_easy_setopt(h, CURLOPT_CAPATH, nullptr) == CURLE_OK;
  }
  if (!ok) return false;
  if (request.method == "GET" && request.body.empty()) {
    ok = curl_easy_setopt(h, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  } else {
    // POSTFIELDS (a pointer, not a copy) and its size: an empty POST still
    // sends "Content-Length: 0"; a GET with a body sends it as WinHTTP does.
    ok = curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.empty() ? "" : request.body.data()) == CURLE_OK &&
         curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size())) == CURLE_OK;
    if (ok && request.method != "POST") ok = curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str()) == CURLE_OK;
  }
  return ok;
}

}  // namespace

void InitializeNetwork() {
  static std::once_flag once;
  std::call_once(once, [] {
    ::signal(SIGPIPE, SIG_IGN);
    curl_global_init(CURL_GLOBAL_DEFAULT);
  });
}

bool HeaderLineSafe(std::string_view line) {
  return line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// A kept connection with unread input (a stale reply, or its end) is never
// handed to a new request: libcurl would take those bytes as the reply.
bool InputPending(int socket) {
  pollfd entry{socket, POLLIN, 0};
  return ::poll(&entry, 1, 0) != 0;  // readable, ended, failed, or poll itself failed
}

uint32_t LastError() { return last_error; }

void SetLastError(uint32_t error) { last_error = error; }

HttpsConnection::HttpsConnection() = default;

HttpsConnection::~HttpsConnection() { Close(); }

void HttpsConnection::Close() {
  if (handle_ != nullptr) curl_easy_cleanup(static_cast<CURL*>(handle_));
  handle_ = nullptr;
  kept_socket_ = -1;
}

HttpsResponse HttpsConnection::Send(const HttpsRequest& request) {
  try {
    InitializeNetwork();
    if (request.host != host_ || request.port != port_) {
      Close();
      host_ = request.host;
      port_ = request.port;
    }
    if (kept_socket_ >= 0 && InputPending(kept_socket_)) Close();
    if (handle_ == nullptr) {
      if (!hooks::TakeHandleFailure()) handle_ = curl_easy_init();
      if (handle_ == nullptr) return Fail(HttpsFailure::kHandle, 12001);
    }
    if (!HostAllowed(request.host) || request.port == 0) return Fail(HttpsFailure::kHostRefused, 87);
    auto* h = static_cast<CURL*>(handle_);
    // Each request starts from the defaults; the live connection stays.
    curl_easy_reset(h);

    HttpsResponse response;
    Transfer transfer;
    transfer.request = &request;
    transfer.body = &response.body;
    transfer.handle = h;
    HeaderList connect_to;
    for (const std::string& entry : hooks::ConnectOverrides()) {
      if (!connect_to.Append(entry)) return Fail(HttpsFailure::kRequest, 12001);
    }
    const std::string url = "https://" + request.host + ":" + std::to_string(request.port) + EncodePath(request.path);
    if (!HeaderLineSafe(request.user_agent)) return Fail(HttpsFailure::kRequest, 87);
    if (hooks::TakeRequestFailure() ||
        !PrepareRequest(h, request, url, &transfer, connect_to.get(), hooks::TrustAnchorsPem())) {
      return Fail(HttpsFailure::kRequest, 12001);
    }
    if (hooks::TakeRedirectPolicyFailure() || curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) != CURLE_OK) {
      return Fail(HttpsFailure::kRedirectPolicy, 12001);
    }
    HeaderList headers;
    for (size_t i = 0; i < request.headers.size(); ++i) {
      if (!HeaderLineSafe(request.headers[i])) return Fail(HttpsFailure::kHeader, 87, i);
      if (hooks::TakeHeaderFailure(request.headers[i]) || !headers.Append(request.headers[i])) {
        return Fail(HttpsFailure::kHeader, 12001, i);
      }
    }
    // Our own list replaces libcurl's Accept and Content-Type; an empty
    // "Expect:" keeps it from asking for 100-continue.
    if (!headers.Append("Expect:") || curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) != CURLE_OK) {
      return Fail(HttpsFailure::kRequest, 12001);
    }

    const CURLcode code = curl_easy_perform(h);
    curl_socket_t kept = CURL_SOCKET_BAD;
    kept_socket_ = curl_easy_getinfo(h, CURLINFO_ACTIVESOCKET, &kept) == CURLE_OK && kept != CURL_SOCKET_BAD ? kept : -1;
    // Nothing of this request may be reused by the next one.
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(h, CURLOPT_CONNECT_TO, nullptr);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, nullptr);
    return Finish(code, transfer, h, request, &response);
  } catch (...) {
    // Only an allocation can throw here; it fails the request as prepared so far.
    return Fail(HttpsFailure::kRequest, 8);
  }
}

}  // namespace platform
