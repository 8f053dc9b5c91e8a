/// @file
/// AlamofireDecodablePageFetcher<T>: the standard page fetcher; a shared object, made by make() or
/// forScheme().

/// @class quarn::AlamofireDecodablePageFetcher
/// The standard page fetcher; a shared
/// object, made by make() or forScheme(). The host's request builder makes the
/// HTTP request for a pagination; the fetcher runs it, decodes a JSON array of
/// T (at responseKeyPath inside the response, when set) and reads the
/// pagination headers.
///
/// ```
///   auto fetcher = AlamofireDecodablePageFetcher<Article>::make(
///       JSONDecoder(), [&session](const Pagination* p) {
///         return session.request(articlesURL(p ? p->parameters() : Value::Object{}));
///       });
///   fetcher->responseKeyPath = "data.items";
/// ```
///
/// Only a 2xx response is a page: any other status reaches the completion as
/// responseValidationFailed, however its body looks. Releasing the fetcher
/// cancels its request.
///
/// The host's code: the request builder runs inside fetch(), which keeps the
/// fetcher alive meanwhile; the builder may call cancel() (the request before
/// is cancelled and the new one still starts), and what it throws propagates
/// out of fetch() with nothing started. The preprocessor and the completion
/// run on the main context and touch nothing of the fetcher, so either may
/// release it or fetch again; an exception of the preprocessor reaches the
/// completion as the page's error, and one of the completion propagates to
/// whoever runs the main context.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/http/data_request.h"
#include "quarnkit/paging/data_key_path_serializer.h"
#include "quarnkit/paging/page_fetchable.h"

namespace quarn {

template <DecodableType T>
class AlamofireDecodablePageFetcher
    : public std::enable_shared_from_this<AlamofireDecodablePageFetcher<T>> {
 public:
  /// The item type of the pages.
  using ResultType = T;
  /// The request for a pagination (none when there is nothing to fetch).
  using RequestBuilder = std::function<std::shared_ptr<http::DataRequest>(const Pagination*)>;
  /// Receives the whole response record; what it returns is reported instead.
  using Preprocessor =
      std::function<http::DataResponse<std::vector<T>>(http::DataResponse<std::vector<T>>)>;

  /// A fetcher building its requests with `builder` and decoding with `jsonDecoder`.
  static std::shared_ptr<AlamofireDecodablePageFetcher> make(
      JSONDecoder jsonDecoder, RequestBuilder builder,
      Preprocessor responsePreprocessor = nullptr) {
    return std::shared_ptr<AlamofireDecodablePageFetcher>(new AlamofireDecodablePageFetcher(
        std::move(jsonDecoder), std::move(builder), std::move(responsePreprocessor)));
  }

  /// With a builder for one scheme type P: it receives the pagination as a
  /// P, and nothing when there is none or it is of another type.
  template <std::derived_from<Pagination> P>
  static std::shared_ptr<AlamofireDecodablePageFetcher> forScheme(
      JSONDecoder decoder, std::function<std::shared_ptr<http::DataRequest>(const P*)> builder,
      Preprocessor preprocessor = nullptr) {
    return make(
        std::move(decoder),
        [builder = std::move(builder)](const Pagination* p) {
          return builder(dynamic_cast<const P*>(p));
        },
        std::move(preprocessor));
  }

  ~AlamofireDecodablePageFetcher() { cancel(); }
  AlamofireDecodablePageFetcher(const AlamofireDecodablePageFetcher&) = delete;
  AlamofireDecodablePageFetcher& operator=(const AlamofireDecodablePageFetcher&) = delete;

  /// The decoder pages are decoded with.
  JSONDecoder decoder;
  /// Makes the request of each page.
  RequestBuilder requestBuilder;
  /// Sees each response before it is reported; may be empty.
  Preprocessor preprocessor;
  /// Dotted path of the item array in the response (none: the whole body).
  std::optional<std::string> responseKeyPath;
  /// The header carrying the total count.
  std::string totalCountKey = "X-Pagination-Total-Count";

  /// The running request, if any.
  [[nodiscard]] const std::shared_ptr<http::DataRequest>& currentDataRequest() const {
    return currentDataRequest_;
  }

  /// Builds and runs the request; false when the builder made none. The
  /// completion runs on the main context.
  bool fetch(const Pagination* pagination, PageCompletion<T> completion) {
    const auto keep = this->weak_from_this().lock();
    const RequestBuilder build = requestBuilder;  // the builder may replace itself
    std::shared_ptr<http::DataRequest> request = build ? build(pagination) : nullptr;
    if (!request) {
      currentDataRequest_ = nullptr;
      return false;
    }
    request->validate();
    ResponsePaginationInfo::Keys keys = ResponsePaginationInfo::defaultKeys();
    keys[ResponsePaginationInfo::Key::totalCount] = totalCountKey;
    responseDecodableObject<std::vector<T>>(
        *request, mainExecutor(), responseKeyPath, decoder,
        [preprocessor = preprocessor, keys = std::move(keys),
         completion = std::move(completion)](http::DataResponse<std::vector<T>> response) {
          std::optional<ResponsePaginationInfo> info;
          if (preprocessor) {
            if (response.response) info.emplace(*response.response, keys);
            try {
              response = preprocessor(std::move(response));
            } catch (...) {
              completion(std::nullopt, std::current_exception(), info);
              return;
            }
            info.reset();
          }
          if (response.response) info.emplace(*response.response, keys);
          if (std::vector<T>* items = response.result.ifValue()) {
            completion(std::move(*items), nullptr, info);
          } else {
            completion(std::nullopt, std::make_exception_ptr(*response.error()), info);
          }
        });
    currentDataRequest_ = std::move(request);
    return true;
  }

  /// Cancels the running request and forgets it.
  void cancel() {
    if (currentDataRequest_) currentDataRequest_->cancel();
    currentDataRequest_ = nullptr;
  }

 private:
  AlamofireDecodablePageFetcher(JSONDecoder jsonDecoder, RequestBuilder builder,
                                Preprocessor responsePreprocessor)
      : decoder(std::move(jsonDecoder)),
        requestBuilder(std::move(builder)),
        preprocessor(std::move(responsePreprocessor)) {}

  std::shared_ptr<http::DataRequest> currentDataRequest_;
};

}  // namespace quarn
