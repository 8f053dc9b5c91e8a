// What the tool's networked commands (page, preview --server) share: header
// and time-limit options, the URL check, the session they use, and HTTP
// failures as the one-line errors the tool prints.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/http/request_error.h"
#include "quarnkit/http/session.h"
#include "tools/quarnkit/common/input_error.h"

namespace quarn::tool {

/// "NAME:VALUE" (spaces around the value dropped) as a header field;
/// nothing when there is no name or the name holds spaces or controls.
std::optional<http::HTTPHeader> parseHeaderOption(std::string_view text);

/// Why `text` is not an http or https URL the tool can fetch; "" when it is.
std::string checkHTTPURL(std::string_view text);

/// "SECONDS" (a positive number, fractions allowed, at most a million) as
/// seconds; nothing when it is not one.
std::optional<double> parseSecondsOption(std::string_view text);

/// The configuration of the tool's sessions: the library's standard one
/// (5-second idle limit, 10 connections per host), bodies up to 64 MiB,
/// header fields sent to the origin of the URL asked for only, and each
/// request bounded to `maxTime` seconds in all when given.
http::SessionConfiguration toolSessionConfiguration(std::optional<double> maxTime = std::nullopt);

/// `error` as the tool's one line: "URL: reason".
InputError requestFailure(const http::RequestError& error);

}  // namespace quarn::tool
