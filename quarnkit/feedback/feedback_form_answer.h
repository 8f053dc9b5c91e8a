/// @file
/// FeedbackFormAnswer: the answers a host collected for a form, encoded for sending as a bare JSON
/// array of {"key": ..., "answer": ...} objects (each member written only when present).

/// @struct quarn::FeedbackFormAnswer
/// The answers a host collected for a form, encoded for
/// sending as a bare JSON array of {"key": ..., "answer": ...} objects (each
/// member written only when present).
///
/// ```
///   quarn::FeedbackFormAnswer answer({
///       quarn::FeedbackFormAnswer::item<std::string>("comment", "Works well"),
///       quarn::FeedbackFormAnswer::item<std::int64_t>("often", 2),
///       quarn::FeedbackFormAnswer::item<std::vector<std::int64_t>>("liked", {{1, 3}})});
///   quarn::JSONEncoder().encode(answer);
///   // [{"key":"comment","answer":"Works well"},{"key":"often","answer":2},...]
/// ```
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"

namespace quarn {

/// One answer, whatever its answer type.
class FeedbackFormAnswerItem {
 public:
  virtual ~FeedbackFormAnswerItem() = default;
  /// The key of the question answered.
  [[nodiscard]] virtual const std::optional<std::string>& key() const = 0;
  /// Writes the answer as {"key": ..., "answer": ...}.
  virtual void encode(Encoder& e) const = 0;

 protected:
  FeedbackFormAnswerItem() = default;
  /// Copied as a value, by subclasses.
  FeedbackFormAnswerItem(const FeedbackFormAnswerItem&) = default;
  /// Copied as a value, by subclasses.
  FeedbackFormAnswerItem& operator=(const FeedbackFormAnswerItem&) = default;
};

struct FeedbackFormAnswer {
  /// An answer of type T.
  template <EncodableType T>
  class Item final : public FeedbackFormAnswerItem {
   public:
    /// The answer's type.
    using Answer = T;

    /// The answer `answer` to the question keyed `key`.
    Item(std::optional<std::string> key, std::optional<T> answer)
        : key_(std::move(key)), answer_(std::move(answer)) {}

    [[nodiscard]] const std::optional<std::string>& key() const override { return key_; }
    /// The answer, or nothing.
    [[nodiscard]] const std::optional<T>& answer() const { return answer_; }

    /// Writes {"key": ..., "answer": ...}, leaving out what is absent.
    void encode(Encoder& e) const override {
      auto c = e.container();
      c->encodeIfPresent(key_, "key");
      c->encodeIfPresent(answer_, "answer");
    }
    /// Decodes {"key": ..., "answer": ...}; throws DecodingError.
    static Item decode(Decoder& d) requires DecodableType<T> {
      auto c = d.container();
      return Item(c->decodeIfPresent<std::string>("key"), c->decodeIfPresent<T>("answer"));
    }

   private:
    std::optional<std::string> key_;
    std::optional<T> answer_;
  };

  /// A shared answer item of type T.
  template <EncodableType T>
  static std::shared_ptr<const FeedbackFormAnswerItem> item(std::optional<std::string> key,
                                                            std::optional<T> answer) {
    return std::make_shared<const Item<T>>(std::move(key), std::move(answer));
  }

  /// The answers `answers`, in order.
  explicit FeedbackFormAnswer(std::vector<std::shared_ptr<const FeedbackFormAnswerItem>> answers)
      : items(std::move(answers)) {}

  /// The answers, in order.
  std::vector<std::shared_ptr<const FeedbackFormAnswerItem>> items;

  /// A bare array of the items, in order.
  void encode(Encoder& e) const {
    auto list = e.unkeyedContainer();
    for (const auto& answerItem : items) {
      if (answerItem) list->encodeNested([&](Encoder& element) { answerItem->encode(element); });
    }
  }
};

}  // namespace quarn
