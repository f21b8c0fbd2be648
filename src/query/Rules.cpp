#include "Rules.h"

#include "Dispatcher.h"
#include "RowText.h"

#include <algorithm>

namespace vantry::query {

std::vector<RuleRow> AddRules(Bytes reply)
{
    constexpr std::size_t CountOffset = 5;
    constexpr std::size_t FirstRule = 7;

    // Only the low byte of the 16-bit count is read. A count past the table (0xFF included,
    // which some replies carry instead of a real count) shows the rules that are present, up to
    // the size of the table: a list cut at 201 is more use than none.
    const std::size_t count =
        std::min<std::size_t>(ByteReader::byteAt(reply, CountOffset), Dispatcher::RulesTableSize);
    std::vector<RuleRow> rules;
    rules.reserve(std::min<std::size_t>(count, reply.size() / 2));
    ByteReader in(reply, FirstRule);
    for (std::size_t i = 0; i < count && !in.atEnd(); ++i) {
        RuleRow rule;
        rule.name = rowtext::shown(rowtext::raw(in.cstring()));
        rule.value = rowtext::shown(rowtext::raw(in.cstring()));
        rules.push_back(std::move(rule));
    }
    return rules;
}

} // namespace vantry::query
