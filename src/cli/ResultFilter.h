#pragma once

#include "query/Records.h"

#include <string>

namespace vantry::cli {

// Which answering servers are printed: the main window's filter rules. Texts are UTF-8 and
// match a part, whatever the case.
struct ResultFilter
{
    bool notFull = false;
    bool notEmpty = false;
    bool noPassword = false;
    std::string map;
    std::string name;
    int maxPingMs = 0; // 0: any
};

// Whether the filter lets the server through.
bool passes(const ResultFilter& filter, const query::ServerRow& row);

} // namespace vantry::cli
