/// @file
/// The publisher types by name only, for headers that merely declare
/// operations returning a publisher (a progress object's observations).
///
/// publisher.h includes the runtime's tasks and with them Asio; a declaration
/// such as
///
/// ```
///   [[nodiscard]] AnyPublisher<double, Never> fractionCompletedPublisher() const;
/// ```
///
/// needs only this header. Subscribing needs the complete types: include
/// publisher.h in the source that does.
#pragma once

namespace quarn {

struct Never;
template <class Output, class Failure>
class AnyPublisher;

}  // namespace quarn
