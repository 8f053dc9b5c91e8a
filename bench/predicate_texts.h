// Predicate texts shared by the benchmarks that filter elements: twenty
// distinct texts of four typical shapes (comparisons joined by AND/OR, key
// paths two levels deep, $variables, aggregates, string options, sets).
#pragma once

#include <string>
#include <vector>

namespace bench {

inline std::vector<std::string> twentyPredicateTexts() {
  std::vector<std::string> texts;
  for (int i = 0; i < 20; ++i) {
    switch (i % 4) {
      case 0:
        texts.push_back("user.profile.age >= " + std::to_string(10 + i) +
                        " AND country == $country OR score > 5.5");
        break;
      case 1:
        texts.push_back("app.build >= $min AND is_pad == NO AND os == 'iOS' AND date.year > " +
                        std::to_string(2000 + i));
        break;
      case 2:
        texts.push_back("ANY preferred_languages BEGINSWITH[c] 'EN' OR user.profile.level == " +
                        std::to_string(i));
        break;
      default:
        texts.push_back("NOT (is_premium == YES) AND country IN {'DE', 'AT', 'CH'} AND score < " +
                        std::to_string(i));
        break;
    }
  }
  return texts;
}

}  // namespace bench
