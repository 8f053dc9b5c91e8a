#include "quarnkit/download/resource_downloader_error.h"

namespace quarn {

std::string ResourceDownloaderError::description() const {
  switch (kind_) {
    case Kind::missingDestinationUrl:
      return "missingDestinationUrl";
    case Kind::missingApplicationGroupIdentifier:
      return "missingApplicationGroupIdentifier";
    case Kind::failedParseResponse:
      return "failedParseResponse";
    case Kind::invalidFileName:
      break;
  }
  std::string shown;
  for (const char c : fileName_) {
    if (c == '\0') {
      shown += "\\0";
    } else {
      shown += c;
    }
  }
  return "invalidFileName(\"" + shown + "\"): not a file name inside the destination directory";
}

}  // namespace quarn
