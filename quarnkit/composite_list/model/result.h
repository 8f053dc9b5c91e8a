/// @file
/// CompositeListResult: the server's answer to a combined request: one entry per request item, each
/// a key (the item's uniqueId) and the decoded entities.

/// @struct quarn::CompositeListResult
/// The server's answer to a combined request: one entry
/// per request item, each a key (the item's uniqueId) and the decoded
/// entities. JSON: a bare array of {"key": ..., "result": [entity...] or
/// entity}, each entity naming its model "class".
///
/// Decoding needs the entity class map in the decoder settings
/// (kCompositeListEntityClassMapKey); without it decoding stops the program.
#pragma once

#include <string>
#include <vector>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/composite_list/model/entity.h"

namespace quarn {

struct CompositeListResult {
  /// One item's result: the key of its request and the entities that came back.
  struct Item {
    /// The key of the request answered.
    std::string key;
    /// The entities, in order.
    std::vector<AnyEntity> results;

    /// Entities of unknown classes in a "result" array are logged and
    /// skipped; any other failing entity fails the item. A "result" that is
    /// a single object decodes leniently: any failure gives no entities.
    static Item decode(Decoder& d);
  };

  /// The results, in order.
  std::vector<Item> items;

  /// Decodes the bare array of results; throws DecodingError.
  static CompositeListResult decode(Decoder& d) { return {d.decode<std::vector<Item>>()}; }
};

/// Decodes a result document with `decoder` and the class map added to its
/// settings.
CompositeListResult decodeCompositeListResult(std::string_view json,
                                              const CompositeListEntityClassMap& classMap,
                                              JSONDecoder decoder = {});

}  // namespace quarn
