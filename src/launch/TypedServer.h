#pragma once

#include "query/Endpoint.h"

#include <QString>

#include <optional>

namespace vantry::launch {

// A server address as the user types it to join: "a.b.c.d:port", or "a.b.c.d" for the game port.
struct TypedServer
{
    std::optional<query::Endpoint> server;
    QString problem; // what is wrong with the text, for the user; empty when server is set
};

// Reads the typed text (blanks around it ignored); defaultPort is the game port setting's text.
TypedServer readTypedServer(const QString& text, const QString& defaultPort);

} // namespace vantry::launch
