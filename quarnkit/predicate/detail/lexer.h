// Tokenizer of the predicate and expression language: turns the text into
// literals, names, $variables, reserved words and operators, each with its
// byte position, for the parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quarn::detail {

// Reserved words; case does not matter in the text. A reserved word is used as
// a key by writing # before it (#size).
enum class Keyword : std::uint8_t {
  kAnd,
  kOr,
  kNot,
  kIn,
  kContains,
  kBeginsWith,
  kEndsWith,
  kLike,
  kMatches,
  kBetween,
  kAny,
  kSome,
  kAll,
  kNone,
  kTrue,
  kYes,
  kFalse,
  kNo,
  kNull,
  kNil,
  kSelf,
  kTruePredicate,
  kFalsePredicate,
  kFirst,
  kLast,
  kSize,
  kSubquery,
  kCast,
  // Reserved by the language but not supported here.
  kFunction,
  kFetch,
  kAnyKey,
  kCaseInsensitive,
  kCi,
};

enum class TokenKind : std::uint8_t {
  end,
  identifier,  // a key, "@count", or a function name ("sum", "sum:", "modulus:by:")
  variable,    // $name (text holds the name)
  string,      // text holds the decoded value
  integer,
  number,
  keyword,
  lparen,
  rparen,
  lbrace,
  rbrace,
  lbracket,
  rbracket,
  comma,
  dot,
  plus,
  minus,
  star,
  slash,
  power,
  eq,
  ne,
  lt,
  le,
  gt,
  ge,
  andand,
  oror,
  bang,
};

struct Token {
  TokenKind kind = TokenKind::end;
  std::size_t pos = 0;
  std::string text;
  std::int64_t integer = 0;
  double number = 0;
  Keyword keyword = Keyword::kAnd;
};

/// The reserved word spelled `word` (any case), or false.
bool lookupKeyword(std::string_view word, Keyword& out);
/// The canonical (upper-case) spelling of a reserved word.
std::string_view keywordText(Keyword keyword);
/// Whether `c` may appear in a name (ASCII letters, digits, '_', any non-ASCII byte).
bool isNameChar(char c);

/// Reads tokens one at a time; throws PredicateParseError on malformed input.
class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token next();
  [[nodiscard]] std::string_view source() const { return text_; }

 private:
  [[noreturn]] void fail(std::size_t pos, std::string reason) const;
  [[noreturn]] void failAtPercent() const;
  Token read();
  /// Whether the last token ends a value, so that "." after it joins a key path.
  [[nodiscard]] bool afterOperand() const;
  void skipSpace();
  Token lexNumber();
  Token lexString();
  Token lexName();
  [[nodiscard]] char peek(std::size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  TokenKind last_ = TokenKind::end;
  Keyword lastKeyword_ = Keyword::kAnd;
};

}  // namespace quarn::detail
