#include "quarnkit/http/detail/curl_engine.h"

#include <curl/curl.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quarnkit/platform/runtime/async.h"

namespace quarn::http::detail {

namespace asio = boost::asio;

namespace {

// One socket libcurl asked us to watch. The descriptor borrows libcurl's fd:
// it is released, never closed, when libcurl says it is done with it.
struct SocketWatch {
  SocketWatch(asio::io_context& io, curl_socket_t s) : descriptor(io, s), fd(s) {}
  asio::posix::stream_descriptor descriptor;
  curl_socket_t fd;
  int wanted = 0;
  bool reading = false;
  bool writing = false;
  bool removed = false;
};

using Clock = asio::steady_timer::clock_type;

// The most redirects one transfer follows.
constexpr int kMaxRedirects = 16;
// The most header bytes one response may have in all, as libcurl allows
// (one field may have at most CURL_MAX_HTTP_HEADER): the engine refuses the
// response itself, so that the failure says what it is.
constexpr std::size_t kMaxHeaderBytes = 300 * 1024;

struct Transfer {
  explicit Transfer(asio::io_context& io) : limitTimer(io) {}

  Engine::TransferId id = 0;
  TransferSetup setup;
  CURL* easy = nullptr;  // made when the transfer is first handed to libcurl
  curl_slist* headers = nullptr;
  std::shared_ptr<TransferSink> sink;
  std::string origin;       // the host the transfer counts against
  bool admitted = false;    // handed to libcurl (or about to be)
  bool inMulti = false;     // added to the multi handle
  bool parked = false;      // suspended before it had a connection: held back
  bool everPaused = false;  // its handle is not used again
  std::int64_t reportedReceived = -1;
  std::int64_t reportedExpected = -2;
  char errorBuffer[CURL_ERROR_SIZE] = {};

  // The response being read: its status, whether it names a Location,
  // whether its header fields are all in, its header bytes so far, and
  // whether it is a redirect the engine follows (its body is dropped).
  int status = 0;
  bool hasLocation = false;
  bool headersDone = false;
  std::size_t headerBytes = 0;
  bool headersTooLarge = false;
  bool redirecting = false;
  int redirects = 0;
  // What the transfer still sends after a redirect that changed it: the
  // method, whether the body goes, and the header fields.
  HTTPMethod method;
  bool sendsBody = false;
  HTTPHeaders headerFields;

  // Time limits: the idle clock runs once the transfer has its connection
  // and is not paused; any byte moved, either way, restarts it.
  asio::steady_timer limitTimer;
  bool limitArmed = false;
  Clock::time_point limitExpiry;
  Clock::time_point started;
  Clock::time_point lastActivity;
  bool watchingIdle = false;
  bool connected = false;
  bool paused = false;
  Engine::Impl* owner = nullptr;
  std::int64_t moved = 0;  // body bytes both ways, as last seen

  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() {
    if (easy != nullptr) curl_easy_cleanup(easy);
    if (headers != nullptr) curl_slist_free_all(headers);
  }
};

void initializeCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      throw std::runtime_error("libcurl could not be initialised");
    }
  });
}

// Loopback addresses never go through a proxy; the environment's exceptions
// are kept.
const std::string& noProxyList() {
  static const std::string list = [] {
    const char* env = std::getenv("no_proxy");
    if (env == nullptr) env = std::getenv("NO_PROXY");
    std::string out = env != nullptr ? env : "";
    if (out == "*") return out;
    if (!out.empty()) out += ",";
    return out + "localhost,127.0.0.1,::1";
  }();
  return list;
}

