#include "quarnkit/predicate/detail/parser.h"

#include <fmt/format.h>

#include <optional>
#include <utility>
#include <vector>

#include "quarnkit/predicate/detail/cast.h"
#include "quarnkit/predicate/detail/functions.h"
#include "quarnkit/predicate/detail/lexer.h"
#include "quarnkit/predicate/detail/text_match.h"
#include "quarnkit/predicate/errors.h"
#include "quarnkit/predicate/limits.h"

namespace quarn::detail {
namespace {

// What a piece of the text turned out to be. A key path is kept open so that
// further ".key" components extend it rather than nest.
struct Term {
  std::size_t pos = 0;
  ExpressionPtr expression;
  PredicatePtr predicate;
  std::unique_ptr<KeyPathNode> keyPath;
};

std::string describe(const Token& t) {
  switch (t.kind) {
    case TokenKind::end:
      return "the end of the text";
    case TokenKind::identifier:
      return fmt::format("'{}'", t.text);
    case TokenKind::variable:
      return fmt::format("'${}'", t.text);
    case TokenKind::string:
      return "a string";
    case TokenKind::integer:
    case TokenKind::number:
      return "a number";
    case TokenKind::keyword:
      return fmt::format("'{}'", keywordText(t.keyword));
    case TokenKind::lparen:
      return "'('";
    case TokenKind::rparen:
      return "')'";
    case TokenKind::lbrace:
      return "'{'";
    case TokenKind::rbrace:
      return "'}'";
    case TokenKind::lbracket:
      return "'['";
    case TokenKind::rbracket:
      return "']'";
    case TokenKind::comma:
      return "','";
    case TokenKind::dot:
      return "'.'";
    case TokenKind::plus:
      return "'+'";
    case TokenKind::minus:
      return "'-'";
    case TokenKind::star:
      return "'*'";
    case TokenKind::slash:
      return "'/'";
    case TokenKind::power:
      return "'**'";
    case TokenKind::eq:
      return "'=='";
    case TokenKind::ne:
      return "'!='";
    case TokenKind::lt:
      return "'<'";
    case TokenKind::le:
      return "'<='";
    case TokenKind::gt:
      return "'>'";
    case TokenKind::ge:
      return "'>='";
    case TokenKind::andand:
      return "'&&'";
    case TokenKind::oror:
      return "'||'";
    case TokenKind::bang:
      return "'!'";
  }
  return "a token";
}

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) {
    bool blank = true;
    for (const char c : text) blank = blank && (c == ' ' || (c >= '\t' && c <= '\r'));
    if (blank) fail(0, "empty text");
    advance();
  }

  PredicatePtr predicate() {
    Term t = parseOr();
    expectEnd("predicate");
    return requirePredicate(std::move(t));
  }

  ExpressionPtr expression() {
    Term t = parseOr();
    expectEnd("expression");
    return requireExpression(std::move(t));
  }

 private:
  // Counts one level of nesting for as long as it lives.
  class Nest {
   public:
    Nest(Parser& parser, std::size_t pos) : parser_(parser) {
      if (++parser_.depth_ > kPredicateMaxDepth) {
        parser_.fail(pos, fmt::format("nested deeper than {} levels", kPredicateMaxDepth));
      }
    }
    ~Nest() { --parser_.depth_; }
    Nest(const Nest&) = delete;
    Nest& operator=(const Nest&) = delete;

   private:
    Parser& parser_;
  };

  [[noreturn]] void fail(std::size_t pos, std::string reason) const {
    throw PredicateParseError(std::string(lexer_.source()), pos, std::move(reason));
  }

  void advance() {
    if (ahead_) {
      tok_ = std::move(*ahead_);
      ahead_.reset();
    } else {
      tok_ = lexer_.next();
    }
  }

  const Token& peek() {
    if (!ahead_) ahead_ = lexer_.next();
    return *ahead_;
  }

  [[nodiscard]] bool at(TokenKind kind) const { return tok_.kind == kind; }
  [[nodiscard]] bool at(Keyword keyword) const {
    return tok_.kind == TokenKind::keyword && tok_.keyword == keyword;
  }

  void expect(TokenKind kind, std::string_view what) {
    if (!at(kind)) fail(tok_.pos, fmt::format("expected {}, found {}", what, describe(tok_)));
    advance();
  }

