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

struct Transfer {
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

  Transfer() = default;
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
  using Clock = asio::steady_timer::clock_type;
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
    return t->sink->receive(std::string_view(data, bytes)) ? bytes : 0;
  }

  static int onProgress(void* userp, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(userp);
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
      std::unique_ptr<Transfer> t = std::move(it->second);
      transfers.erase(it);
      TransferOutcome outcome;
      outcome.response = responseOf(*t);
      if (code != CURLE_OK) outcome.error = transportError(code, t->errorBuffer);
      remove(*t);
      if (code == CURLE_OK) recycle(*t);
      leave(*t);
      t->sink->complete(std::move(outcome));
    }
  }

  static std::optional<HTTPURLResponse> responseOf(const Transfer& t) {
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
    auto t = std::make_unique<Transfer>();
    t->id = nextId++;
    t->setup = std::move(setup);
    t->sink = std::move(sink);
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
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 16L);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_NOPROXY, noProxyList().c_str());
    curl_easy_setopt(e, CURLOPT_USERAGENT, "QuarnKit");
    // An idle limit, not a bound on the whole transfer: the connection must
    // come within it, and afterwards bytes must keep coming.
    const double idle = r.timeoutInterval.value_or(setup.idleTimeout);
    if (idle > 0 && std::isfinite(idle)) {
      const double ms = std::min(idle * 1000.0, 1e9);
      curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::ceil(ms)));
      curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
      curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME,
                       std::max(1L, static_cast<long>(std::ceil(ms / 1000.0))));
    }
    if (r.method == HTTPMethod::head) {
      curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (r.method == HTTPMethod::post) {
      curl_easy_setopt(e, CURLOPT_POST, 1L);
    } else if (r.method != HTTPMethod::get) {
      curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, r.method.rawValue.c_str());
    }
    if (!r.body.empty() || r.method == HTTPMethod::post) {
      curl_easy_setopt(e, CURLOPT_POSTFIELDS, r.body.data());
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
    }
    for (const HTTPHeader& h : r.headers) {
      const std::string line = h.value.empty() ? h.name + ";" : h.name + ": " + h.value;
      t.headers = curl_slist_append(t.headers, line.c_str());
    }
    // Bodies go at once, without waiting for a "100 Continue".
    t.headers = curl_slist_append(t.headers, "Expect:");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headers);
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
