#pragma once

#include "query/MasterFilter.h"
#include "query/MasterProtocol.h"

#include <QStringList>

#include <cstddef>
#include <vector>

namespace vantry::options {
struct MasterSource;
}

namespace vantry::browser {

// Public server lists that a sweep fetches before it probes. The fetch runs on the event loop
// while the sweep waits in its pauses; the sweep asks how far it got.
// Why a sweep's lists gave no address, for the one message that says what to do.
enum class ListFailure
{
    None,         // addresses came, or the fetch still runs
    NothingToAsk, // public lists are on, but no key, master or community list is set
    NoNetwork,    // no source could be reached: no name resolution or no route
    KeyRefused,   // the Steam Web API refused the key, and nothing else listed a server
    NoAnswer,     // the sources were reached but none listed a server
};

class ListSource
{
public:
    virtual ~ListSource() = default;

    // Starts fetching the lists the settings name, for the scan mode (0 game servers, 1 HLTV
    // relays); a fetch still running is dropped first.
    virtual void start(const options::MasterSource& source, int scanMode) = 0;
    // Ends a fetch where it stands; what came so far is kept.
    virtual void cancel() = 0;
    virtual bool running() const = 0;

    // Every address once, in the order they came, at most the limit.
    virtual const std::vector<query::Endpoint>& servers() const = 0;
    // What went wrong, one sentence each, in English, for the box after the sweep. Never the key.
    virtual QStringList problems() const = 0;
    virtual ListFailure failure() const = 0;
};

// The lists a sweep asks for. Game servers: every game kind the list shows, by the application
// number its servers register under. HLTV relays: spectator proxies (\proxy\1) of the older
// engine's games; the relays register under their game's number and are listed at their own
// port, which is where they are probed (Source servers carry their relay in the game server
// itself, and the masters' answer to \proxy\1 for them is disputed).
std::vector<query::ListFilter> sweepFilters(int scanMode);

} // namespace vantry::browser
