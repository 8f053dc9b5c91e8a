// --watch: renders the preview, then again each time the template file grows,
// until SIGINT or SIGTERM. Runs on the main context: the file observer
// reports there, and renders never overlap (a change during a render makes
// one more render after it).
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <csignal>
#include <cstdio>
#include <functional>

#include "quarnkit/composite_list/fetching/template_file_observer.h"
#include "quarnkit/core/date.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"
#include "tools/quarnkit/common/failure.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/log_lines.h"
#include "tools/quarnkit/common/output.h"
#include "tools/quarnkit/preview/preview_command.h"

namespace quarn::tool {

namespace {

void note(const std::string& line) { writeErrorLine(line); }

Async<void> renderAndWrite(PreviewOptions options) {
  const std::string document = co_await renderPreview(options);
  writeOutput(options.output, document);
  LibraryLogLines::flushCurrent();
}

}  // namespace

int watchPreview(const PreviewOptions& options) {
  namespace asio = boost::asio;
  asio::io_context& io = mainContext();
  io.restart();
  auto guard = asio::make_work_guard(io);

  std::unique_ptr<CompositeListTemplateFileObserver> observer;
  try {
    observer = std::make_unique<CompositeListTemplateFileObserver>(
        URL::fileURL(std::filesystem::absolute(options.host.templateFile)));
  } catch (const std::exception& e) {
    throw InputError(options.host.templateFile, "", std::string("cannot watch: ") + e.what());
  }

  bool rendering = false;
  bool again = false;
  int status = 0;
  const auto stop = [&] {
    observer.reset();
    guard.reset();
    io.stop();
  };
  std::function<void()> render;
  render = [&] {
    if (rendering) {
      again = true;
      return;
    }
    rendering = true;
    asio::co_spawn(io, renderAndWrite(options), [&](const std::exception_ptr& error) {
      if (error) {
        try {
          std::rethrow_exception(error);
        } catch (const OutputError& e) {
          // Writing will not get better by editing the template: stop.
          note(e.what());
          status = 1;
          stop();
          return;
        } catch (...) {
          note(describeFailure(options.host.templateFile));
        }
      }
      rendering = false;
      if (again) {
        again = false;
        note("template changed; rendering again");
        render();
      }
    });
  };
  std::function<void()> changed = [&] {
    if (!rendering) note("template changed; rendering again");
    render();
  };
  observer->setOnFileChanged(changed);

  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](const boost::system::error_code&, int) { stop(); });

  note("watching " + options.host.templateFile + " (appends re-render; Ctrl-C stops)");
  render();
  io.run();
  return status;
}

}  // namespace quarn::tool
