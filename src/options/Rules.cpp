#include "Rules.h"

#include <algorithm>

namespace vantry::options {

QString newRangeError(const Ipv4Octets& first, const Ipv4Octets& last, const QVector<AddressRange>& ranges)
{
    const int a = first.octet(0), b = first.octet(1), c = first.octet(2), d = first.octet(3);
    const int a2 = last.octet(0), b2 = last.octet(1), c2 = last.octet(2), d2 = last.octet(3);
    if (a == 0 || a2 == 0)
        return QStringLiteral("Incorrect IP range");
    if (a != a2 || b != b2 || c2 < c || c2 - c > 19)
        return QStringLiteral("IP range incorrect or very big");
    if (c == c2 && d2 < d)
        return QStringLiteral("IP range incorrect");
    for (const AddressRange& range : ranges) {
        if (range.from == first.text() || range.to == last.text())
            return QStringLiteral("IP range exist");
    }
    return {};
}

bool containsFavourite(const QVector<Favourite>& favourites, const Favourite& favourite)
{
    return std::any_of(favourites.begin(), favourites.end(), [&](const Favourite& f) {
        return f.address == favourite.address && f.port == favourite.port;
    });
}

QString portError(const QString& port)
{
    bool ok = false;
    const int value = port.toInt(&ok);
    const bool digitsOnly =
        std::all_of(port.begin(), port.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!ok || !digitsOnly || value < 1 || value > 65535)
        return QString::fromUtf16(BadPortMessage);
    return {};
}

QString newFavouriteError(const Ipv4Octets& address, const QString& port,
                          const QVector<Favourite>& favourites)
{
    if (!address.entered() || port.isEmpty())
        return QStringLiteral("Bad address");
    if (QString error = portError(port); !error.isEmpty())
        return error;
    if (containsFavourite(favourites, {address.text(), port}))
        return QStringLiteral("This address is already exist");
    return {};
}

int compareAddressText(const QString& a, const QString& b)
{
    const int result = a.compare(b, Qt::CaseInsensitive);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

namespace {

qint64 portNumber(const QString& text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    return ok ? value : 0;
}

} // namespace

int comparePortText(const QString& a, const QString& b)
{
    const qint64 x = portNumber(a);
    const qint64 y = portNumber(b);
    return x > y ? 1 : (x < y ? -1 : 0);
}

void sortFavourites(QVector<Favourite>& favourites, int column)
{
    std::stable_sort(favourites.begin(), favourites.end(), [column](const Favourite& x, const Favourite& y) {
        return column == 0 ? compareAddressText(x.address, y.address) < 0
                           : comparePortText(x.port, y.port) < 0;
    });
}

int loadedTransparencyLevel(int stored)
{
    return std::clamp(stored, MinimumVisibleLevel, 255);
}

} // namespace vantry::options
