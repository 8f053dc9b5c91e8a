#include "quarnkit/formatting/detail/inline_markdown.h"

#include <md4c-html.h>
#include <md4c.h>

#include <algorithm>
#include <array>
#include <climits>
#include <string>
#include <vector>

#include "quarnkit/core/detail/utf8.h"

namespace quarn::detail {
namespace {

using platform::AttributeContainer;
using platform::AttributedString;

// md4c reads blocks. To read only inline syntax, every line is wrapped in a
// space character that is not indentation (so no line starts a heading, a
// list, a quote or a code block, and no line is blank) yet counts as
// whitespace for emphasis; the wrappers are dropped from the text again by
// their positions. The first of these absent from the text is used.
constexpr std::array<char32_t, 12> kWrappers = {0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005,
                                                0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x205F};

std::string utf8(char32_t c) {
  return {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
          static_cast<char>(0x80 | (c & 0x3F))};
}

struct Span {
  MD_SPANTYPE type;
  std::string href;
};

struct Builder {
  const char* doc = nullptr;
  std::size_t size = 0;
  std::vector<std::size_t> wrapperStarts;  // each 3 bytes long, sorted
  std::vector<Span> spans;
  AttributedString out;

  [[nodiscard]] AttributeContainer attributes() const {
    std::int64_t intent = 0;
    const std::string* link = nullptr;
    for (const Span& span : spans) {
      switch (span.type) {
        case MD_SPAN_EM:
          intent |= platform::emphasized;
          break;
        case MD_SPAN_STRONG:
          intent |= platform::stronglyEmphasized;
          break;
        case MD_SPAN_CODE:
          intent |= platform::code;
          break;
        case MD_SPAN_DEL:
          intent |= platform::strikethrough;
          break;
        case MD_SPAN_A:
          link = &span.href;
          break;
        default:
          break;
      }
    }
    AttributeContainer c;
    if (intent != 0) c.set(platform::kInlinePresentationIntentAttribute, Value(intent));
    if (link != nullptr) c.set(platform::kLinkAttribute, Value(*link));
    return c;
  }

  // Appends document text, leaving out the wrappers inside it.
  void appendSource(const char* text, std::size_t length) {
    if (text < doc || text + length > doc + size) {
      out.append(std::string_view(text, length), attributes());
      return;
    }
    std::size_t begin = static_cast<std::size_t>(text - doc);
    const std::size_t end = begin + length;
    std::string kept;
    auto it = std::upper_bound(wrapperStarts.begin(), wrapperStarts.end(), begin);
    if (it != wrapperStarts.begin() && *(it - 1) + 3 > begin) --it;
    for (; it != wrapperStarts.end() && *it < end; ++it) {
      if (*it > begin) kept.append(doc + begin, *it - begin);
      begin = std::max(begin, *it + 3);
    }
    if (begin < end) kept.append(doc + begin, end - begin);
    out.append(kept, attributes());
  }
};

// A character reference ("&nbsp;", "&#x20AC;") as the text it stands for,
// through md4c's HTML renderer, which knows every named one.
std::string decodeEntity(const char* text, std::size_t length) {
  std::string html;
  md_html(
      text, static_cast<MD_SIZE>(length),
      [](const MD_CHAR* piece, MD_SIZE n, void* user) {
        static_cast<std::string*>(user)->append(piece, n);
      },
      &html, 0, 0);
  constexpr std::string_view open = "<p>", close = "</p>\n";
  if (html.size() < open.size() + close.size() || html.compare(0, open.size(), open) != 0 ||
      html.compare(html.size() - close.size(), close.size(), close) != 0) {
    return std::string(text, length);
  }
  const std::string_view inner(html.data() + open.size(), html.size() - open.size() - close.size());
  std::string out;
  for (std::size_t i = 0; i < inner.size(); ++i) {  // undo the renderer's own escaping
    bool replaced = false;
    for (const auto& [escaped, plain] : {std::pair<std::string_view, char>{"&amp;", '&'},
                                         {"&lt;", '<'},
                                         {"&gt;", '>'},
                                         {"&quot;", '"'}}) {
      if (inner.compare(i, escaped.size(), escaped) == 0) {
        out += plain;
        i += escaped.size() - 1;
        replaced = true;
        break;
      }
    }
    if (!replaced) out += inner[i];
  }
  return out;
}

}  // namespace

std::optional<AttributedString> parseInlineMarkdown(std::string_view text) {
  if (!quarn::detail::isValidUTF8(text) || text.size() > INT_MAX / 2) return std::nullopt;
  const auto wrapper = std::find_if(kWrappers.begin(), kWrappers.end(), [&](char32_t c) {
    return text.find(utf8(c)) == std::string_view::npos;
  });
  if (wrapper == kWrappers.end()) return std::nullopt;
  const std::string w = utf8(*wrapper);

  Builder b;
  std::string doc;
  doc.reserve(text.size() + 8);
  std::size_t lineStart = 0;
  while (true) {
    const std::size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
    b.wrapperStarts.push_back(doc.size());
    doc += w;
    doc.append(text.substr(lineStart, lineEnd - lineStart));
    b.wrapperStarts.push_back(doc.size());
    doc += w;
    if (lineEnd == text.size()) break;
    doc += '\n';
    lineStart = lineEnd + 1;
  }
  b.doc = doc.data();
  b.size = doc.size();

  MD_PARSER parser{};
  parser.abi_version = 0;
  parser.flags = MD_FLAG_NOHTML | MD_FLAG_STRIKETHROUGH | MD_FLAG_NOINDENTEDCODEBLOCKS;
  parser.enter_block = [](MD_BLOCKTYPE, void*, void*) { return 0; };
  parser.leave_block = [](MD_BLOCKTYPE, void*, void*) { return 0; };
  parser.enter_span = [](MD_SPANTYPE type, void* detail, void* user) {
    auto* builder = static_cast<Builder*>(user);
    Span span{type, {}};
    if (type == MD_SPAN_A && detail != nullptr) {
      const MD_ATTRIBUTE& href = static_cast<MD_SPAN_A_DETAIL*>(detail)->href;
      span.href.assign(href.text, href.size);
    }
    builder->spans.push_back(std::move(span));
    return 0;
  };
  parser.leave_span = [](MD_SPANTYPE, void*, void* user) {
    auto* builder = static_cast<Builder*>(user);
    if (!builder->spans.empty()) builder->spans.pop_back();
    return 0;
  };
  parser.text = [](MD_TEXTTYPE type, const MD_CHAR* piece, MD_SIZE n, void* user) {
    auto* builder = static_cast<Builder*>(user);
    switch (type) {
      case MD_TEXT_BR:
      case MD_TEXT_SOFTBR:
        builder->out.append("\n", builder->attributes());
        break;
      case MD_TEXT_NULLCHAR:
        builder->out.append("\xEF\xBF\xBD", builder->attributes());
        break;
      case MD_TEXT_ENTITY:
        builder->out.append(decodeEntity(piece, n), builder->attributes());
        break;
      default:
        builder->appendSource(piece, n);
        break;
    }
    return 0;
  };
  if (md_parse(doc.data(), static_cast<MD_SIZE>(doc.size()), &parser, &b) != 0) {
    return std::nullopt;
  }
  return std::move(b.out);
}

}  // namespace quarn::detail
