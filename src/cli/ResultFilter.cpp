#include "ResultFilter.h"

#include "browser/ServerFilter.h"

namespace vantry::cli {

bool passes(const ResultFilter& filter, const query::ServerRow& row)
{
    browser::FilterSettings s;
    s.notFull = filter.notFull;
    s.notEmpty = filter.notEmpty;
    s.noPassword = filter.noPassword;
    s.map = QString::fromStdString(filter.map);
    s.name = QString::fromStdString(filter.name);
    s.maxPingMs = filter.maxPingMs;
    return browser::ServerFilter(s).matches(row);
}

} // namespace vantry::cli
