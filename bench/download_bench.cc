// Resource downloads, against libcurl's multi interface writing the same files
// (the floor), over a loopback server:
//
// - BM_DownloadsVsCurlMulti: 200 files of 256 KiB and one of 256 MiB through
//   ResourceDownloader::downloadFiles into an empty directory, against one
//   multi handle with the same connection limit writing each body to its
//   file. "ratio" is the downloader's wall time over the floor's (target: at
//   most 1.0). "peak_rss_mib" is how far the process's resident memory rose
//   above where it stood before the downloader's run: bodies go to disk as
//   they arrive, so it stays far below the large file's size.
// - BM_ProgressObservedVsNot: the same downloads with a parent progress that
//   an observer follows, against none. "ratio" is the observed run's wall time
//   over the plain one's (target: at most 1.05).
// - BM_ResumeAfterInterruption: the 256 MiB file cut off by the server at
//   half, then downloaded again. "sent_ratio" is the body bytes the server
//   sent for both attempts over the file's size (target: at most 1.05: the
//   second attempt asks only for the rest); "peak_rss_mib" as above.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_util.h"
#include "quarnkit/concurrency/progress_operations.h"
#include "quarnkit/download/resource_downloader.h"
#include "quarnkit/http/session.h"
#include "quarnkit/platform/progress.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/publisher.h"
#include "quarnkit/testing/loopback_server.h"

using namespace quarn;
namespace fs = std::filesystem;

namespace {

constexpr int kSmallFiles = 200;
constexpr std::size_t kSmallSize = 256 * 1024;
constexpr std::size_t kLargeSize = 256 * 1024 * 1024;
constexpr long kConnections = 10;  // the downloader's session: 10 per host

// Serves "/small/N" (256 KiB) and "/large" (256 MiB) from one 64 KiB block,
// so the server holds no body in memory either.
class FileServer {
 public:
  FileServer() : server_(kConnections + 6), block_(64 * 1024, 'b') {
    auto serve = [this](std::size_t size, httplib::Response& res) {
      res.set_content_provider(size, "application/octet-stream",
                               [this, size](size_t offset, size_t, httplib::DataSink& sink) {
                                 const std::size_t n = std::min(block_.size(), size - offset);
                                 return sink.write(block_.data(), n);
                               });
    };
    server_.routes().Get(R"(/small/\d+)", [serve](const httplib::Request&, httplib::Response& res) {
      serve(kSmallSize, res);
    });
    server_.routes().Get("/large", [serve](const httplib::Request&, httplib::Response& res) {
      serve(kLargeSize, res);
    });
    // "/resumable": 256 MiB with a validator, answering Range; once cutNext()
    // is called, the next response closes the connection half-way.
    server_.routes().Get("/resumable", [this](const httplib::Request& req, httplib::Response& res) {
      res.set_header("ETag", "\"r1\"");
      res.status = req.has_header("Range") ? 206 : 200;
      const bool cut = cutNext_.exchange(false);
      res.set_content_provider(kLargeSize, "application/octet-stream",
                               [this, cut](size_t offset, size_t length, httplib::DataSink& sink) {
                                 if (cut && offset >= kLargeSize / 2) return false;
                                 const std::size_t n = std::min(block_.size(), length);
                                 sent_ += n;
                                 return sink.write(block_.data(), n);
                               });
    });
    server_.start();
  }
  void cutNext() { cutNext_ = true; }
  /// Body bytes "/resumable" has sent; zeroed by the call.
  std::size_t takeSent() { return sent_.exchange(0); }
  [[nodiscard]] std::string url(const std::string& path) const { return server_.url(path); }
  [[nodiscard]] std::vector<std::string> urls() const {
    std::vector<std::string> out;
    for (int i = 0; i < kSmallFiles; ++i) out.push_back(server_.url("/small/" + std::to_string(i)));
    out.push_back(server_.url("/large"));
    return out;
  }

