/// @file
/// Async<T> and Executor by name only, for headers that merely declare
/// operations returning Async<T> (clocks, item descriptions, providers).
///
/// Including Asio costs every translation unit hundreds of headers; this one
/// includes none. A declaration such as
///
/// ```
///   virtual Async<void> sleep(std::chrono::nanoseconds duration) const = 0;
/// ```
///
/// needs only this header. Defining, calling or awaiting the operation needs
/// the complete type: include async.h in the source that does.
#pragma once

// Async<T> is awaitable<T> with Asio's default executor; that default must be
// any_io_executor, the class named below.
#if defined(BOOST_ASIO_USE_TS_EXECUTOR_AS_DEFAULT)
#error "QuarnKit needs boost::asio::any_io_executor as Asio's default executor"
#endif

namespace boost::asio {
class any_io_executor;
class io_context;
template <typename T, typename Executor>
class awaitable;
}  // namespace boost::asio

namespace quarn {

/// What an asynchronous, throwing operation returns: an Asio coroutine
/// (boost::asio::awaitable<T>); see async.h.
template <class T = void>
using Async = boost::asio::awaitable<T, boost::asio::any_io_executor>;
/// A polymorphic executor: the main context's, the pool's or a strand.
using Executor = boost::asio::any_io_executor;

}  // namespace quarn
