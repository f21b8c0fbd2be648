#pragma once

#include "query/Dispatcher.h"

// Checks that hold for every outcome whatever the input; a broken one aborts the fuzzer.
namespace vantry::fuzz {

void checkRow(const vantry::query::ServerRow& row, const vantry::query::Source& from);
void checkOutcome(const vantry::query::Outcome& outcome, const vantry::query::Source& from);

} // namespace vantry::fuzz
