// Facts and variables shared by the language's tests.
#pragma once

#include "quarnkit/core/value.h"
#include "quarnkit/predicate/evaluation_context.h"

namespace quarn::testing {

inline const Date kTestNow = Date(1706695200);  // 2024-01-31T10:00:00Z

inline ValueDictionary predicateTestFacts() {
  return ValueDictionary{
      {"os", "iOS"},
      {"is_pad", true},
      {"app.version", "2.1"},
      {"app.build", 42},
      {"date", kTestNow},
      {"date.year", 2024},
      {"size", 3},
      {"score", 2.5},
      {"nothing", nullptr},
      {"empty", Value::Array{}},
      {"languages", Value::Array{"en", "de"}},
      {"user",
       {{"name", "Zo\u00eb"},
        {"age", 30},
        {"tags", Value::Array{"a", "b"}},
        {"profile", {{"level", 3}}}}},
      {"items",
       Value::Array{Value{{"name", "x"}, {"price", 2}}, Value{{"name", "y"}, {"price", 3.5}},
                    Value{{"name", "x"}, {"price", 1}}}},
  };
}

inline ValueDictionary predicateTestVariables() {
  return ValueDictionary{{"min", 40},
                         {"when", kTestNow.addingTimeInterval(3600)},
                         {"names", Value::Array{"a", "b"}},
                         {"total", "2 * 3"}};
}

inline EvaluationContext predicateTestContext() {
  return EvaluationContext{kTestNow, [] { return 0.55; }};
}

}  // namespace quarn::testing
