#include "tools/quarnkit/preview/preview_command.h"

#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"
#include "tools/quarnkit/common/output.h"
#include "tools/quarnkit/preview/preview.h"
#include "tools/quarnkit/preview/render.h"

namespace quarn::tool {

Async<std::string> renderPreview(PreviewOptions options) {
  HostPlatform platform(options.host.device, options.host.now);
  HostSession session(options.host);
  const Preview preview = co_await makePreview(session);
  const RenderContext context{options.host.templateFile,
                              describeInputs(options.host),
                              platform::Clock::current()->now(),
                              std::string(platform::toString(options.host.device)),
                              session.environment()->hasPremiumSubscription(),
                              options.printRequest};
  switch (options.format) {
    case Format::json:
      co_return renderJSON(preview, context);
    case Format::html:
      co_return renderHTML(preview, context);
    case Format::text:
      break;
  }
  co_return renderText(preview, context);
}

std::string previewDocument(const PreviewOptions& options) {
  return runUntilComplete(renderPreview(options));
}

int runPreview(const PreviewOptions& options) {
  if (options.watch) return watchPreview(options);
  writeOutput(options.output, previewDocument(options));
  return 0;
}

}  // namespace quarn::tool
