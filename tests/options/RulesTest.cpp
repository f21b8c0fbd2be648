#include "options/Rules.h"

#include "options/Ipv4Octets.h"

#include <gtest/gtest.h>

using namespace vantry::options;

namespace {

Ipv4Octets address(int a, int b, int c, int d)
{
    Ipv4Octets octets;
    octets.setOctet(0, a);
    octets.setOctet(1, b);
    octets.setOctet(2, c);
    octets.setOctet(3, d);
    return octets;
}

QString rangeError(Ipv4Octets first, Ipv4Octets last, const QVector<AddressRange>& list = {})
{
    return newRangeError(first, last, list);
}

} // namespace

TEST(RangeRules, MessagesInTheirOrder)
{
    EXPECT_EQ(rangeError(address(192, 168, 0, 1), address(192, 168, 19, 254)), QString());
    EXPECT_EQ(rangeError(address(192, 168, 0, 1), address(192, 168, 20, 254)),
              u"IP range incorrect or very big");
    EXPECT_EQ(rangeError(address(10, 0, 5, 10), address(10, 0, 5, 9)), u"IP range incorrect");
    EXPECT_EQ(rangeError(address(10, 0, 5, 10), address(10, 0, 6, 9)), QString());
    EXPECT_EQ(rangeError(address(10, 0, 0, 1), address(10, 1, 0, 1)), u"IP range incorrect or very big");
    EXPECT_EQ(rangeError(address(10, 0, 0, 1), address(11, 0, 0, 1)), u"IP range incorrect or very big");
    EXPECT_EQ(rangeError(address(10, 0, 6, 1), address(10, 0, 5, 1)), u"IP range incorrect or very big");
    EXPECT_EQ(rangeError(Ipv4Octets(), address(10, 0, 0, 1)), u"Incorrect IP range");
    EXPECT_EQ(rangeError(address(10, 0, 0, 1), address(0, 0, 0, 1)), u"Incorrect IP range");
    // A zero first octet wins over every other fault.
    EXPECT_EQ(rangeError(address(0, 5, 9, 9), address(10, 0, 0, 1)), u"Incorrect IP range");
}

