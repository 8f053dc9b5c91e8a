// URL matching: normalisation, components, converters, the scheme filter,
// preference among matches, and hostile input.
#include "quarnkit/routing/url_matcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "quarnkit/core/uuid.h"
#include "quarnkit/routing/url_pattern.h"

namespace quarn {
namespace {

using Texts = std::vector<std::string>;

std::string normalized(std::string_view text) {
  return URLMatcher::normalizeURL(text).urlStringValue();
}

// The values of a match as text, "key=value" in key order.
std::string valuesOf(const std::optional<URLMatchResult>& result) {
  if (!result) return "no match";
  std::string out;
  for (const auto& [key, value] : result->values) {
    if (!out.empty()) out += " ";
    out += key + "=" + describeURLValue(value).value_or("?");
  }
  return out;
}

TEST(URLMatcherTest, Normalization) {
  EXPECT_EQ(normalized("app://host//a///b/?q=1#f"), "app://host/a/b");
  EXPECT_EQ(normalized("app:///a"), "app://a");
  EXPECT_EQ(normalized("app://"), "app://");
  EXPECT_EQ(normalized("app:/"), "app:/");
  EXPECT_EQ(normalized("/a//b/"), "/a/b");
  EXPECT_EQ(normalized("a#b?c"), "a");  // the query goes first, then the fragment
  EXPECT_EQ(normalized("x:a//b:////c//"), "x:a/b://c");
  // Text that has no URL even percent-encoded is left as it is.
  EXPECT_EQ(normalized("http://[bad//?x"), "http://[bad//?x");
  // Text that needs percent-encoding has a URL, so it is normalised.
  EXPECT_EQ(normalized("app://a b//<c>/"), "app://a b/<c>");
}

TEST(URLMatcherTest, ComponentsOfURLsAndPatterns) {
  EXPECT_EQ(URLMatcher::stringPathComponents("app://h/a/b"), (Texts{"h", "a", "b"}));
  EXPECT_EQ(URLMatcher::stringPathComponents("/a/b"), (Texts{"a", "b"}));
  EXPECT_EQ(URLMatcher::stringPathComponents("a:b/c"), (Texts{"a:b", "c"}));
  EXPECT_EQ(URLMatcher::stringPathComponents("/x:/y"), (Texts{"x:", "y"}));  // not the first piece
  EXPECT_TRUE(URLMatcher::stringPathComponents("app://").empty());

  using C = URLPathComponent;
  EXPECT_EQ(URLMatcher::pathComponents("app://p/<int:id>/<key>/<>/<a:b:c>/*/<x/<:k>/<t:>"),
            (std::vector<C>{C::plain("p"), C::placeholder("int", "id"),
                            C::placeholder(std::nullopt, "key"), C::placeholder(std::nullopt, ""),
                            C::plain("<a:b:c>"), C::plain("*"), C::plain("<x"),
                            C::placeholder("", "k"), C::placeholder("t", "")}));
  EXPECT_EQ(URLMatcher::literalComponentCount("app://p/<id>/*/<a:b:c>"), 3U);
  // The preference counts the text as given, query included.
  EXPECT_EQ(URLMatcher::literalComponentCount("app://p/<id>?a=/b"), 3U);

  const Texts three{"a", "b", "c"};
  EXPECT_TRUE(URLMatcher::ensurePathComponentsCount(three, URLMatcher::pathComponents("/x/y/z")));
  EXPECT_FALSE(URLMatcher::ensurePathComponentsCount(three, URLMatcher::pathComponents("/x/y")));
  EXPECT_TRUE(
      URLMatcher::ensurePathComponentsCount(three, URLMatcher::pathComponents("/x/<path:p>")));
  EXPECT_FALSE(
      URLMatcher::ensurePathComponentsCount(three, URLMatcher::pathComponents("/w/x/y/<path:p>")));
}

TEST(URLMatcherTest, DefaultConverters) {
  const URLMatcher matcher;
  const auto value = [&](const std::string& type, const std::string& text) {
    return valuesOf(matcher.match("app://v/" + text, Texts{"app://v/<" + type + ":x>"}));
  };
  EXPECT_EQ(value("int", "42"), "x=42");
  EXPECT_EQ(value("int", "+7"), "x=7");
  EXPECT_EQ(value("int", "-9223372036854775808"), "x=-9223372036854775808");
  for (const char* bad : {"9223372036854775808", "", "+", "-", "1.0", " 1", "1 ", "0x1", "+-1"}) {
    EXPECT_EQ(value("int", bad), "no match") << bad;
  }
  EXPECT_EQ(value("float", "1.5"), "x=1.5");
  EXPECT_EQ(value("float", "-2e3"), "x=-2000");
  EXPECT_EQ(value("float", "1e50"), "x=inf");
  for (const char* bad : {"", " 1", "1.5x", "1,5"}) {
    EXPECT_EQ(value("float", bad), "no match") << bad;
  }
  EXPECT_EQ(value("uuid", "e621e1f8-c36c-495a-93fc-0c247a3e6e5f"),
            "x=E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_EQ(value("uuid", "e621e1f8c36c495a93fc0c247a3e6e5f"), "no match");
  EXPECT_EQ(value("string", "a%20b"), "x=a%20b");

  const auto id = matcher.match("app://profile/42", Texts{"app://profile/<int:id>"});
  ASSERT_TRUE(id);
  EXPECT_EQ(std::any_cast<std::int64_t>(id->values.at("id")), 42);
  const auto f = matcher.match("app://v/0.1", Texts{"app://v/<float:x>"});
  ASSERT_TRUE(f);
  EXPECT_EQ(std::any_cast<float>(f->values.at("x")), 0.1F);  // a 32-bit float
  const auto u =
      matcher.match("app://v/e621e1f8-c36c-495a-93fc-0c247a3e6e5f", Texts{"app://v/<uuid:x>"});
  ASSERT_TRUE(u);
  EXPECT_EQ(std::any_cast<UUID>(u->values.at("x")),
            *UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"));
}

TEST(URLMatcherTest, PlaceholdersAndPaths) {
  const URLMatcher matcher;
  EXPECT_EQ(valuesOf(matcher.match("app://profile/abc", Texts{"app://profile/<int:id>"})),
            "no match");
  EXPECT_EQ(valuesOf(matcher.match("app://profile/abc", Texts{"app://profile/<id>"})), "id=abc");
  EXPECT_EQ(valuesOf(matcher.match("app://files/a/b/c", Texts{"app://files/<path:rest>"})),
            "rest=a/b/c");
  EXPECT_EQ(valuesOf(matcher.match("app://files/a/b/c", Texts{"app://files/<rest>"})), "no match");
  // A path placeholder needs one component at least, and later components still count.
  EXPECT_EQ(valuesOf(matcher.match("app://files", Texts{"app://files/<path:rest>"})), "no match");
  EXPECT_EQ(valuesOf(matcher.match("app://a/x/y", Texts{"app://<path:p>/x"})), "p=a/x/y");
  // Path values keep what the URL had: ".." and escapes included.
  EXPECT_EQ(valuesOf(matcher.match("app://f/../a%2Fb", Texts{"app://f/<path:p>"})), "p=../a%2Fb");
  EXPECT_EQ(valuesOf(matcher.match("app://c/ff", Texts{"app://c/<hex:c>"})), "c=ff");
  EXPECT_EQ(valuesOf(matcher.match("app://c/<a:b:c>", Texts{"app://c/<a:b:c>"})), "");
  EXPECT_EQ(valuesOf(matcher.match("app://c/x", Texts{"app://c/<a:b:c>"})), "no match");
  EXPECT_EQ(valuesOf(matcher.match("app://a", Texts{"app://<x>"})), "x=a");
  EXPECT_EQ(valuesOf(matcher.match("app://a/b", Texts{"app://<k>/<k>"})), "k=b");  // the later wins
  EXPECT_EQ(valuesOf(matcher.match("app://", Texts{"app:///"})), "");
  EXPECT_EQ(valuesOf(matcher.match("app://A", Texts{"app://a"})), "no match");  // case-sensitive
}

TEST(URLMatcherTest, SchemesMustAgree) {
  const URLMatcher matcher;
  const Texts patterns{"/profile/<id>", "app://profile/<id>"};
  ASSERT_TRUE(matcher.match("/profile/42", patterns));
  EXPECT_EQ(matcher.match("/profile/42", patterns)->pattern, "/profile/<id>");
  EXPECT_EQ(matcher.match("app://profile/42", patterns)->pattern, "app://profile/<id>");
  EXPECT_FALSE(matcher.match("other://profile/42", patterns));
  EXPECT_FALSE(matcher.match("APP://profile/42", patterns));  // schemes compare exactly
  // Text with no URL at all has no scheme, and matches by its raw components.
  EXPECT_EQ(matcher.match("app://[x", Texts{"app://[x"})->pattern, "app://[x");
  EXPECT_FALSE(matcher.match("app://[x", Texts{"app://<k>"}));
  EXPECT_FALSE(matcher.match("app://x", Texts{"app://[x", "/x"}));
  // The scheme comes from the normalised URL: "app:///" is "app://".
  EXPECT_TRUE(matcher.match("app:///a", Texts{"app://a"}));
}

TEST(URLMatcherTest, MostLiteralComponentsThenListOrderWin) {
  const URLMatcher matcher;
  const Texts a{"app://profile/<id>", "app://profile/*"};
  const Texts b{"app://profile/*", "app://profile/<id>"};
  EXPECT_EQ(matcher.match("app://profile/42", a)->pattern, "app://profile/*");
  EXPECT_EQ(matcher.match("app://profile/42", b)->pattern, "app://profile/*");
  const Texts tie{"app://p/<x>/b", "app://p/a/<y>"};
  EXPECT_EQ(matcher.match("app://p/a/b", tie)->pattern, "app://p/<x>/b");
  const Texts reversed{tie[1], tie[0]};
  EXPECT_EQ(matcher.match("app://p/a/b", reversed)->pattern, "app://p/a/<y>");
  // A failing typed placeholder leaves the field to the next best.
  const Texts typed{"app://p/<int:n>", "app://p/<s>"};
  EXPECT_EQ(matcher.match("app://p/x", typed)->pattern, "app://p/<s>");
  EXPECT_FALSE(matcher.match("app://p/x", Texts{}));
  // The result names the pattern as given, not normalised.
  EXPECT_EQ(matcher.match("app://p/x", Texts{"app://p//<s>/?q"})->pattern, "app://p//<s>/?q");
}

TEST(URLMatcherTest, HostAndReplacedConverters) {
  URLMatcher matcher;
  matcher.valueConverters.add("even",
                              [](std::span<const std::string> c, std::size_t i) -> std::any {
                                if (c[i].empty() || (c[i].back() - '0') % 2 != 0) return {};
                                return c[i];
                              });
  matcher.valueConverters.replace(
      "int", [](std::span<const std::string>, std::size_t) -> std::any { return {}; });
  EXPECT_EQ(valuesOf(matcher.match("app://n/4", Texts{"app://n/<even:n>"})), "n=4");
  EXPECT_EQ(valuesOf(matcher.match("app://n/3", Texts{"app://n/<even:n>"})), "no match");
  EXPECT_EQ(valuesOf(matcher.match("app://n/3", Texts{"app://n/<int:n>"})), "no match");
  // Converters see every component and the index.
  matcher.valueConverters.add("count",
                              [](std::span<const std::string> c, std::size_t i) -> std::any {
                                return std::to_string(c.size()) + "@" + std::to_string(i);
                              });
  EXPECT_EQ(valuesOf(matcher.match("app://a/b/c", Texts{"app://a/<count:n>/c"})), "n=3@1");
}

std::any firstLetter(std::span<const std::string> c, std::size_t i) {
  if (c[i].empty()) return {};
  return c[i].substr(0, 1);
}
std::any lastLetter(std::span<const std::string> c, std::size_t i) {
  if (c[i].empty()) return {};
  return c[i].substr(c[i].size() - 1);
}

TEST(URLValueConvertersTest, ANameStandsForOneConverter) {
  URLMatcher matcher;
  auto& converters = matcher.valueConverters;
  const auto letterOf = [&](const std::string& url) {
    return valuesOf(matcher.match(url, Texts{"app://w/<letter:l>"}));
  };
  converters.add("letter", firstLetter);
  converters.add("letter", &firstLetter);  // the same function again
  EXPECT_EQ(letterOf("app://w/xyz"), "l=x");
  try {
    converters.add("letter", lastLetter);
    ADD_FAILURE() << "a second converter took the name";
  } catch (const URLValueConverterError& error) {
    EXPECT_EQ(error.kind, URLValueConverterError::Kind::conflict);
    EXPECT_EQ(error.name, "letter");
  }
  EXPECT_EQ(letterOf("app://w/xyz"), "l=x");  // the first one stays

  // Built-in names are held too; a capture-less lambda may come again, one
  // with state cannot be told from another and is refused.
  EXPECT_THROW(converters.add("int", firstLetter), URLValueConverterError);
  const auto upper = [](std::span<const std::string> c, std::size_t i) -> std::any {
    return c[i] + "!";
  };
  converters.add("loud", upper);
  EXPECT_NO_THROW(converters.add("loud", upper));
  const std::string suffix = "?";
  const auto asking = [suffix](std::span<const std::string> c, std::size_t i) -> std::any {
    return c[i] + suffix;
  };
  converters.add("ask", asking);
  EXPECT_THROW(converters.add("ask", asking), URLValueConverterError);
  EXPECT_THROW(converters.add("ask", URLValueConverter(upper)), URLValueConverterError);
  EXPECT_NO_THROW(converters.add("int", URLValueConverter(defaultURLValueConverters().at("int"))));

  // Re-pointing a name is said explicitly, and removing frees it.
  converters.replace("letter", lastLetter);
  EXPECT_EQ(letterOf("app://w/xyz"), "l=z");
  EXPECT_TRUE(converters.remove("letter"));
  EXPECT_FALSE(converters.remove("letter"));
  EXPECT_FALSE(converters.contains("letter"));
  EXPECT_EQ(letterOf("app://w/xyz"), "l=xyz");  // an unknown type matches as text
  converters.add("letter", lastLetter);
  EXPECT_EQ(letterOf("app://w/xyz"), "l=z");
}

TEST(URLValueConvertersTest, ATableIsNotChangedByLaterChanges) {
  URLValueConverters converters(defaultURLValueConverters());
  const auto before = converters.table();
  converters.add("first", firstLetter);
  converters.remove("int");
  EXPECT_FALSE(before->contains("first"));
  EXPECT_TRUE(before->contains("int"));
  EXPECT_TRUE(converters.table()->contains("first"));
  EXPECT_FALSE(converters.table()->contains("int"));
  // Each matcher has its own registry.
  URLMatcher a, b;
  a.valueConverters.add("first", firstLetter);
  EXPECT_FALSE(b.valueConverters.contains("first"));
}

// Changes from one thread while another matches: every match sees one whole
// table (the converter it finds is always one that was registered).
TEST(URLValueConvertersTest, ChangesFromAnotherThreadWhileMatching) {
  URLMatcher matcher;
  matcher.valueConverters.add("letter", firstLetter);
  std::atomic<bool> done{false};
  std::thread changer([&] {
    for (int i = 0; i < 2000; ++i) {
      matcher.valueConverters.replace("letter", i % 2 == 0 ? lastLetter : firstLetter);
      matcher.valueConverters.add("extra" + std::to_string(i % 7), firstLetter);
      if (i % 3 == 0) matcher.valueConverters.remove("extra" + std::to_string(i % 7));
    }
    done = true;
  });
  int matches = 0;
  while (!done || matches < 100) {
    const auto value = valuesOf(matcher.match("app://w/xyz", Texts{"app://w/<letter:l>"}));
    ASSERT_TRUE(value == "l=x" || value == "l=z") << value;
    ++matches;
  }
  changer.join();
}

TEST(URLMatcherTest, ExplainSaysWhy) {
  const URLMatcher matcher;
  using R = URLMatchOutcome::Reason;
  EXPECT_EQ(matcher.explain("app://p/1", "other://p/<n>").reason, R::scheme);
  EXPECT_EQ(matcher.explain("app://p/1", "app://p").reason, R::componentCount);
  const auto literal = matcher.explain("app://p/1/x", "app://p/<n>/y");
  EXPECT_EQ(literal.reason, R::literal);
  EXPECT_EQ(literal.component, 2U);
  const auto value = matcher.explain("app://p/x", "app://p/<int:n>");
  EXPECT_EQ(value.reason, R::value);
  EXPECT_EQ(value.component, 1U);
  const auto matched = matcher.explain("app://p/1", "app://p/<int:n>");
  EXPECT_EQ(matched.reason, R::matched);
  EXPECT_EQ(valuesOf(matched.result), "n=1");
}

TEST(URLMatcherTest, PatternsAndURLsAsTheMatcherReadsThem) {
  const URLPattern pattern("app://p//<int:id>/?q=/x");
  EXPECT_EQ(pattern.scheme, "app");
  EXPECT_EQ(pattern.components,
            (std::vector<URLPathComponent>{URLPathComponent::plain("p"),
                                           URLPathComponent::placeholder("int", "id")}));
  EXPECT_EQ(pattern.literalCount, 3U);  // "p", "?q=" and "x" as written
  EXPECT_FALSE(pattern.hasPathPlaceholder);
  EXPECT_FALSE(URLPattern("[x/<path:p>").scheme);  // no URL at all
  EXPECT_TRUE(URLPattern("[x/<path:p>").hasPathPlaceholder);
  const NormalizedURL url("app:///a//b/?x");
  EXPECT_EQ(url.scheme, "app");
  EXPECT_EQ(url.components, (Texts{"a", "b"}));

  const URLMatcher matcher;
  const Texts components{"7", "x"};
  const auto typed = matcher.match(components, 0, URLPathComponent::placeholder("int", "n"));
  EXPECT_TRUE(typed.matches);
  ASSERT_TRUE(typed.value);
  EXPECT_EQ(typed.value->first, "n");
  EXPECT_EQ(std::any_cast<std::int64_t>(typed.value->second), 7);
  EXPECT_FALSE(matcher.match(components, 1, URLPathComponent::placeholder("int", "n")).matches);
  EXPECT_TRUE(matcher.match(components, 1, URLPathComponent::plain("*")).matches);
  EXPECT_FALSE(matcher.match(components, 1, URLPathComponent::plain("*")).value);
}

TEST(URLMatcherTest, QueryParametersAndItems) {
  const URLConvertible link = "app://p?a=1&b=x%20y&c&a=2&d=%ff&=e&f=g=h";
  EXPECT_EQ(link.queryParameters(),
            (std::map<std::string, std::string>{
                {"a", "2"}, {"b", "x y"}, {"d", "%ff"}, {"", "e"}, {"f", "g=h"}}));
  // Text that parses only percent-encoded gives the encoded URL's query.
  EXPECT_EQ(URLConvertible("app://p?d=%zz&e=a b").queryParameters(),
            (std::map<std::string, std::string>{{"d", "%zz"}, {"e", "a b"}}));
  EXPECT_TRUE(URLConvertible("app://p").queryParameters().empty());
  EXPECT_EQ(URLConvertible("app://p?x=%41").queryItems(),
            (std::vector<URL::QueryItem>{{"x", "A"}}));
  EXPECT_FALSE(URLConvertible("app://p?a b").queryItems());  // does not parse as written
  EXPECT_TRUE(URLConvertible("app://p/<x>").urlValue());     // percent-encoded, it does
  EXPECT_FALSE(URLConvertible("\xff").urlValue());
  const URLConvertible url = *URL::parse("app://p/q");
  EXPECT_EQ(url.urlStringValue(), "app://p/q");
}

// A host's own URL type: its parts kept apart, its text made when asked, and
// a URL value only when the host says it has one.
class DeepLink : public URLConvertible {
 public:
  DeepLink(std::string text, bool hasURL) : text_(std::move(text)), hasURL_(hasURL) {}
  std::optional<URL> urlValue() const override {
    return hasURL_ ? URL::parse(text_) : std::nullopt;
  }
  std::string urlStringValue() const override { return text_; }

 private:
  std::string text_;
  bool hasURL_;
};

TEST(URLMatcherTest, AHostsOwnURLTypeIsMatchedThroughTheInterface) {
  const URLMatcher matcher;
  const DeepLink link("app://profile//42/?via=mail&x=%41", true);
  const Texts patterns{"other://profile/<int:id>", "app://profile/<int:id>", "/profile/<id>"};
  const auto result = matcher.match(link, patterns);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->pattern, "app://profile/<int:id>");
  EXPECT_EQ(std::any_cast<std::int64_t>(result->values.at("id")), 42);
  EXPECT_EQ(URLMatcher::normalizeURL(link).urlStringValue(), "app://profile/42");
  // The query members' defaults work from the host's two answers.
  EXPECT_EQ(link.queryParameters(),
            (std::map<std::string, std::string>{{"via", "mail"}, {"x", "A"}}));
  EXPECT_EQ(link.queryItems(), (std::vector<URL::QueryItem>{{"via", "mail"}, {"x", "A"}}));

  // Without a URL value the text is taken as it is, with no scheme, even
  // though it would parse: only scheme-less patterns match it.
  const DeepLink bare("app://profile/42", false);
  EXPECT_EQ(valuesOf(matcher.match(bare, patterns)), "id=42");
  EXPECT_EQ(matcher.match(bare, patterns)->pattern, "/profile/<id>");
  EXPECT_EQ(URLMatcher::normalizeURL(DeepLink("app://a//b/", false)).urlStringValue(),
            "app://a//b/");
  EXPECT_TRUE(bare.queryParameters().empty());
}

TEST(URLMatcherTest, HostileInputNeverThrowsNorMatchesWrongly) {
  const URLMatcher matcher;
  std::string many = "app://h";
  for (int i = 0; i < 10000; ++i) many += "/c";
  const Texts patterns{"app://h/<path:rest>", "app://h/<a>", "app://h/<int:id",
                       "app://h/<<x>>",       "app://<>",    "app://h/%zz",
                       "app://h/a b"};
  EXPECT_EQ(matcher.match(many, patterns)->pattern, "app://h/<path:rest>");
  EXPECT_EQ(matcher.match("app://h/<int:id", patterns)->pattern, "app://h/<int:id");
  EXPECT_EQ(matcher.match("app://h/%zz", patterns)->pattern, "app://h/%zz");
  EXPECT_EQ(matcher.match("app://h/a b", patterns)->pattern, "app://h/a b");
  EXPECT_EQ(valuesOf(matcher.match("app://h/<<x>>", patterns)), "rest=<<x>>");
  EXPECT_EQ(valuesOf(matcher.match("app://h/<<x>>", Texts{"app://h/<<x>>"})), "<x>=<<x>>");
  EXPECT_EQ(valuesOf(matcher.match("app://ex\xC3\xA4mple", patterns)), "=ex\xC3\xA4mple");
  EXPECT_FALSE(matcher.match("app://h//", Texts{"app://h/<a>/<b>"}));  // empty components vanish
  EXPECT_FALSE(matcher.match("\xff\xfe", patterns));
  EXPECT_FALSE(matcher.match("", patterns));
  EXPECT_EQ(valuesOf(matcher.match("", Texts{""})), "");
}

}  // namespace
}  // namespace quarn
