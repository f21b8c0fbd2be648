#pragma once

#include "query/Dispatcher.h"

// Checks that hold for every outcome whatever the input; a broken one aborts the fuzzer.
namespace vantry::fuzz {

void checkRow(const vantry::query::ServerRow& row, const vantry::query::Endpoint& from);
// requests: the dispatcher's, to check the challenge slot against a challenge answer.
void checkOutcome(const vantry::query::Outcome& outcome, const vantry::query::Endpoint& from,
                  const vantry::query::Requests* requests = nullptr);

} // namespace vantry::fuzz
