// The main thread runs the main context: the file watch reports there and
// every render runs there, one at a time (a render installs the platform's
// device and clock for its settings). The server's threads hand renders over
// and wait; a signal stops the server first, then the main context.
#include "tools/quarnkit/serve/serve_command.h"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <csignal>
#include <future>
#include <mutex>
#include <thread>

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/platform/runtime/async.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/output.h"
#include "tools/quarnkit/serve/input_watch.h"
#include "tools/quarnkit/serve/page_render.h"

namespace quarn::tool {

namespace fs = std::filesystem;
namespace asio = boost::asio;

namespace {

std::vector<fs::path> inputFiles(const HostOptions& options) {
  std::vector<fs::path> files{options.templateFile};
  if (options.resultsFile) files.emplace_back(*options.resultsFile);
  if (options.environmentFile) files.emplace_back(*options.environmentFile);
  return files;
}

// Included templates come from the includes folder or, without one, from
// the template's own folder.
fs::path includesFolder(const HostOptions& options) {
  if (options.includesDirectory) return *options.includesDirectory;
  return fs::absolute(options.templateFile).parent_path();
}

}  // namespace

int runServe(const ServeOptions& options) {
  const HostOptions& host = options.host;
  std::error_code error;
  const fs::file_status status = fs::status(host.templateFile, error);
  if (error) throw InputError(host.templateFile, "", error.message());
  if (!fs::is_regular_file(status)) throw InputError(host.templateFile, "", "not a regular file");

  asio::io_context& io = mainContext();
  io.restart();
  auto guard = asio::make_work_guard(io);

  std::atomic<bool> stopping{false};
  std::mutex renderMutex;
  std::string lastGood;
  const PreviewServer::Renderer render = [&](const PreviewServer::Query& query) {
    const PageSettings settings = parsePageSettings(query);
    const std::lock_guard lock(renderMutex);
    auto promise = std::make_shared<std::promise<PageRender>>();
    std::future<PageRender> future = promise->get_future();
    asio::co_spawn(io, renderPage(host, settings),
                   [promise](const std::exception_ptr& failure, PageRender page) {
                     if (failure) {
                       promise->set_exception(failure);
                     } else {
                       promise->set_value(std::move(page));
                     }
                   });
    while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
      if (stopping) throw std::invalid_argument("the server is stopping");
    }
    PageRender page = future.get();
    if (page.ok) {
      lastGood = *page.document.find("screen")->ifString();
    } else if (!lastGood.empty()) {
      page.document["lastGood"] = lastGood;
    }
    return serializeJSON(page.document);
  };

  PreviewServer server(fs::absolute(host.templateFile).parent_path(), render, options.limits);
  const int port = server.start(options.port);
  const InputWatch watch(inputFiles(host), {includesFolder(host)}, options.poll,
                         [&server] { server.changed(); });

  std::thread stopper;
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](const boost::system::error_code&, int) {
    stopping = true;
    // The server's threads may be waiting for a render: keep the main
    // context running until they are joined.
    stopper = std::thread([&] {
      server.stop();
      asio::post(io, [&] {
        guard.reset();
        io.stop();
      });
    });
  });

  writeErrorLine("serving http://127.0.0.1:" + std::to_string(port) + "/");
  io.run();
  if (stopper.joinable()) stopper.join();
  return 0;
}

}  // namespace quarn::tool
