#include "quarnkit/predicate/detail/lexer.h"

#include <fmt/format.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "quarnkit/predicate/errors.h"

namespace quarn::detail {
namespace {

struct KeywordEntry {
  std::string_view text;
  Keyword keyword;
};

constexpr std::array<KeywordEntry, 33> kKeywords{{
    {"AND", Keyword::kAnd},
    {"OR", Keyword::kOr},
    {"NOT", Keyword::kNot},
    {"IN", Keyword::kIn},
    {"CONTAINS", Keyword::kContains},
    {"BEGINSWITH", Keyword::kBeginsWith},
    {"ENDSWITH", Keyword::kEndsWith},
    {"LIKE", Keyword::kLike},
    {"MATCHES", Keyword::kMatches},
    {"BETWEEN", Keyword::kBetween},
    {"ANY", Keyword::kAny},
    {"SOME", Keyword::kSome},
    {"ALL", Keyword::kAll},
    {"NONE", Keyword::kNone},
    {"TRUE", Keyword::kTrue},
    {"YES", Keyword::kYes},
    {"FALSE", Keyword::kFalse},
    {"NO", Keyword::kNo},
    {"NULL", Keyword::kNull},
    {"NIL", Keyword::kNil},
    {"SELF", Keyword::kSelf},
    {"TRUEPREDICATE", Keyword::kTruePredicate},
    {"FALSEPREDICATE", Keyword::kFalsePredicate},
    {"FIRST", Keyword::kFirst},
    {"LAST", Keyword::kLast},
    {"SIZE", Keyword::kSize},
    {"SUBQUERY", Keyword::kSubquery},
    {"FUNCTION", Keyword::kFunction},
    {"CAST", Keyword::kCast},
    {"FETCH", Keyword::kFetch},
    {"ANYKEY", Keyword::kAnyKey},
    {"CASEINSENSITIVE", Keyword::kCaseInsensitive},
    {"CI", Keyword::kCi},
}};

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view upper) {
  if (a.size() != upper.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string printable(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x7F) return fmt::format("'{}'", c);
  return fmt::format("byte 0x{:02X}", u);
}

}  // namespace

bool lookupKeyword(std::string_view word, Keyword& out) {
  for (const auto& entry : kKeywords) {
    if (equalsIgnoringAsciiCase(word, entry.text)) {
      out = entry.keyword;
      return true;
    }
  }
  return false;
}

std::string_view keywordText(Keyword keyword) {
  for (const auto& entry : kKeywords) {
    if (entry.keyword == keyword) return entry.text;
  }
  return {};
}

bool isNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

void Lexer::fail(std::size_t pos, std::string reason) const {
  throw PredicateParseError(std::string(text_), pos, std::move(reason));
}

void Lexer::skipSpace() {
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') break;
    ++pos_;
  }
}

Token Lexer::next() {
  Token t = read();
  last_ = t.kind;
  lastKeyword_ = t.keyword;
  return t;
}

bool Lexer::afterOperand() const {
  switch (last_) {
    case TokenKind::identifier:
    case TokenKind::variable:
    case TokenKind::string:
    case TokenKind::integer:
    case TokenKind::number:
    case TokenKind::rparen:
    case TokenKind::rbrace:
    case TokenKind::rbracket:
      return true;
    case TokenKind::keyword:
      switch (lastKeyword_) {
        case Keyword::kTrue:
        case Keyword::kYes:
        case Keyword::kFalse:
        case Keyword::kNo:
        case Keyword::kNull:
        case Keyword::kNil:
        case Keyword::kSelf:
        case Keyword::kFirst:
        case Keyword::kLast:
        case Keyword::kSize:
        case Keyword::kTruePredicate:
        case Keyword::kFalsePredicate:
          return true;
        default:
          return false;
      }
    default:
      return false;
  }
}

void Lexer::failAtPercent() const {
  // %@, %K, %d, %1$@ ...: the placeholders of format strings.
  std::size_t p = pos_ + 1;
  while (p < text_.size() && isDigit(text_[p])) ++p;
  const bool positional = p > pos_ + 1 && p < text_.size() && text_[p] == '$';
  const char c = peek(1);
  if (positional || c == '@' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
    fail(pos_, "format arguments (%@, %K, ...) are not supported");
  }
  fail(pos_, "'%' is not an operator; write modulus:by:(a, b) for the remainder of a division");
}

