// The records' text-template operations: item data, rows, lists of elements
// with their vars, item records changed in place, and their type-erased
// wrappers.
#include "quarnkit/composite_list/model/text_template_element.h"

#include <gtest/gtest.h>

#include "quarnkit/composite_list/model/section_item.h"
#include "quarnkit/composite_list/model/text_template.h"
#include "quarnkit/composite_list/testing/model_fixtures.h"

namespace quarn {
namespace {

using Rows = CompositeListSectionItem<std::vector<CompositeListRow>>;

const ValueDictionary kValues{{"name", "Ann"}, {"count", 3}, {"total", "2 * 3"}};

CompositeListRow row(std::string text, std::optional<std::string> details = std::nullopt,
                     std::optional<Value> vars = std::nullopt) {
  CompositeListRow r(std::nullopt, std::move(text), std::move(details));
  r.vars = std::move(vars);
  return r;
}

TEST(CompositeListTextTemplateTest, ItemDataAndRows) {
  CompositeListItemData data;
  data.title = "Hi ${name}";
  data.footerText = "${count} more";
  data.style = "${name}";  // not a text
  const CompositeListItemData done = data.templateText(kValues);
  EXPECT_EQ(done.title, "Hi Ann");
  EXPECT_FALSE(done.description);
  EXPECT_EQ(done.footerText, "3 more");
  EXPECT_EQ(done.style, "${name}");

  EXPECT_EQ(row("${name}", "${count}").templateText(kValues), row("Ann", "3"));
  EXPECT_EQ(row("${name}").templateText(kValues), row("Ann"));
  EXPECT_EQ(row("${total}").templateText(kValues).text, "2 * 3") << "expressions are off";
}

TEST(CompositeListTextTemplateTest, ListsMergeEachElementsVars) {
  const std::vector<CompositeListRow> rows{
      row("${name} ${count}"),
      row("${name} ${count}", std::nullopt, Value{{"name", "Bo"}, {"extra", 1}}),
      row("${name}", std::nullopt, Value(Value::Array{1})),  // not an object: no merge
      // One element's vars never reach the next.
      row("${name} ${count}", std::nullopt, Value{{"count", 4}}),
  };
  const auto done = templateText(rows, kValues);
  ASSERT_EQ(done.size(), 4u);
  EXPECT_EQ(done[0].text, "Ann 3");
  EXPECT_EQ(done[1].text, "Bo 3");
  EXPECT_EQ(done[2].text, "Ann");
  EXPECT_EQ(done[3].text, "Ann 4");
  EXPECT_EQ(done[1].vars, rows[1].vars);

  // Neither a replaced nor an added entry outlives its element, with or
  // without vars in the elements after it.
  const std::vector<CompositeListRow> after{
      row("${name}", std::nullopt, Value{{"name", "Bo"}, {"extra", 1}}),
      row("${name} ${count}", std::nullopt, Value{{"count", 4}}),
      row("${name} ${count}"),
  };
  const auto next = templateText(after, kValues);
  EXPECT_EQ(next[1].text, "Ann 4");
  EXPECT_EQ(next[2].text, "Ann 3");
  for (const auto& vars : {std::optional<Value>(Value{{"count", 5}}), std::optional<Value>()}) {
    const std::vector<CompositeListRow> alone{row("${extra}", std::nullopt, vars)};
    const std::vector<CompositeListRow> second{after[0], alone[0]};
    EXPECT_EQ(templateText(second, kValues)[1].text, templateText(alone, kValues)[0].text);
    EXPECT_NE(templateText(second, kValues)[1].text, "1");
  }
}

TEST(CompositeListTextTemplateTest, RecordsChangeInPlaceAndWrappersWrapAnew) {
  CompositeListItemData data;
  data.title = "Rows for ${name}";
  auto record =
      std::make_shared<Rows>("r", CompositeListItemType::rows,
                             std::vector<CompositeListRow>{row("${count} left")}, data, false);
  const AnyCompositeListItem item(record);
  const AnyCompositeListItem done = item.templateText(kValues);
  EXPECT_EQ(done.base(), record) << "the same record";
  EXPECT_EQ(done.data()->title, "Rows for Ann");
  EXPECT_EQ(item.data()->title, "Rows for ${name}") << "the old snapshot stays";
  EXPECT_EQ(record->data()->title, "Rows for Ann");
  EXPECT_EQ(record->entity()->front().text, "3 left");

  // Entities that are not template elements are left alone; nested item lists
  // are templated, each item with its vars.
  auto product = std::make_shared<CompositeListSectionItem<testing::Product>>(
      "p", CompositeListItemType::banner, testing::Product{1, "${name}"}, data, false);
  auto inner =
      std::make_shared<Rows>("i", CompositeListItemType::rows,
                             std::vector<CompositeListRow>{row("${name}")}, std::nullopt, false);
  inner->setVars(Value{{"name", "Cy"}});
  auto nested = std::make_shared<CompositeListSectionItem<std::vector<AnyCompositeListItem>>>(
      "t", CompositeListItemType::template_,
      std::vector<AnyCompositeListItem>{AnyCompositeListItem(inner)}, std::nullopt, false);
  const auto list = templateText(
      std::vector{AnyCompositeListItem(product), AnyCompositeListItem(nested)}, kValues);
  EXPECT_EQ(list[0].data()->title, "Rows for Ann");
  EXPECT_EQ(product->entity()->name, "${name}");
  EXPECT_EQ(inner->entity()->front().text, "Cy");
}

TEST(CompositeListTextTemplateTest, RecordsTemplatedAgainAreFilledFromTheirTemplateTexts) {
  CompositeListItemData data;
  data.title = "Rows for ${name}";
  auto record = std::make_shared<Rows>(
      "r", CompositeListItemType::rows,
      std::vector<CompositeListRow>{row("${count} left"), row("plain")}, data, false);
  record->templateText(kValues);
  record->templateText({{"name", "Bo"}, {"count", 7}});
  EXPECT_EQ(record->data()->title, "Rows for Bo");
  EXPECT_EQ(record->entity()->front().text, "7 left");
  EXPECT_EQ(record->entity()->back().text, "plain");

  // Data or an entity set afterwards is the new template.
  CompositeListItemData other;
  other.title = "Other ${count}";
  record->setData(other);
  record->setEntity(std::vector<CompositeListRow>{row("${name} now")});
  record->templateText(kValues);
  EXPECT_EQ(record->data()->title, "Other 3");
  EXPECT_EQ(record->entity()->front().text, "Ann now");
  // Texts without placeholders stay as they are set.
  record->setData(CompositeListItemData{});
  record->templateText(kValues);
  EXPECT_FALSE(record->data()->title);
}

TEST(CompositeListTextTemplateTest, LookUpFailuresReachTheCaller) {
  CompositeListItemData data;
  data.description = "${count.@bogus}";
  auto record = std::make_shared<Rows>("r", CompositeListItemType::rows,
                                       std::vector<CompositeListRow>{}, data, false);
  EXPECT_THROW((void)AnyCompositeListItem(record).templateText(kValues), ExpressionEvaluationError);
  EXPECT_THROW((void)templateText(std::vector{row("${count.x}")}, kValues),
               ExpressionEvaluationError);
}

}  // namespace
}  // namespace quarn