TEST(RangeRules, ExistingRangeIsFoundByEitherAddressTextButOverlapsAreAllowed)
{
    const QVector<AddressRange> list{{true, QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.254")}};
    EXPECT_EQ(rangeError(address(10, 0, 0, 1), address(10, 0, 0, 100), list), u"IP range exist");
    EXPECT_EQ(rangeError(address(10, 0, 0, 50), address(10, 0, 0, 254), list), u"IP range exist");
    EXPECT_EQ(rangeError(address(10, 0, 0, 100), address(10, 0, 0, 200), list), QString());
}

TEST(FavouriteRules, BadAddressDuplicatesAndPortsOutsideTheUdpRange)
{
    QVector<Favourite> list;
    const QString port = QStringLiteral("27015");
    EXPECT_EQ(newFavouriteError(Ipv4Octets(), port, list), u"Bad address");
    EXPECT_EQ(newFavouriteError(address(0, 1, 2, 3), port, list), u"Bad address");
    EXPECT_EQ(newFavouriteError(address(192, 168, 0, 5), QString(), list), u"Bad address");
    EXPECT_EQ(newFavouriteError(address(192, 168, 0, 5), port, list), QString());
    list.append({QStringLiteral("192.168.0.5"), port});
    EXPECT_EQ(newFavouriteError(address(192, 168, 0, 5), port, list), u"This address is already exist");
    EXPECT_EQ(newFavouriteError(address(192, 168, 0, 5), QStringLiteral("27020"), list), QString());
    EXPECT_EQ(newFavouriteError(address(192, 168, 0, 5), QStringLiteral("0"), list),
              QString::fromUtf16(BadPortMessage));
    EXPECT_EQ(newFavouriteError(address(192, 168, 0, 5), QStringLiteral("70000"), list),
              QString::fromUtf16(BadPortMessage));
    EXPECT_EQ(portError(QStringLiteral("65535")), QString());
    EXPECT_EQ(portError(QStringLiteral("1")), QString());
    EXPECT_FALSE(portError(QStringLiteral("65536")).isEmpty());
    EXPECT_FALSE(portError(QStringLiteral("+80")).isEmpty());
    EXPECT_FALSE(portError(QStringLiteral("8 0")).isEmpty());
}

TEST(FavouriteSort, AddressAsTextIgnoringCasePortAsNumberJunkAsZero)
{
    EXPECT_LT(compareAddressText(QStringLiteral("10.0.0.10"), QStringLiteral("10.0.0.9")), 0);
    EXPECT_GT(compareAddressText(QStringLiteral("192.168.0.5"), QStringLiteral("10.0.0.9")), 0);
    EXPECT_EQ(compareAddressText(QStringLiteral("Host"), QStringLiteral("hOST")), 0);
    EXPECT_EQ(comparePortText(QStringLiteral("27005"), QStringLiteral("27015")), -1);
    EXPECT_EQ(comparePortText(QStringLiteral("9"), QStringLiteral("10")), -1); // not as text
    EXPECT_EQ(comparePortText(QStringLiteral("27015"), QStringLiteral("27015")), 0);
    EXPECT_EQ(comparePortText(QStringLiteral("abc"), QStringLiteral("0")), 0);
    EXPECT_EQ(comparePortText(QStringLiteral("abc"), QStringLiteral("1")), -1);
    EXPECT_EQ(comparePortText(QStringLiteral("99999999999999999999999"), QStringLiteral("1")), -1);

    QVector<Favourite> list{{QStringLiteral("b"), QStringLiteral("27015")},
                            {QStringLiteral("a"), QStringLiteral("junk")},
                            {QStringLiteral("C"), QStringLiteral("27005")},
                            {QStringLiteral("A"), QStringLiteral("")}};
    sortFavourites(list, 1);
    EXPECT_EQ(list[0].address, u"a"); // junk and empty sort as 0 and keep their order
    EXPECT_EQ(list[1].address, u"A");
    EXPECT_EQ(list[2].address, u"C");
    sortFavourites(list, 0);
    EXPECT_EQ(list[0].address, u"a");
    EXPECT_EQ(list[1].address, u"A");
    EXPECT_EQ(list[2].address, u"b");
    sortFavourites(list, 0); // same header again: still ascending
    EXPECT_EQ(list[3].address, u"C");
}

TEST(Ipv4Octets, TextAppearsWithTheFirstSetAndBoxesSetBackWhatIsNoOctet)
{
    Ipv4Octets value;
    EXPECT_TRUE(value.text().isEmpty());
    EXPECT_FALSE(value.entered());
    EXPECT_EQ(value.applyBoxText(0, QStringLiteral("10")), std::nullopt);
    EXPECT_EQ(value.text(), u"10.0.0.0");
    EXPECT_EQ(value.applyBoxText(0, QStringLiteral("300")), QStringLiteral("10"));
    EXPECT_EQ(value.octet(0), 10);
    EXPECT_EQ(value.applyBoxText(0, QString()), std::nullopt); // emptied: the octet stays
    EXPECT_EQ(value.octet(0), 10);
    EXPECT_EQ(value.applyBoxText(2, QStringLiteral("007")), std::nullopt);
    EXPECT_EQ(value.text(), u"10.0.7.0"); // no leading zeros
    value.setOctet(3, 999);
    EXPECT_EQ(value.octet(3), 255);
    value.setOctet(7, 1); // no such octet
    EXPECT_EQ(value.octet(7), 0);
    EXPECT_EQ(Ipv4Octets::octetFromText(u"2a"), std::nullopt);
    EXPECT_EQ(Ipv4Octets::octetFromText(u"1000"), std::nullopt);
    EXPECT_EQ(Ipv4Octets::octetFromText(u"255"), 255);
}

TEST(TransparencyLevel, StoredLevelsOutsideTheByteDoNotWrapAndNoneIsInvisible)
{
    EXPECT_EQ(loadedTransparencyLevel(256), 255); // the low byte would be 0: an invisible window
    EXPECT_EQ(loadedTransparencyLevel(511), 255);
    EXPECT_EQ(loadedTransparencyLevel(-1), MinimumVisibleLevel);
    EXPECT_EQ(loadedTransparencyLevel(0), MinimumVisibleLevel);
    EXPECT_EQ(loadedTransparencyLevel(30), 30);
    EXPECT_EQ(loadedTransparencyLevel(200), 200);
}
