#pragma once

#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "net/net_session.h"

namespace net_test {

// Finds the session at `address` and joins it.
inline bool Join(NetSession& client, const std::string& address)
{
    std::strncpy(client.TcpAddress, address.c_str(), sizeof client.TcpAddress - 1);
    client.SelectConnection(kNetKindTcp);
    client.FindWaitMs = 2000; // ends at the first answer
    if (client.EnumSessions(false) != kNetOk || client.SessionCount() != 1 || client.Join(0) != kNetOk) {
        ADD_FAILURE() << "the client could not find and join the session at " << address;
        return false;
    }
    return true;
}

// A host and a client session on loopback: the host on a free port, the
// client finding it by its address and joining; each has created its
// player (the host's the server player, id 1).
struct SessionPair {
    NetSession host;
    NetSession client;
    std::uint32_t hostId = 0;
    std::uint32_t clientId = 0;

    std::string Address() { return "127.0.0.1:" + std::to_string(host.Transport().Port()); }

    // Hosts and joins; false (with a failure added) when that did not work.
    bool Open(const char* clientName = "RIDER", std::uint32_t silenceMs = 0,
              const std::vector<std::uint8_t>& hostData = {'h'}, const std::vector<std::uint8_t>& clientData = {'c'})
    {
        host.Port = 0;
        if (silenceMs) {
            host.Transport().SetSilenceTimeout(silenceMs);
            client.Transport().SetSilenceTimeout(silenceMs);
        }
        if (host.SelectConnection(kNetKindTcp) != kNetOk || host.Host("SESSION 1", 8, 2, 1, 0, 0, 0x1000) != kNetOk) {
            ADD_FAILURE() << "the host could not open its session";
            return false;
        }
        hostId = host.CreatePlayer("HOST", hostData.data(), hostData.size(), kNetPlayerServer);
        const std::string address = Address();
        if (!Join(client, address))
            return false;
        clientId = client.CreatePlayer(clientName, clientData.data(), clientData.size(), 0);
        return hostId == 1 && clientId != 0;
    }
};

// Receives on `session` until a message from `from` arrives (true) or
// `ms` pass; system messages are handled meanwhile.
inline bool ReceiveFrom(NetSession& session, std::uint32_t from, std::vector<std::uint8_t>& out,
                        std::uint32_t ms = 3000)
{
    for (std::uint32_t waited = 0; waited < ms; waited += 5) {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        const std::uint32_t sender = session.Receive(data, size);
        if (sender == from) {
            out.assign(data, data + size);
            return true;
        }
        if (sender == 0)
            session.WaitForMessage(5);
    }
    return false;
}

// Lets `session` handle what arrives for `ms` (its system messages).
inline void Pump(NetSession& session, std::uint32_t ms)
{
    for (std::uint32_t waited = 0; waited < ms; waited += 5) {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        if (session.Receive(data, size) == 0)
            session.WaitForMessage(5);
    }
}

} // namespace net_test
