/// @file
/// Page URLs: a URL with a scheme's parameters set as its query items, the
/// usual way a request builder asks for a page.
///
/// ```
///   urlWithParameters(*URL::parse("https://api.example.com/items?sort=new"),
///                     scheme.parameters());
///   // https://api.example.com/items?sort=new&page=2&per-page=20
/// ```
#pragma once

#include "quarnkit/core/url.h"
#include "quarnkit/core/value.h"

namespace quarn {

/// `url` with each parameter set as a query item (replacing items of the
/// same name, percent-encoded): integers in decimal, strings as they are.
URL urlWithParameters(const URL& url, const Value::Object& parameters);

}  // namespace quarn