Token Lexer::read() {
  skipSpace();
  Token t;
  t.pos = pos_;
  if (pos_ >= text_.size()) return t;

  const char c = peek();
  auto single = [&](TokenKind kind, std::size_t length = 1) {
    t.kind = kind;
    pos_ += length;
    return t;
  };
  // ".5" is a number where a value may start; after one, "." joins a key path.
  if (isDigit(c) || (c == '.' && isDigit(peek(1)) && !afterOperand())) return lexNumber();
  if (c == '"' || c == '\'') return lexString();
  if (isNameChar(c) || c == '@' || c == '#' || c == '$') return lexName();
  switch (c) {
    case '(':
      return single(TokenKind::lparen);
    case ')':
      return single(TokenKind::rparen);
    case '{':
      return single(TokenKind::lbrace);
    case '}':
      return single(TokenKind::rbrace);
    case '[':
      return single(TokenKind::lbracket);
    case ']':
      return single(TokenKind::rbracket);
    case ',':
      return single(TokenKind::comma);
    case '.':
      return single(TokenKind::dot);
    case '+':
      return single(TokenKind::plus);
    case '-':
      return single(TokenKind::minus);
    case '/':
      return single(TokenKind::slash);
    case '*':
      return peek(1) == '*' ? single(TokenKind::power, 2) : single(TokenKind::star);
    case '=':
      if (peek(1) == '=') return single(TokenKind::eq, 2);
      if (peek(1) == '<') return single(TokenKind::le, 2);
      if (peek(1) == '>') return single(TokenKind::ge, 2);
      return single(TokenKind::eq);
    case '!':
      return peek(1) == '=' ? single(TokenKind::ne, 2) : single(TokenKind::bang);
    case '<':
      if (peek(1) == '=') return single(TokenKind::le, 2);
      if (peek(1) == '>') return single(TokenKind::ne, 2);
      return single(TokenKind::lt);
    case '>':
      return peek(1) == '=' ? single(TokenKind::ge, 2) : single(TokenKind::gt);
    case '&':
      if (peek(1) == '&') return single(TokenKind::andand, 2);
      fail(pos_, "expected '&&'");
    case '|':
      if (peek(1) == '|') return single(TokenKind::oror, 2);
      fail(pos_, "expected '||'");
    case '%':
      failAtPercent();
    case ':':
      if (peek(1) == '=') fail(pos_, "assignments (:=) are not supported");
      fail(pos_, "unexpected ':'");
    default:
      fail(pos_, "unexpected " + printable(c));
  }
}

Token Lexer::lexNumber() {
  Token t;
  t.pos = pos_;
  const std::size_t start = pos_;
  int radix = 0;
  if (peek() == '0') {
    const char p = peek(1);
    if (p == 'x' || p == 'X') radix = 16;
    if (p == 'o' || p == 'O') radix = 8;
    if (p == 'b' || p == 'B') radix = 2;
  }
  if (radix != 0) {
    pos_ += 2;
    std::uint64_t value = 0;
    std::size_t digits = 0;
    while (pos_ < text_.size() && digitValue(peek()) < radix) {
      const auto d = static_cast<std::uint64_t>(digitValue(peek()));
      if (value > (static_cast<std::uint64_t>(INT64_MAX) - d) / static_cast<std::uint64_t>(radix)) {
        fail(start, "integer literal out of range");
      }
      value = value * static_cast<std::uint64_t>(radix) + d;
      ++pos_;
      ++digits;
    }
    if (digits == 0 || isNameChar(peek())) fail(start, "malformed number");
    t.kind = TokenKind::integer;
    t.integer = static_cast<std::int64_t>(value);
    return t;
  }

  bool isFloat = false;
  while (isDigit(peek())) ++pos_;  // none before a leading "."
  if (peek() == '.' && isDigit(peek(1))) {
    isFloat = true;
    ++pos_;
    while (isDigit(peek())) ++pos_;
  }
  if (peek() == 'e' || peek() == 'E') {
    std::size_t p = pos_ + 1;
    if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) ++p;
    if (p >= text_.size() || !isDigit(text_[p])) fail(start, "malformed number");
    isFloat = true;
    pos_ = p;
    while (isDigit(peek())) ++pos_;
  }
  if (isNameChar(peek())) fail(start, "malformed number");

  const std::string digits(text_.substr(start, pos_ - start));
  if (!isFloat) {
    std::int64_t value = 0;
    bool overflow = false;
    for (const char d : digits) {
      if (value > (INT64_MAX - (d - '0')) / 10) {
        overflow = true;
        break;
      }
      value = value * 10 + (d - '0');
    }
    if (!overflow) {
      t.kind = TokenKind::integer;
      t.integer = value;
      return t;
    }
  }
  errno = 0;
  const double value = std::strtod(digits.c_str(), nullptr);
  if (std::isinf(value)) fail(start, "number out of range");
  t.kind = TokenKind::number;
  t.number = value;
  return t;
}