// The authority of `url` ("host:port", letter case folded, user info
// dropped): the transfers of one origin share its connection limit.
std::string originOf(std::string_view url) {
  const auto schemeEnd = url.find("://");
  if (schemeEnd != std::string_view::npos) url.remove_prefix(schemeEnd + 3);
  url = url.substr(0, url.find_first_of("/?#"));
  if (const auto at = url.rfind('@'); at != std::string_view::npos) url.remove_prefix(at + 1);
  std::string out(url);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// "scheme://host:port" of `url`, letter case folded and the port made
// explicit: whether a redirect leaves the origin its request was meant for.
std::string fullOriginOf(const URL& url) {
  std::string scheme = url.scheme();
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string host = url.host().value_or("");
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const int port = url.port().value_or(scheme == "https" ? 443 : scheme == "http" ? 80 : 0);
  return scheme + "://" + host + ":" + std::to_string(port);
}

// "2.5 s" for a limit in seconds.
std::string secondsText(double seconds) {
  std::string text = std::to_string(seconds);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text + " s";
}

TransportError transportError(CURLcode code, const char* detail) {
  using Code = TransportError::Code;
  Code c = Code::unknown;
  switch (code) {
    case CURLE_COULDNT_CONNECT:
      c = Code::cannotConnectToHost;
      break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      c = Code::cannotFindHost;
      break;
    case CURLE_OPERATION_TIMEDOUT:
      c = Code::timedOut;
      break;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
      c = Code::networkConnectionLost;
      break;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
      c = Code::badServerResponse;
      break;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      c = Code::unsupportedURL;
      break;
    case CURLE_TOO_MANY_REDIRECTS:
      c = Code::tooManyRedirects;
      break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
      c = Code::secureConnectionFailed;
      break;
    case CURLE_WRITE_ERROR:
      c = Code::cannotWriteToFile;
      break;
    case CURLE_FILESIZE_EXCEEDED:
      c = Code::dataLengthExceedsMaximum;
      break;
    default:
      break;
  }
  std::string text = detail != nullptr && *detail != '\0' ? detail : curl_easy_strerror(code);
  return {c, std::move(text)};
}

}  // namespace

