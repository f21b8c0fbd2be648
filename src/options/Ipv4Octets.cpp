#include "Ipv4Octets.h"

#include <QList>

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

bool Ipv4Octets::applyAddress(QStringView text)
{
    const QList<QStringView> parts = text.trimmed().split(u'.');
    if (parts.size() != 4)
        return false;
    std::array<int, 4> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::optional<int> value = octetFromText(parts[static_cast<qsizetype>(i)]);
        if (!value)
            return false;
        values[i] = *value;
    }
    for (int i = 0; i < 4; ++i)
        setOctet(i, values[static_cast<std::size_t>(i)]);
    return true;
}

} // namespace vantry::options
