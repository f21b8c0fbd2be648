#pragma once

#include "CliArguments.h"
#include "CliRun.h"

#include <ostream>
#include <string>
#include <vector>

namespace vantry::cli {

// Runs "master" with its options and returns the exit status: the lists
// of public servers from the Steam Web API and from UDP masters, printed or queried. Host names
// of masters go to `lookup`; waits are measured on `clock`. The key is never written to `out` or
// `err`.
int runMaster(const CliOptions& options, std::ostream& out, std::ostream& err, const HostLookup& lookup,
              query::Clock& clock);

} // namespace vantry::cli