  void expectEnd(std::string_view what) {
    if (!at(TokenKind::end)) {
      fail(tok_.pos, fmt::format("unexpected {} after the end of the {}", describe(tok_), what));
    }
  }

  template <class Node>
  Node checked(Node node, std::size_t pos) const {
    if (node->height() > kPredicateMaxDepth) {
      fail(pos, fmt::format("nested deeper than {} levels", kPredicateMaxDepth));
    }
    return node;
  }

  ExpressionPtr requireExpression(Term&& t) const {
    if (t.keyPath) return std::move(t.keyPath);
    if (t.predicate) fail(t.pos, "expected an expression, found a predicate");
    return std::move(t.expression);
  }

  PredicatePtr requirePredicate(Term&& t) const {
    if (!t.predicate) fail(t.pos, "expected a predicate, such as a comparison");
    return std::move(t.predicate);
  }

  static Term expressionTerm(std::size_t pos, ExpressionPtr e) {
    Term t;
    t.pos = pos;
    t.expression = std::move(e);
    return t;
  }

  static Term predicateTerm(std::size_t pos, PredicatePtr p) {
    Term t;
    t.pos = pos;
    t.predicate = std::move(p);
    return t;
  }

  // ----- Predicates --------------------------------------------------------

  Term parseLogical(bool isAnd) {
    const std::size_t pos = tok_.pos;
    Term first = isAnd ? parseNot() : parseLogical(true);
    auto atOperator = [&] {
      return isAnd ? at(Keyword::kAnd) || at(TokenKind::andand)
                   : at(Keyword::kOr) || at(TokenKind::oror);
    };
    if (!atOperator()) return first;
    std::vector<PredicatePtr> operands;
    operands.push_back(requirePredicate(std::move(first)));
    while (atOperator()) {
      advance();
      operands.push_back(requirePredicate(isAnd ? parseNot() : parseLogical(true)));
    }
    return predicateTerm(pos,
                         checked(std::make_unique<CompoundNode>(isAnd, std::move(operands)), pos));
  }

  Term parseOr() { return parseLogical(false); }

  Term parseNot() {
    if (at(Keyword::kNot) || at(TokenKind::bang)) {
      const std::size_t pos = tok_.pos;
      advance();
      const Nest nest(*this, pos);
      PredicatePtr operand = requirePredicate(parseNot());
      return predicateTerm(pos, checked(std::make_unique<NotNode>(std::move(operand)), pos));
    }
    return parseComparison();
  }

  std::optional<ComparisonOperator> comparisonOperator() const {
    switch (tok_.kind) {
      case TokenKind::eq:
        return ComparisonOperator::equal;
      case TokenKind::ne:
        return ComparisonOperator::notEqual;
      case TokenKind::lt:
        return ComparisonOperator::less;
      case TokenKind::le:
        return ComparisonOperator::lessOrEqual;
      case TokenKind::gt:
        return ComparisonOperator::greater;
      case TokenKind::ge:
        return ComparisonOperator::greaterOrEqual;
      case TokenKind::keyword:
        switch (tok_.keyword) {
          case Keyword::kBetween:
            return ComparisonOperator::between;
          case Keyword::kIn:
            return ComparisonOperator::in;
          case Keyword::kContains:
            return ComparisonOperator::contains;
          case Keyword::kBeginsWith:
            return ComparisonOperator::beginsWith;
          case Keyword::kEndsWith:
            return ComparisonOperator::endsWith;
          case Keyword::kLike:
            return ComparisonOperator::like;
          case Keyword::kMatches:
            return ComparisonOperator::matches;
          default:
            return std::nullopt;
        }
      default:
        return std::nullopt;
    }
  }

  // [c], [d], [cd], ... after an operator.
  unsigned parseOptions() {
    if (!at(TokenKind::lbracket)) return 0;
    advance();
    unsigned options = 0;
    const bool letters = at(TokenKind::identifier) || at(TokenKind::keyword);
    for (const char c : letters ? tok_.text : std::string()) {
      const unsigned option = c == 'c' || c == 'C'   ? unsigned{kCaseInsensitive}
                              : c == 'd' || c == 'D' ? kDiacriticInsensitive
                              : c == 'n' || c == 'N' ? kNormalizedOption
                              : c == 'l' || c == 'L' ? kLocaleOption
                                                     : 0u;
      if (option == 0) {
        options = 0;
        break;
      }
      options |= option;
    }
    if (options == 0) fail(tok_.pos, "expected comparison options such as [c], [d] or [cd]");
    advance();
    expect(TokenKind::rbracket, "']'");
    return options;
  }

