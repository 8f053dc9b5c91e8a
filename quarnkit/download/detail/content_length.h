// The size probe's reading of a HEAD response.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/http/response.h"

namespace quarn::detail {

/// A "Content-Length" value as a count of bytes: a decimal integer with an
/// optional sign, digits only, that fits; 0 (unknown) otherwise, and for a
/// negative count.
std::int64_t parseContentLength(std::optional<std::string_view> header);

/// The expected size from a HEAD request's response: throws its transport
/// failure, or ResourceDownloaderError::failedParseResponse when it succeeded
/// without an HTTP response.
std::int64_t contentLengthOf(const http::DataResponse<std::string>& response);

}  // namespace quarn::detail
