#pragma once

#include <QString>

#include <array>
#include <optional>

namespace vantry::options {

// The value of an IPv4 address field: four octets and the text built from them. The text stays
// empty until an octet is first set, so a field never touched reads as not entered.
class Ipv4Octets
{
public:
    int octet(int index) const; // 0 outside 0..3
    // Clamps into 0..255; each set rebuilds the text. Indexes outside 0..3 are ignored.
    void setOctet(int index, int value);
    const QString& text() const { return m_text; }
    // An address whose first octet is 0 counts as not entered.
    bool entered() const { return m_octets[0] != 0; }

    // The octet a box's text stands for: 1 to 3 digits worth 0..255; nothing otherwise.
    static std::optional<int> octetFromText(QStringView text);
    // Applies an edited box: a valid number sets the octet; an emptied box leaves it as it was.
    // Returns the text the box must be set back to when its text stands for no octet.
    std::optional<QString> applyBoxText(int index, const QString& text);
    // A whole dotted address (a paste), blanks around it allowed: sets all four octets. False, and
    // nothing set, for anything else.
    bool applyAddress(QStringView text);

private:
    std::array<int, 4> m_octets{};
    QString m_text;
};

} // namespace vantry::options