  Term parseComparison() {
    const std::size_t pos = tok_.pos;
    ComparisonModifier modifier = ComparisonModifier::direct;
    if (at(Keyword::kAny) || at(Keyword::kSome)) modifier = ComparisonModifier::any;
    if (at(Keyword::kAll)) modifier = ComparisonModifier::all;
    if (at(Keyword::kNone)) modifier = ComparisonModifier::none;
    if (modifier != ComparisonModifier::direct) advance();

    Term left = parseAdditive();
    const auto op = comparisonOperator();
    if (!op) {
      if (modifier != ComparisonModifier::direct) {
        fail(tok_.pos, fmt::format("expected a comparison operator, found {}", describe(tok_)));
      }
      return left;
    }
    ExpressionPtr lhs = requireExpression(std::move(left));
    advance();
    const unsigned options = parseOptions();
    ExpressionPtr rhs = requireExpression(parseAdditive());
    return predicateTerm(pos, checked(std::make_unique<ComparisonNode>(
                                          modifier, *op, options, std::move(lhs), std::move(rhs)),
                                      pos));
  }

  // ----- Expressions -------------------------------------------------------

  Term parseBinary(bool additive) {
    const std::size_t pos = tok_.pos;
    Term left = additive ? parseBinary(false) : parseUnary();
    while (true) {
      ArithmeticOperator op{};
      if (additive && at(TokenKind::plus)) {
        op = ArithmeticOperator::add;
      } else if (additive && at(TokenKind::minus)) {
        op = ArithmeticOperator::subtract;
      } else if (!additive && at(TokenKind::star)) {
        op = ArithmeticOperator::multiply;
      } else if (!additive && at(TokenKind::slash)) {
        op = ArithmeticOperator::divide;
      } else {
        return left;
      }
      ExpressionPtr lhs = requireExpression(std::move(left));
      advance();
      ExpressionPtr rhs = requireExpression(additive ? parseBinary(false) : parseUnary());
      left = expressionTerm(
          pos, checked(std::make_unique<ArithmeticNode>(op, std::move(lhs), std::move(rhs)), pos));
    }
  }

  Term parseAdditive() { return parseBinary(true); }

  Term parseUnary() {
    if (at(TokenKind::minus)) {
      const std::size_t pos = tok_.pos;
      advance();
      const Nest nest(*this, pos);
      ExpressionPtr operand = requireExpression(parseUnary());
      return expressionTerm(pos, checked(std::make_unique<NegateNode>(std::move(operand)), pos));
    }
    const std::size_t pos = tok_.pos;
    Term base = parsePostfix();
    if (!at(TokenKind::power)) return base;
    ExpressionPtr lhs = requireExpression(std::move(base));
    advance();
    const Nest nest(*this, pos);
    ExpressionPtr rhs = requireExpression(parseUnary());  // right-associative
    return expressionTerm(
        pos, checked(std::make_unique<ArithmeticNode>(ArithmeticOperator::power, std::move(lhs),
                                                      std::move(rhs)),
                     pos));
  }

  std::string keyComponent() {
    if (at(Keyword::kSelf)) {  // a.self, items.@sum.self: the value itself
      advance();
      return "self";
    }
    if (at(TokenKind::keyword)) {
      fail(tok_.pos, fmt::format("'{}' is a reserved word; write #{} to use it as a key", tok_.text,
                                 tok_.text));
    }
    if (!at(TokenKind::identifier) || tok_.text.find(':') != std::string::npos) {
      fail(tok_.pos, fmt::format("expected a key, found {}", describe(tok_)));
    }
    std::string key = std::move(tok_.text);
    advance();
    return key;
  }

