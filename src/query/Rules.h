#pragma once

#include "ByteReader.h"
#include "Records.h"

#include <vector>

namespace vantry::query {

// The rules of a rules reply, `reply` starting at its FF FF FF FF 'E' (the count is at offset 5,
// the first rule at offset 7), in reply order. At most min(count, RulesTableSize) rules, and only
// those whose name starts inside `reply`.
std::vector<RuleRow> AddRules(Bytes reply);

} // namespace vantry::query
