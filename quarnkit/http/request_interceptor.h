/// @file
/// RequestInterceptor: lets the host adapt every request of a session before it is sent (add an
/// authorisation header, sign it).

/// @class quarn::http::RequestInterceptor
/// Lets the host adapt every request of a session before
/// it is sent (add an authorisation header, sign it). The host's shared object
/// (a session holds it as std::shared_ptr<const>). It may make requests on the
/// session (each adapted when it starts) or drop the session (the request then
/// fails with sessionDeinitialized). An adapter that throws
/// fails the request with requestAdaptationFailed carrying its error.
///
/// ```
///   class Auth final : public RequestInterceptor {
///     URLRequest adapt(URLRequest request) const override {
///       request.headers.update("Authorization", "Bearer " + token());
///       return request;
///     }
///   };
/// ```
#pragma once

#include "quarnkit/http/url_request.h"

namespace quarn::http {

class RequestInterceptor {
 public:
  virtual ~RequestInterceptor() = default;
  /// The request to send in place of `request`; runs on the main context
  /// when the request first resumes.
  [[nodiscard]] virtual URLRequest adapt(URLRequest request) const = 0;
};

}  // namespace quarn::http
