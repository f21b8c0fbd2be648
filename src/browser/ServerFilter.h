#pragma once

#include "query/Records.h"

#include <QString>
#include <QStringMatcher>

#include <functional>
#include <optional>

namespace vantry {
class IniFile;
}

namespace vantry::browser {

// What the user narrows the server list to. Empty texts and a maximum ping of 0 let every server
// through.
struct FilterSettings
{
    QString text; // a part of the name, map, address:port or game
    bool notFull = false;
    bool notEmpty = false;
    bool noPassword = false;
    std::optional<query::Game> game; // none: every game
    QString map;                     // a part of the map name
    QString name;                    // a part of the server name (the command line's --name)
    int maxPingMs = 0;               // 0: any; a server of unknown round trip then fails
    bool joinable = false;           // only servers for which a game client is set

    bool operator==(const FilterSettings&) const = default;
    bool isEmpty() const { return *this == FilterSettings{}; }
};

inline constexpr int MaxFilterPingMs = 9999;

// The one matcher of the window's filter bar and the command line. Texts compare case-folded, so
// that "сервер" finds "СЕРВЕР".
class ServerFilter
{
public:
    ServerFilter() = default;
    explicit ServerFilter(const FilterSettings& settings);

    // Whether a client is set that joins the server; without it, «joinable» hides nothing.
    using CanJoin = std::function<bool(const query::ServerRow&)>;
    void setCanJoin(CanJoin canJoin) { m_canJoin = std::move(canJoin); }

    const FilterSettings& settings() const { return m_settings; }
    bool isEmpty() const { return m_settings.isEmpty(); }

    bool matches(const query::ServerRow& row) const;
    // The same, with the row's searchText() made once beforehand: a list of many rows tests
    // every row at each keystroke.
    bool matches(const query::ServerRow& row, QStringView searchText) const;
    // Whether the text alone would find the row; the rest of the filter aside.
    bool textMatches(QStringView searchText) const;
    // Whether the filter looks at anything but the text.
    bool looksBeyondText() const;

    // The folded texts the filter's text is looked for in, kept apart so that no match spans two.
    static QString searchText(const query::ServerRow& row);

private:
    FilterSettings m_settings;
    QString m_text; // folded
    QStringMatcher m_textMatcher;
    bool m_textImpossible = false; // holds the fields' separator
    QString m_map;                 // folded
    QString m_name;                // folded
    bool m_beyondText = false;
    CanJoin m_canJoin;
};

// The game text shown in the list ("HL", "CSS", "?") and back; none for other texts.
std::optional<query::Game> gameFromText(const QString& text);

// Section "Filter" of the settings file; what cannot be read takes its default.
FilterSettings loadFilter(const IniFile& file);
void saveFilter(IniFile& file, const FilterSettings& settings);

// The list's order: a column and its direction, or the order of arrival (column -1).
struct SortChoice
{
    int column = -1;
    bool descending = false;
    bool operator==(const SortChoice&) const = default;
};

// Section "View", keys SortColumn and SortOrder (0 ascending, 1 descending).
SortChoice loadSort(const IniFile& file, int columnCount);
void saveSort(IniFile& file, const SortChoice& sort);

} // namespace vantry::browser
