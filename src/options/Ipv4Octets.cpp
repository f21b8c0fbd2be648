#include "Ipv4Octets.h"

#include <algorithm>

namespace vantry::options {

int Ipv4Octets::octet(int index) const
{
    return index >= 0 && index < 4 ? m_octets[static_cast<std::size_t>(index)] : 0;
}

void Ipv4Octets::setOctet(int index, int value)
{
    if (index < 0 || index >= 4)
        return;
    m_octets[static_cast<std::size_t>(index)] = std::clamp(value, 0, 255);
    m_text =
        QStringLiteral("%1.%2.%3.%4").arg(m_octets[0]).arg(m_octets[1]).arg(m_octets[2]).arg(m_octets[3]);
}

std::optional<int> Ipv4Octets::octetFromText(QStringView text)
{
    if (text.isEmpty() || text.size() > 3)
        return std::nullopt;
    int value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > 255)
        return std::nullopt;
    return value;
}

std::optional<QString> Ipv4Octets::applyBoxText(int index, const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    if (const std::optional<int> value = octetFromText(text)) {
        setOctet(index, *value);
        return std::nullopt;
    }
    return QString::number(octet(index));
}

} // namespace vantry::options