Token Lexer::lexString() {
  Token t;
  t.pos = pos_;
  t.kind = TokenKind::string;
  const char quote = peek();
  ++pos_;
  auto hex = [&](std::size_t count) {
    char32_t v = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const int d = digitValue(peek());
      if (d > 15) fail(pos_, "malformed escape sequence");
      v = v * 16 + static_cast<char32_t>(d);
      ++pos_;
    }
    return v;
  };
  while (true) {
    if (pos_ >= text_.size()) fail(t.pos, "unterminated string");
    const char c = text_[pos_++];
    if (c == quote) break;
    if (c != '\\') {
      t.text += c;
      continue;
    }
    const std::size_t escape = pos_ - 1;
    if (pos_ >= text_.size()) fail(t.pos, "unterminated string");
    const char e = text_[pos_++];
    switch (e) {
      case 'a':
        t.text += '\a';
        break;
      case 'b':
        t.text += '\b';
        break;
      case 'f':
        t.text += '\f';
        break;
      case 'n':
        t.text += '\n';
        break;
      case 'r':
        t.text += '\r';
        break;
      case 't':
        t.text += '\t';
        break;
      case 'v':
        t.text += '\v';
        break;
      case '\\':
      case '\'':
      case '"':
        t.text += e;
        break;
      case 'x':
        appendUtf8(t.text, hex(2));
        break;
      case 'u': {
        char32_t cp = hex(4);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          if (peek() != '\\' || peek(1) != 'u') fail(escape, "unpaired surrogate in escape");
          pos_ += 2;
          const char32_t low = hex(4);
          if (low < 0xDC00 || low > 0xDFFF) fail(escape, "unpaired surrogate in escape");
          cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
          fail(escape, "unpaired surrogate in escape");
        }
        appendUtf8(t.text, cp);
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          char32_t v = static_cast<char32_t>(e - '0');
          for (int i = 0; i < 2 && peek() >= '0' && peek() <= '7'; ++i) {
            v = v * 8 + static_cast<char32_t>(peek() - '0');
            ++pos_;
          }
          appendUtf8(t.text, v);
          break;
        }
        fail(escape, "unknown escape sequence \\" + std::string(1, e));
    }
  }
  return t;
}

Token Lexer::lexName() {
  Token t;
  t.pos = pos_;
  const char lead = peek();
  const bool sigil = lead == '@' || lead == '#' || lead == '$';
  if (sigil) ++pos_;
  const std::size_t start = pos_;
  while (isNameChar(peek())) ++pos_;
  if (sigil && pos_ == start) fail(t.pos, fmt::format("expected a name after '{}'", lead));
  // A function name continues over "name:" segments ("modulus:by:").
  bool function = false;
  if (lead != '$' && lead != '#') {
    while (peek() == ':' && peek(1) != '=') {
      function = true;
      ++pos_;
      while (isNameChar(peek())) ++pos_;
    }
  }
  const std::string_view word = text_.substr(start, pos_ - start);
  if (lead == '$') {
    t.kind = TokenKind::variable;
    t.text = std::string(word);
    return t;
  }
  t.text = lead == '@' ? "@" + std::string(word) : std::string(word);
  t.kind = TokenKind::identifier;
  if (lead != '#' && lead != '@' && !function && lookupKeyword(word, t.keyword)) {
    t.kind = TokenKind::keyword;
  }
  return t;
}

}  // namespace quarn::detail