  Term parsePostfix() {
    Term t = parsePrimary();
    while (at(TokenKind::dot) || at(TokenKind::lbracket)) {
      const std::size_t pos = tok_.pos;
      const bool dot = at(TokenKind::dot);
      advance();
      if (dot) {
        std::string key = keyComponent();
        if (t.keyPath) {
          if (t.keyPath->path().size() >= kKeyPathMaxComponents) {
            fail(pos, fmt::format("key path longer than {} components", kKeyPathMaxComponents));
          }
          t.keyPath = std::move(*t.keyPath).extended(key);
        } else {
          KeyPath path;
          path.append(key);
          // The term becomes a key path into what it was.
          Term next;
          next.pos = t.pos;
          ExpressionPtr base = requireExpression(std::move(t));
          // SELF.key is the key in the evaluated object.
          if (dynamic_cast<const SelfNode*>(base.get()) != nullptr) base.reset();
          next.keyPath =
              checked(std::make_unique<KeyPathNode>(std::move(base), std::move(path)), pos);
          t = std::move(next);
        }
        continue;
      }
      const Nest nest(*this, pos);
      ExpressionPtr base = requireExpression(std::move(t));
      IndexNode::Which which = IndexNode::Which::expression;
      if (at(Keyword::kFirst)) which = IndexNode::Which::first;
      if (at(Keyword::kLast)) which = IndexNode::Which::last;
      if (at(Keyword::kSize)) which = IndexNode::Which::size;
      ExpressionPtr index;
      if (which == IndexNode::Which::expression) {
        index = requireExpression(parseOr());
      } else {
        advance();
      }
      expect(TokenKind::rbracket, "']'");
      t = expressionTerm(
          pos, checked(std::make_unique<IndexNode>(std::move(base), which, std::move(index)), pos));
    }
    return t;
  }

  std::vector<ExpressionPtr> parseList(TokenKind close, std::string_view closeText) {
    std::vector<ExpressionPtr> elements;
    if (!at(close)) {
      while (true) {
        elements.push_back(requireExpression(parseOr()));
        if (!at(TokenKind::comma)) break;
        advance();
      }
    }
    expect(close, closeText);
    return elements;
  }

  Term parseFunction() {
    const std::size_t pos = tok_.pos;
    const std::string written = tok_.text;
    advance();
    expect(TokenKind::lparen, "'(' after a function name");
    const Nest nest(*this, pos);
    if (written == "TERNARY") {
      PredicatePtr condition = requirePredicate(parseOr());
      expect(TokenKind::comma, "','");
      ExpressionPtr then = requireExpression(parseOr());
      expect(TokenKind::comma, "','");
      ExpressionPtr otherwise = requireExpression(parseOr());
      expect(TokenKind::rparen, "')'");
      return expressionTerm(
          pos, checked(std::make_unique<TernaryNode>(std::move(condition), std::move(then),
                                                     std::move(otherwise)),
                       pos));
    }
    std::vector<ExpressionPtr> arguments = parseList(TokenKind::rparen, "')'");
    const std::string name = canonicalFunctionName(written, arguments.size());
    const FunctionSpec* function = findFunction(name, arguments.size());
    if (function == nullptr) {
      const bool known = isFunctionName(name) || isFunctionName(written) ||
                         isFunctionName(canonicalFunctionName(written, 1));
      fail(pos, known ? fmt::format("wrong number of arguments for {}", written)
                      : fmt::format("unknown function {}", written));
    }
    return expressionTerm(
        pos, checked(std::make_unique<FunctionNode>(*function, std::move(arguments)), pos));
  }

  Term parsePrimary() {
    const std::size_t pos = tok_.pos;
    auto constant = [&](Value v) {
      advance();
      return expressionTerm(pos, std::make_unique<ConstantNode>(std::move(v)));
    };
    switch (tok_.kind) {
      case TokenKind::integer:
        return constant(Value(tok_.integer));
      case TokenKind::number:
        return constant(Value(tok_.number));
      case TokenKind::string:
        return constant(Value(std::move(tok_.text)));
      case TokenKind::variable: {
        std::string name = std::move(tok_.text);
        advance();
        return expressionTerm(pos, std::make_unique<VariableNode>(std::move(name)));
      }
      case TokenKind::lparen: {
        advance();
        const Nest nest(*this, pos);
        Term inner = parseOr();
        expect(TokenKind::rparen, "')'");
        return inner;
      }
      case TokenKind::lbrace: {
        advance();
        const Nest nest(*this, pos);
        auto node = std::make_unique<ListNode>(parseList(TokenKind::rbrace, "'}'"));
        return expressionTerm(pos, checked(std::move(node), pos));
      }
      case TokenKind::identifier: {
        const bool call = tok_.text.find(':') != std::string::npos ||
                          (!tok_.text.starts_with('@') && peek().kind == TokenKind::lparen);
        if (call) return parseFunction();
        KeyPath path;
        path.append(keyComponent());
        Term t;
        t.pos = pos;
        t.keyPath = std::make_unique<KeyPathNode>(nullptr, std::move(path));
        return t;
      }
      case TokenKind::keyword:
        return parseKeyword();
      default:
        fail(pos, fmt::format("expected an expression, found {}", describe(tok_)));
    }
  }