struct Engine::Impl : std::enable_shared_from_this<Engine::Impl> {
  explicit Impl(long maxConnectionsPerHost)
      : multi(curl_multi_init()),
        admittedPerOrigin(
            maxConnectionsPerHost > 0 ? static_cast<std::size_t>(maxConnectionsPerHost) * 2 : 0) {
    if (multi == nullptr) throw std::runtime_error("libcurl could not make a multi handle");
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &Impl::onSocket);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &Impl::onTimer);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, maxConnectionsPerHost);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  ~Impl() {
    curl_multi_cleanup(multi);
    for (auto& [fd, w] : sockets) unwatch(*w);
    for (CURL* e : spareHandles) curl_easy_cleanup(e);
  }

  asio::io_context& io = mainContext();
  CURLM* multi;
  asio::steady_timer timer{io};
  std::optional<Clock::time_point> deadline;  // when libcurl wants its timeout action
  Clock::time_point timerExpiry;              // when `timer` fires, while armed
  bool timerArmed = false;
  bool kickPosted = false;
  std::unordered_map<curl_socket_t, std::shared_ptr<SocketWatch>> sockets;
  std::unordered_map<TransferId, std::unique_ptr<Transfer>> transfers;
  // libcurl keeps the transfers waiting for a connection in a list that it
  // walks whenever any transfer is removed, so a long queue costs time
  // quadratic in its length. Transfers beyond twice the connection limit of
  // their origin wait here instead, in order; libcurl still enforces the
  // limit itself. 0: no limit, nothing waits here.
  struct Origin {
    std::size_t admitted = 0;
    std::deque<TransferId> waiting;  // may hold ids no longer waiting
  };
  const std::size_t admittedPerOrigin;
  std::unordered_map<std::string, Origin> origins;
  // Handles of transfers that ended well, reset, for the next transfers:
  // making one is a large allocation.
  static constexpr std::size_t kSpareHandles = 8;
  std::vector<CURL*> spareHandles;
  TransferId nextId = 1;
  int inCurl = 0;
  bool shuttingDown = false;

  // Runs `work` now, or later on the main context when called from inside
  // libcurl (where handles must not be added or removed).
  void outsideCurl(std::function<void()> work) {
    if (inCurl == 0) {
      work();
      return;
    }
    asio::post(io, [weak = weak_from_this(), work = std::move(work)] {
      if (auto self = weak.lock()) self->outsideCurl(work);
    });
  }

  static int onSocket(CURL*, curl_socket_t s, int what, void* userp, void*) {
    // Nothing may be thrown through libcurl: a socket that cannot be watched
    // fails its transfer.
    try {
      static_cast<Impl*>(userp)->watch(s, what);
      return 0;
    } catch (...) {
      return -1;
    }
  }

  static int onTimer(CURLM*, long timeoutMs, void* userp) {
    static_cast<Impl*>(userp)->setTimer(timeoutMs);
    return 0;
  }

  static std::size_t onWrite(char* data, std::size_t size, std::size_t count, void* userp) {
    auto* t = static_cast<Transfer*>(userp);
    const std::size_t bytes = size * count;
    t->lastActivity = Clock::now();
    if (t->redirecting) return bytes;
    return t->sink->receive(std::string_view(data, bytes)) ? bytes : 0;
  }

  // Each header line of each response (redirects included): notes the
  // status, the Location, the end of the fields and their size.
  static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* userp) {
    auto* t = static_cast<Transfer*>(userp);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    t->lastActivity = Clock::now();
    if (line.starts_with("HTTP/")) {
      t->status = 0;
      const auto space = line.find(' ');
      if (space != std::string_view::npos) {
        for (std::size_t i = space + 1; i < line.size() && i < space + 4; ++i) {
          if (line[i] < '0' || line[i] > '9') break;
          t->status = t->status * 10 + (line[i] - '0');
        }
      }
      t->hasLocation = false;
      t->headersDone = false;
      t->redirecting = false;
      t->headerBytes = 0;
    } else if (line == "\r\n" || line == "\n") {
      t->headersDone = true;
      t->redirecting = t->hasLocation && isFollowed(t->status);
      if (!t->redirecting && t->status >= 200) {
        const std::optional<HTTPURLResponse> response = responseOf(*t);
        if (response && !t->sink->head(*response)) return 0;
      }
    } else if (line.size() > 9 && headerNamesEqual(line.substr(0, 9), "location:")) {
      t->hasLocation = true;
    }
    t->headerBytes += bytes;
    if (t->headerBytes > kMaxHeaderBytes) {
      t->headersTooLarge = true;
      return 0;
    }
    return bytes;
  }

  static bool isFollowed(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
  }

  // The connection is there (made or reused): the idle clock starts.
  static int onConnected(void* userp, char*, char*, int, int) {
    auto* t = static_cast<Transfer*>(userp);
    t->connected = true;
    t->lastActivity = Clock::now();
    t->watchingIdle = !t->paused;
    t->owner->armLimit(*t);
    return CURL_PREREQFUNC_OK;
  }

  static int onProgress(void* userp, curl_off_t total, curl_off_t now, curl_off_t,
                        curl_off_t sent) {
    auto* t = static_cast<Transfer*>(userp);
    if (const std::int64_t moved = now + sent; moved != t->moved) {
      t->moved = moved;
      t->lastActivity = Clock::now();
    }
    // A redirect's body is not the response's: only the final response
    // counts.
    if (t->redirecting) return 0;
    std::int64_t expected = total > 0 ? total : -1;
    if (expected < 0) {
      curl_off_t length = -1;
      if (curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
          length >= 0) {
        expected = length;
      }
    }
    if (now != t->reportedReceived || expected != t->reportedExpected) {
      t->reportedReceived = now;
      t->reportedExpected = expected;
      t->sink->progress(now, expected);
    }
    return 0;
  }

  static void unwatch(SocketWatch& w) {
    w.removed = true;
    boost::system::error_code ignored;
    w.descriptor.cancel(ignored);
    (void)w.descriptor.release();
  }

  void watch(curl_socket_t s, int what) {
    auto it = sockets.find(s);
    if (what == CURL_POLL_REMOVE) {
      if (it != sockets.end()) {
        unwatch(*it->second);
        sockets.erase(it);
      }
      return;
    }
    if (shuttingDown) return;
    if (it == sockets.end()) it = sockets.emplace(s, std::make_shared<SocketWatch>(io, s)).first;
    it->second->wanted = what;
    arm(it->second);
  }

  void arm(const std::shared_ptr<SocketWatch>& w) {
    if ((w->wanted & CURL_POLL_IN) != 0 && !w->reading) {
      w->reading = true;
      w->descriptor.async_wait(
          asio::posix::descriptor_base::wait_read,
          [weak = weak_from_this(), w](const boost::system::error_code& error) {
            w->reading = false;
            ready(weak, w, error, CURL_POLL_IN, CURL_CSELECT_IN);
          });
    }
    if ((w->wanted & CURL_POLL_OUT) != 0 && !w->writing) {
      w->writing = true;
      w->descriptor.async_wait(
          asio::posix::descriptor_base::wait_write,
          [weak = weak_from_this(), w](const boost::system::error_code& error) {
            w->writing = false;
            ready(weak, w, error, CURL_POLL_OUT, CURL_CSELECT_OUT);
          });
    }
  }

  static void ready(const std::weak_ptr<Impl>& weak, const std::shared_ptr<SocketWatch>& w,
                    const boost::system::error_code& error, int poll, int select) {
    if (error || w->removed) return;
    const auto self = weak.lock();
    if (!self || self->shuttingDown) return;
    if ((w->wanted & poll) != 0) self->action(w->fd, select);
    if (!w->removed) self->arm(w);
  }

  // libcurl moves its timer at nearly every call (each added handle asks
  // for "at once"), and each move of an Asio timer resets the reactor's
  // timer descriptor, a system call. So the wanted deadline is only noted:
  // "at once" is a posted call, and the timer moves only when the deadline
  // comes earlier than it is set for; when it fires early it is set again.
  void setTimer(long timeoutMs) {
    if (timeoutMs < 0 || shuttingDown) {
      deadline.reset();
      if (timerArmed) {
        timerArmed = false;
        timer.cancel();
      }
      return;
    }
    deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (timeoutMs == 0) {
      if (!kickPosted) {
        kickPosted = true;
        asio::post(io, [weak = weak_from_this()] {
          if (auto self = weak.lock()) {
            self->kickPosted = false;
            self->timeUp();
          }
        });
      }
      return;
    }
    if (!timerArmed || timerExpiry > *deadline) armTimer(*deadline);
  }

  void armTimer(Clock::time_point expiry) {
    timerArmed = true;
    timerExpiry = expiry;
    timer.expires_at(expiry);
    timer.async_wait([weak = weak_from_this()](const boost::system::error_code& error) {
      if (error) return;
      if (auto self = weak.lock()) {
        self->timerArmed = false;
        self->timeUp();
      }
    });
  }

  // libcurl's deadline may have come: act on it, or wait on for it.
  void timeUp() {
    if (!deadline || shuttingDown) return;
    if (*deadline > Clock::now()) {
      if (!timerArmed || timerExpiry > *deadline) armTimer(*deadline);
      return;
    }
    deadline.reset();
    action(CURL_SOCKET_TIMEOUT, 0);
  }

  void action(curl_socket_t s, int select) {
    int running = 0;
    ++inCurl;
    curl_multi_socket_action(multi, s, select, &running);
    --inCurl;
    finishDone();
  }

  // Hands every finished transfer to its sink.
  void finishDone() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      Transfer* raw = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &raw);
      const CURLcode code = message->data.result;
      if (raw == nullptr) continue;
      auto it = transfers.find(raw->id);
      if (it == transfers.end()) continue;
      if (code == CURLE_OK && it->second->redirecting) {
        if (auto refused = follow(*it->second)) {
          fail(raw->id, std::move(*refused));
        }
        continue;
      }
      std::unique_ptr<Transfer> t = std::move(it->second);
      transfers.erase(it);
      TransferOutcome outcome;
      outcome.response = responseOf(*t);
      if (code != CURLE_OK) outcome.error = failureOf(*t, code);
      remove(*t);
      if (code == CURLE_OK) recycle(*t);
      leave(*t);
      t->sink->complete(std::move(outcome));
    }
  }

  static TransportError failureOf(const Transfer& t, CURLcode code) {
    // Header fields past the limit: refused by onHeader, or by libcurl
    // itself for one field too long (it then says it is out of memory).
    if (t.headersTooLarge) {
      return {TransportError::Code::responseHeadersTooLarge,
              "more than " + std::to_string(kMaxHeaderBytes / 1024) + " KiB in all"};
    }
    if (code == CURLE_OUT_OF_MEMORY && !t.headersDone && t.status > 0) {
      return {TransportError::Code::responseHeadersTooLarge,
              "a field of more than " + std::to_string(CURL_MAX_HTTP_HEADER / 1024) + " KiB"};
    }
    return transportError(code, t.errorBuffer);
  }

  // Ends a transfer that is still running with `error` (a time limit, a
  // redirect refused). Outside libcurl only.
  void fail(TransferId id, TransportError error) {
    auto node = transfers.extract(id);
    if (node.empty()) return;
    Transfer& t = *node.mapped();
    TransferOutcome outcome;
    outcome.response = responseOf(t);
    outcome.error = std::move(error);
    remove(t);
    leave(t);
    t.sink->complete(std::move(outcome));
  }

  // Sends the transfer on to where its redirect points, on the same
  // handle: 303, and 301 or 302 after a POST, become a GET without the
  // body (HEAD stays HEAD); the header fields stay only within the origin
  // of the first URL. An error when the redirect is not followed.
  std::optional<TransportError> follow(Transfer& t) {
    char* location = nullptr;
    curl_easy_getinfo(t.easy, CURLINFO_REDIRECT_URL, &location);
    if (++t.redirects > kMaxRedirects) {
      return TransportError{TransportError::Code::tooManyRedirects,
                            "more than " + std::to_string(kMaxRedirects)};
    }
    std::optional<URL> next = location != nullptr ? URL::parse(location) : std::nullopt;
    if (!next) {
      return TransportError{TransportError::Code::badServerResponse, "a redirect to no valid URL"};
    }
    const std::string scheme = next->scheme();
    if (scheme != "http" && scheme != "https") {
      return TransportError{TransportError::Code::unsupportedURL,
                            "a redirect to " + next->absoluteString()};
    }
    remove(t);
    const bool toGet =
        t.method != HTTPMethod::head &&
        (t.status == 303 || ((t.status == 301 || t.status == 302) && t.method == HTTPMethod::post));
    if (toGet) {
      t.method = HTTPMethod::get;
      t.sendsBody = false;
    }
    if (fullOriginOf(*next) != fullOriginOf(t.setup.request.url)) {
      if (t.setup.headersStayWithOrigin) {
        t.headerFields = {};
      } else {
        t.headerFields.remove("Authorization");
        t.headerFields.remove("Cookie");
      }
    }
    if (toGet) t.headerFields.remove("Content-Type");
    curl_easy_setopt(t.easy, CURLOPT_URL, next->absoluteString().c_str());
    applyMethod(t);
    applyHeaders(t);
    t.status = 0;
    t.hasLocation = t.headersDone = t.redirecting = false;
    t.headerBytes = 0;
    t.moved = 0;
    t.reportedReceived = -1;
    t.reportedExpected = -2;
    t.errorBuffer[0] = '\0';
    t.lastActivity = Clock::now();
    ++inCurl;
    const CURLMcode added = curl_multi_add_handle(multi, t.easy);
    --inCurl;
    t.inMulti = added == CURLM_OK;
    if (!t.inMulti)
      return TransportError{TransportError::Code::unknown, curl_multi_strerror(added)};
    return std::nullopt;
  }

  // The next moment a time limit of `t` may be up, and a wait for it unless
  // one comes sooner.
  void armLimit(Transfer& t) {
    std::optional<Clock::time_point> due;
    if (t.setup.totalTimeout) due = t.started + toDuration(*t.setup.totalTimeout);
    if (t.watchingIdle && idleLimited(t)) {
      const auto idleDue = t.lastActivity + toDuration(idleSeconds(t));
      if (!due || idleDue < *due) due = idleDue;
    }
    if (!due || (t.limitArmed && t.limitExpiry <= *due)) return;
    t.limitArmed = true;
    t.limitExpiry = *due;
    t.limitTimer.expires_at(*due);
    t.limitTimer.async_wait(
        [weak = weak_from_this(), id = t.id](const boost::system::error_code& error) {
          if (error) return;
          if (auto self = weak.lock()) self->limitDue(id);
        });
  }

  void limitDue(TransferId id) {
    auto it = transfers.find(id);
    if (it == transfers.end() || shuttingDown) return;
    Transfer& t = *it->second;
    t.limitArmed = false;
    const auto now = Clock::now();
    if (t.setup.totalTimeout && now >= t.started + toDuration(*t.setup.totalTimeout)) {
      fail(id, {TransportError::Code::timedOut,
                "more than " + secondsText(*t.setup.totalTimeout) + " in all"});
      return;
    }
    if (t.watchingIdle && idleLimited(t) && now >= t.lastActivity + toDuration(idleSeconds(t))) {
      fail(id, {TransportError::Code::timedOut, "no data for " + secondsText(idleSeconds(t))});
      return;
    }
    armLimit(t);
  }

  static double idleSeconds(const Transfer& t) {
    return t.setup.request.timeoutInterval.value_or(t.setup.idleTimeout);
  }
  static bool idleLimited(const Transfer& t) {
    const double idle = idleSeconds(t);
    return idle > 0 && std::isfinite(idle);
  }
  static Clock::duration toDuration(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::min(seconds, 1e9)));
  }

  static std::optional<HTTPURLResponse> responseOf(const Transfer& t) {
    if (t.easy == nullptr) return std::nullopt;  // never went to libcurl
    long status = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    if (status <= 0) return std::nullopt;
    HTTPURLResponse response;
    response.statusCode = static_cast<int>(status);
    char* effective = nullptr;
    curl_easy_getinfo(t.easy, CURLINFO_EFFECTIVE_URL, &effective);
    if (effective != nullptr) {
      // Mostly the URL asked for: no need to parse it again.
      if (t.setup.request.url.absoluteString() == effective) {
        response.url = t.setup.request.url;
      } else if (auto url = URL::parse(effective)) {
        response.url = *url;
      }
    }
    struct curl_header* previous = nullptr;
    while (struct curl_header* h = curl_easy_nextheader(t.easy, CURLH_HEADER, -1, previous)) {
      response.headers.add(h->name, h->value);
      previous = h;
    }
    return response;
  }

  void remove(Transfer& t) {
    if (!t.inMulti) return;
    t.inMulti = false;
    ++inCurl;
    curl_multi_remove_handle(multi, t.easy);
    --inCurl;
  }

  TransferId start(TransferSetup setup, std::shared_ptr<TransferSink> sink) {
    auto t = std::make_unique<Transfer>(io);
    t->id = nextId++;
    t->owner = this;
    t->setup = std::move(setup);
    t->sink = std::move(sink);
    t->started = Clock::now();
    t->method = t->setup.request.method;
    t->sendsBody = !t->setup.request.body.empty() || t->method == HTTPMethod::post;
    t->headerFields = t->setup.request.headers;
    if (t->setup.totalTimeout) armLimit(*t);
    if (admittedPerOrigin > 0) t->origin = originOf(t->setup.request.url.absoluteString());
    const TransferId id = t->id;
    Transfer& added = *t;
    transfers.emplace(id, std::move(t));
    enqueue(added);
    return id;
  }

  // Keeps the handle of a transfer that ended well for another one.
  void recycle(Transfer& t) {
    if (t.everPaused || spareHandles.size() >= kSpareHandles) return;
    curl_easy_reset(t.easy);
    spareHandles.push_back(std::exchange(t.easy, nullptr));
  }

  // Hands the transfer to libcurl, or lines it up behind the others of its
  // origin.
  void enqueue(Transfer& t) {
    if (admittedPerOrigin == 0) {
      admit(t);
      return;
    }
    Origin& origin = origins[t.origin];
    if (origin.admitted < admittedPerOrigin && origin.waiting.empty()) {
      ++origin.admitted;
      admit(t);
    } else {
      origin.waiting.push_back(t.id);
    }
  }

  // Hands the transfer to libcurl.
  void admit(Transfer& t) {
    t.admitted = true;
    outsideCurl([weak = weak_from_this(), id = t.id, raw = &t] {
      const auto self = weak.lock();
      // Taken back or already added meanwhile: nothing to do.
      if (!self || !self->transfers.contains(id) || !raw->admitted || raw->inMulti) return;
      CURLMcode added = CURLM_OUT_OF_MEMORY;
      if (self->prepare(*raw)) {
        ++self->inCurl;
        added = curl_multi_add_handle(self->multi, raw->easy);
        --self->inCurl;
        raw->inMulti = added == CURLM_OK;
      }
      if (added != CURLM_OK) {
        auto node = self->transfers.extract(id);
        self->leave(*node.mapped());
        node.mapped()->sink->complete({std::nullopt, TransportError{TransportError::Code::unknown,
                                                                    curl_multi_strerror(added)}});
      }
    });
  }

  // Gives the transfer its handle, set up, on its first way to libcurl.
  bool prepare(Transfer& t) {
    if (t.easy != nullptr) return true;
    if (!spareHandles.empty()) {
      t.easy = spareHandles.back();
      spareHandles.pop_back();
    } else {
      t.easy = curl_easy_init();
      if (t.easy == nullptr) return false;
    }
    configure(t);
    return true;
  }

  // A transfer handed to libcurl has ended or was taken back: the next ones
  // waiting for its origin go.
  void leave(Transfer& t) {
    const bool admitted = std::exchange(t.admitted, false);
    if (!admitted || admittedPerOrigin == 0 || shuttingDown) return;
    auto it = origins.find(t.origin);
    if (it == origins.end()) return;
    Origin& origin = it->second;
    --origin.admitted;
    while (origin.admitted < admittedPerOrigin && !origin.waiting.empty()) {
      const TransferId next = origin.waiting.front();
      origin.waiting.pop_front();
      // Ids of transfers aborted, suspended or already let in since they
      // were lined up are passed over.
      if (auto waiting = transfers.find(next);
          waiting != transfers.end() && !waiting->second->parked && !waiting->second->admitted) {
        ++origin.admitted;
        admit(*waiting->second);
      }
    }
    if (origin.admitted == 0 && origin.waiting.empty()) origins.erase(it);
  }

  static void configure(Transfer& t) {
    CURL* e = t.easy;
    const TransferSetup& setup = t.setup;
    const URLRequest& r = setup.request;
    curl_easy_setopt(e, CURLOPT_URL, r.url.absoluteString().c_str());
    curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Impl::onConnected);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, &t);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_NOPROXY, noProxyList().c_str());
    curl_easy_setopt(e, CURLOPT_USERAGENT, "QuarnKit");
    // The connection must come within the idle limit; after that the
    // engine's own timer watches for bytes (libcurl's low-speed limit is an
    // average, which a slow trickle fails and an upload passes).
    const double idle = idleSeconds(t);
    if (idleLimited(t)) {
      const double ms = std::min(idle * 1000.0, 1e9);
      curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::ceil(ms)));
    }
    applyMethod(t);
    applyHeaders(t);
  }

  static void applyMethod(Transfer& t) {
    CURL* e = t.easy;
    const std::string& body = t.setup.request.body;
    if (t.method == HTTPMethod::get && t.redirects > 0) {
      curl_easy_setopt(e, CURLOPT_POSTFIELDS, nullptr);
      curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, nullptr);
      curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else if (t.method == HTTPMethod::head) {
      curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (t.method == HTTPMethod::post) {
      curl_easy_setopt(e, CURLOPT_POST, 1L);
    } else if (t.method != HTTPMethod::get) {
      curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, t.method.rawValue.c_str());
    }
    if (t.sendsBody) {
      curl_easy_setopt(e, CURLOPT_POSTFIELDS, body.data());
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
  }

  static void applyHeaders(Transfer& t) {
    if (t.headers != nullptr) curl_slist_free_all(std::exchange(t.headers, nullptr));
    for (const HTTPHeader& h : t.headerFields) {
      const std::string line = h.value.empty() ? h.name + ";" : h.name + ": " + h.value;
      t.headers = curl_slist_append(t.headers, line.c_str());
    }
    // Bodies go at once, without waiting for a "100 Continue".
    t.headers = curl_slist_append(t.headers, "Expect:");
    curl_easy_setopt(t.easy, CURLOPT_HTTPHEADER, t.headers);
  }

  // libcurl pauses only a transfer that has its connection; one still
  // waiting for a connection would run on regardless. Such a transfer is
  // taken back (it has sent nothing yet) and lined up again when it
  // continues.
  void pause(TransferId id, bool paused) {
    outsideCurl([weak = weak_from_this(), id, paused] {
      const auto self = weak.lock();
      if (!self) return;
      auto it = self->transfers.find(id);
      if (it == self->transfers.end()) return;
      Transfer& t = *it->second;
      // A paused transfer is not idle: its clock starts again when it
      // continues.
      t.paused = paused;
      t.watchingIdle = !paused && t.connected;
      t.lastActivity = Clock::now();
      if (!paused) self->armLimit(t);
      if (!paused) {
        if (t.parked) {
          t.parked = false;
          self->enqueue(t);
          return;
        }
        if (!t.inMulti) return;
      } else {
        if (!t.inMulti) {
          self->leave(t);
          t.parked = true;
          return;
        }
        t.everPaused = true;
      }
      ++self->inCurl;
      const CURLcode result = curl_easy_pause(t.easy, paused ? CURLPAUSE_ALL : CURLPAUSE_CONT);
      --self->inCurl;
      if (paused && result != CURLE_OK) {
        self->remove(t);
        t.parked = true;
        self->leave(t);
      }
      // Unpausing may have finished the transfer.
      self->finishDone();
    });
  }

  void abort(TransferId id) {
    outsideCurl([weak = weak_from_this(), id] {
      const auto self = weak.lock();
      if (!self) return;
      auto node = self->transfers.extract(id);
      if (node.empty()) return;
      self->remove(*node.mapped());
      self->leave(*node.mapped());
    });
  }

  void shutdown() {
    shuttingDown = true;
    std::vector<std::shared_ptr<TransferSink>> sinks;
    for (auto& [id, t] : transfers) {
      remove(*t);
      sinks.push_back(t->sink);
    }
    transfers.clear();
    timer.cancel();
    for (auto& [fd, w] : sockets) unwatch(*w);
    sockets.clear();
    for (const auto& sink : sinks) sink->abandon();
  }
};

Engine::Engine(long maxConnectionsPerHost) {
  initializeCurlOnce();
  impl_ = std::make_shared<Impl>(maxConnectionsPerHost);
}

std::shared_ptr<Engine> Engine::make(long maxConnectionsPerHost) {
  return std::shared_ptr<Engine>(new Engine(maxConnectionsPerHost));
}

Engine::~Engine() { impl_->shutdown(); }

Engine::TransferId Engine::start(TransferSetup setup, std::shared_ptr<TransferSink> sink) {
  return impl_->start(std::move(setup), std::move(sink));
}

void Engine::pause(TransferId id, bool paused) { impl_->pause(id, paused); }

void Engine::abort(TransferId id) { impl_->abort(id); }

std::size_t Engine::transferCount() const { return impl_->transfers.size(); }

}  // namespace quarn::http::detail
