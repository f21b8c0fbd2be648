#pragma once

#include "options/Ipv4Octets.h"
#include "options/LiveSettings.h"

#include <QString>
#include <QVector>

namespace vantry::options {

// Why a new range of the two address fields is refused; empty when it may be added.
QString newRangeError(const Ipv4Octets& first, const Ipv4Octets& last, const QVector<AddressRange>& ranges);

// Why a new favourite is refused; empty when it may be added.
QString newFavouriteError(const Ipv4Octets& address, const QString& port,
                          const QVector<Favourite>& favourites);

// True when the list holds the same address text with the same port text.
bool containsFavourite(const QVector<Favourite>& favourites, const Favourite& favourite);

// The refusal of a port text that is not a destination port (0, above 65535, not digits);
// empty when the port is one. An empty text is the caller's to judge.
QString portError(const QString& port);
inline constexpr const char16_t* BadPortMessage = u"Bad port: use a number from 1 to 65535";

// Favourite sort orders: address texts letter case ignored; ports as whole numbers, a text that is
// no number counting as 0. Both return -1, 0 or 1.
int compareAddressText(const QString& a, const QString& b);
int comparePortText(const QString& a, const QString& b);
// Ascending by column 0 (address) or any other column (port); equal rows keep their order.
void sortFavourites(QVector<Favourite>& favourites, int column);

// The transparency level in force after loading: a stored value outside 0..255 does not wrap, and no
// level makes the windows too faint to be seen and reached.
inline constexpr int MinimumVisibleLevel = 30;
int loadedTransparencyLevel(int stored);

} // namespace vantry::options