  // SUBQUERY(collection, $x, predicate)
  Term parseSubquery() {
    const std::size_t pos = tok_.pos;
    advance();
    expect(TokenKind::lparen, "'(' after SUBQUERY");
    const Nest nest(*this, pos);
    ExpressionPtr collection = requireExpression(parseOr());
    expect(TokenKind::comma, "','");
    if (!at(TokenKind::variable)) {
      fail(tok_.pos,
           fmt::format("expected a $variable to name each element, found {}", describe(tok_)));
    }
    std::string variable = std::move(tok_.text);
    advance();
    expect(TokenKind::comma, "','");
    PredicatePtr predicate = requirePredicate(parseOr());
    expect(TokenKind::rparen, "')'");
    return expressionTerm(
        pos, checked(std::make_unique<SubqueryNode>(std::move(collection), std::move(variable),
                                                    std::move(predicate)),
                     pos));
  }

  // CAST(value, 'NSDate')
  Term parseCast() {
    const std::size_t pos = tok_.pos;
    advance();
    expect(TokenKind::lparen, "'(' after CAST");
    const Nest nest(*this, pos);
    ExpressionPtr value = requireExpression(parseOr());
    expect(TokenKind::comma, "','");
    if (!at(TokenKind::string)) {
      fail(tok_.pos,
           fmt::format("expected the name of a class in quotes, such as 'NSDate', found {}",
                       describe(tok_)));
    }
    const auto target = castTargetNamed(tok_.text);
    if (!target) {
      fail(tok_.pos, fmt::format("CAST to '{}' is not supported; it converts to 'NSDate', "
                                 "'NSNumber' or 'NSString'",
                                 tok_.text));
    }
    advance();
    expect(TokenKind::rparen, "')'");
    return expressionTerm(pos, checked(std::make_unique<CastNode>(std::move(value), *target), pos));
  }

  Term parseKeyword() {
    const std::size_t pos = tok_.pos;
    auto constant = [&](Value v) {
      advance();
      return expressionTerm(pos, std::make_unique<ConstantNode>(std::move(v)));
    };
    switch (tok_.keyword) {
      case Keyword::kTrue:
      case Keyword::kYes:
        return constant(Value(true));
      case Keyword::kFalse:
      case Keyword::kNo:
        return constant(Value(false));
      case Keyword::kNull:
      case Keyword::kNil:
        return constant(Value());
      case Keyword::kSelf:
        advance();
        return expressionTerm(pos, std::make_unique<SelfNode>());
      case Keyword::kTruePredicate:
      case Keyword::kFalsePredicate: {
        const bool value = tok_.keyword == Keyword::kTruePredicate;
        advance();
        return predicateTerm(pos, std::make_unique<ConstantPredicateNode>(value));
      }
      case Keyword::kFirst:
      case Keyword::kLast:
      case Keyword::kSize:
        fail(pos, fmt::format("'{}' is a reserved word; write #{} to use it as a key", tok_.text,
                              tok_.text));
      case Keyword::kSubquery:
        return parseSubquery();
      case Keyword::kCast:
        return parseCast();
      case Keyword::kFunction:
      case Keyword::kFetch:
      case Keyword::kAnyKey:
      case Keyword::kCaseInsensitive:
      case Keyword::kCi:
        fail(pos, fmt::format("{} is not supported", keywordText(tok_.keyword)));
      default:
        fail(pos, fmt::format("expected an expression, found {}", describe(tok_)));
    }
  }

  Lexer lexer_;
  Token tok_;
  std::optional<Token> ahead_;
  std::size_t depth_ = 0;
};

}  // namespace

PredicatePtr parsePredicate(std::string_view text) { return Parser(text).predicate(); }

ExpressionPtr parseExpression(std::string_view text) { return Parser(text).expression(); }

}  // namespace quarn::detail