 private:
  quarn::testing::LoopbackServer server_;
  std::string block_;
  std::atomic<bool> cutNext_ = false;
  std::atomic<std::size_t> sent_ = 0;
};

// A directory emptied before each run.
class Scratch {
 public:
  Scratch() : path_(fs::temp_directory_path() / "quarnkit-download-bench") { reset(); }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  void reset() {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Resident memory now and at its peak since the last reset, in bytes.
std::size_t statusField(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) return std::stoul(line.substr(std::string(field).size())) * 1024;
  }
  return 0;
}
void resetPeakRSS() { std::ofstream("/proc/self/clear_refs") << "5"; }

void checkFiles(const Scratch& scratch) {
  if (fs::file_size(scratch.path() / "large") != kLargeSize ||
      fs::file_size(scratch.path() / "0") != kSmallSize) {
    throw std::runtime_error("a downloaded file has the wrong size");
  }
}

void downloaderRun(const FileServer& server, const Scratch& scratch,
                   const std::shared_ptr<platform::Progress>& parent = nullptr) {
  auto downloader = ResourceDownloader::make(URL::fileURL(scratch.path()));
  std::vector<URL> urls;
  for (const std::string& u : server.urls()) urls.push_back(*URL::parse(u));
  std::vector<URL> local;
  if (parent) {
    double seen = 0;
    AnyCancellable observer =
        parent->fractionCompletedPublisher().sink([&](double f) { seen = f; });
    local = runUntilComplete(performAsCurrent(parent, downloader->downloadFiles(urls)));
    if (seen < 1.0) throw std::runtime_error("the observed progress did not reach 1");
  } else {
    local = runUntilComplete(downloader->downloadFiles(urls));
  }
  if (local.size() != urls.size()) throw std::runtime_error("files are missing");
}

std::size_t writeTo(char* data, std::size_t size, std::size_t count, void* file) {
  return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

void curlRun(const FileServer& server, const Scratch& scratch) {
  CURLM* multi = curl_multi_init();
  curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, kConnections);
  std::vector<std::FILE*> files;
  const std::vector<std::string> urls = server.urls();
  for (const std::string& url : urls) {
    const std::string name = url.substr(url.rfind('/') + 1);
    std::FILE* file = std::fopen((scratch.path() / name).c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot write " + name);
    files.push_back(file);
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &writeTo);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
    curl_multi_add_handle(multi, easy);
  }
  std::size_t done = 0;
  while (done < urls.size()) {
    int running = 0;
    curl_multi_perform(multi, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      if (message->data.result != CURLE_OK) throw std::runtime_error("a floor download failed");
      curl_multi_remove_handle(multi, message->easy_handle);
      curl_easy_cleanup(message->easy_handle);
      ++done;
    }
    if (done < urls.size()) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
  }
  curl_multi_cleanup(multi);
  for (std::FILE* file : files) std::fclose(file);
}

void BM_DownloadsVsCurlMulti(benchmark::State& state) {
  const FileServer server;
  Scratch scratch;
  bench::PhaseTimer downloader;
  bench::PhaseTimer floor;
  std::size_t peakRise = 0;
  for (auto _ : state) {
    scratch.reset();
    floor.time([&] { curlRun(server, scratch); });
    checkFiles(scratch);
    scratch.reset();
    const std::size_t before = statusField("VmRSS:");
    resetPeakRSS();
    downloader.time([&] { downloaderRun(server, scratch); });
    const std::size_t peak = statusField("VmHWM:");
    peakRise = std::max(peakRise, peak > before ? peak - before : 0);
    checkFiles(scratch);
  }
  bench::reportRatio(state, downloader, floor, "downloader_ms", "curl_ms");
  state.counters["peak_rss_mib"] = static_cast<double>(peakRise) / (1024.0 * 1024.0);
}
BENCHMARK(BM_DownloadsVsCurlMulti)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ProgressObservedVsNot(benchmark::State& state) {
  const FileServer server;
  Scratch scratch;
  bench::PhaseTimer observed;
  bench::PhaseTimer plain;
  for (auto _ : state) {
    scratch.reset();
    plain.time([&] { downloaderRun(server, scratch); });
    scratch.reset();
    auto parent = platform::Progress::make(kSmallFiles + 1);
    observed.time([&] { downloaderRun(server, scratch, parent); });
  }
  bench::reportRatio(state, observed, plain, "observed_ms", "plain_ms");
}
BENCHMARK(BM_ProgressObservedVsNot)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ResumeAfterInterruption(benchmark::State& state) {
  FileServer server;
  Scratch scratch;
  const URL remote = *URL::parse(server.url("/resumable"));
  double worstRatio = 0;
  std::size_t peakRise = 0;
  for (auto _ : state) {
    scratch.reset();
    auto downloader = ResourceDownloader::make(URL::fileURL(scratch.path()));
    const std::size_t before = statusField("VmRSS:");
    resetPeakRSS();
    server.cutNext();
    try {
      runUntilComplete(downloader->downloadFile(remote));
      throw std::logic_error("the cut download succeeded");
    } catch (const std::logic_error&) {
      throw;
    } catch (const std::exception&) {
      // Interrupted, as meant.
    }
    runUntilComplete(downloader->downloadFile(remote));
    const std::size_t peak = statusField("VmHWM:");
    peakRise = std::max(peakRise, peak > before ? peak - before : 0);
    if (fs::file_size(scratch.path() / "resumable") != kLargeSize) {
      throw std::runtime_error("the resumed file has the wrong size");
    }
    worstRatio = std::max(worstRatio,
                          static_cast<double>(server.takeSent()) / static_cast<double>(kLargeSize));
  }
  state.counters["sent_ratio"] = worstRatio;
  state.counters["peak_rss_mib"] = static_cast<double>(peakRise) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ResumeAfterInterruption)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
