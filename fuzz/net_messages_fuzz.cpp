// Fuzz target: the input is one message as it arrives from the network. The
// first byte chooses who hears it (a host or a client lobby, the session's
// system-message handler, the lockstep frame reader); the rest is the
// message. Nothing may crash, overrun or throw, and what is read stays in
// range.
#include <cstddef>
#include <cstdint>
#include <span>

#include "input/lockstep.h"
#include "net/lobby.h"
#include "net/net_session.h"
#include "platform/net_transport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t who = data[0] % 4;
    const std::span<const std::uint8_t> message(data + 1, size - 1);

    NetSession session;
    LobbyPlayerRecord own;
    own.PlayerId = 1;
    own.SlotIndex = 0;
    own.RaceOptions[0] = own.RaceOptions[1] = 1;
    own.RaceOptions[kLobbySimulationRiders] = own.RaceOptions[kLobbyArcadeRiders] = 10;
    const std::vector<std::uint8_t> record = BuildLobbyPlayerRecord(own);
    session.AddPlayer("HOST", 1, record.data(), record.size());
    session.AddPlayer("RIDER", 2, record.data(), record.size());

    switch (who) {
    case 0:
    case 1: {
        LobbyState lobby;
        lobby.IsHost = who == 0;
        lobby.OwnId = lobby.IsHost ? 1 : 2;
        lobby.GameType = 2;
        lobby.Own = own;
        LobbyHandle(session, lobby, lobby.IsHost ? 2 : 1, message);
        if (!ValidLobbyPlayerRecord(lobby.Own) && lobby.Own.Rider != own.Rider)
            __builtin_trap();
        for (int i = 0; const NetPlayer* p = session.PlayerAt(i); ++i)
            if (p->Name[sizeof p->Name - 1] != '\0')
                __builtin_trap();
        break;
    }
    case 2:
        session.OnSystemMessage(message.data(), message.size());
        for (int i = 0; const NetPlayer* p = session.PlayerAt(i); ++i)
            if (p->Name[sizeof p->Name - 1] != '\0' || p->Data.size() > message.size() + record.size())
                __builtin_trap();
        break;
    default: {
        FrameMessage frame;
        if (ReadFrameMessage(message, frame) &&
            (frame.Entries.empty() || frame.Entries.size() > kMaxFrameEntries || !(frame.Step >= 0.0f) ||
             frame.Step > 1.0f))
            __builtin_trap();
        platform::NetSessionDesc desc;
        if (platform::read_session_desc(message.data(), message.size(), desc) && desc.Name[127] != '\0')
            __builtin_trap();
        break;
    }
    }
    return 0;
}
