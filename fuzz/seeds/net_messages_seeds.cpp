// Seeds of net_messages_fuzz: a byte choosing the hearer (0 a host lobby,
// 1 a client lobby, 2 the session's system messages, 3 the frame and
// description readers), then one message of each kind.
#include <cstring>

#include "fuzz/seeds/seed_registry.h"
#include "input/lockstep.h"
#include "net/lobby.h"
#include "platform/byte_writer.h"
#include "platform/net_transport.h"

TORVANE_FUZZ_SEEDS(net_messages)
{
    const auto add = [&seeds](const char* name, std::uint8_t who, const std::vector<std::uint8_t>& message) {
        std::vector<std::uint8_t> bytes{who};
        bytes.insert(bytes.end(), message.begin(), message.end());
        seeds.push_back({name, bytes});
    };
    const auto words = [](std::initializer_list<std::uint32_t> list) {
        std::vector<std::uint8_t> b;
        platform::ByteWriter out(b);
        for (std::uint32_t w : list)
            out.u32(w);
        return b;
    };
    LobbyPlayerRecord r;
    r.PlayerId = 2;
    r.SlotIndex = 1;
    r.State = kLobbyStateReady;
    r.RaceOptions[0] = r.RaceOptions[1] = 2;
    r.RaceOptions[kLobbySimulationRiders] = r.RaceOptions[kLobbyArcadeRiders] = 33;
    std::strcpy(r.Name, "RIDER");
    const std::vector<std::uint8_t> record = BuildLobbyPlayerRecord(r);
    add("record_to_host", 0, record);
    add("record_to_client", 1, record);
    std::vector<std::uint8_t> joined = words({kLobbyJoined, 2});
    joined.insert(joined.end(), record.begin(), record.end());
    add("joined", 0, joined);
    std::vector<std::uint8_t> list = words({kLobbyStartList, 0xFFFFFFFF, 1});
    list.insert(list.end(), record.begin(), record.end());
    add("start_list", 1, list);
    std::vector<std::uint8_t> chat = words({kLobbyChat, 0, 2});
    chat.resize(140, 'a');
    add("chat", 0, chat);
    add("rider", 0, words({kLobbyRider, 2, 5}));
    add("rider_reply", 1, words({kLobbyRider, 2, 5}));
    add("leave", 1, words({kLobbyLeave, 2, 0}));
    add("start", 1, words({kLobbyStart, 0, 0}));

    std::vector<std::uint8_t> create = words({platform::kNetSysCreatePlayer, 7, 0});
    create.resize(create.size() + platform::kNetPlayerNameBytes, 'n');
    const std::vector<std::uint8_t> size = words({4});
    create.insert(create.end(), size.begin(), size.end());
    create.insert(create.end(), {1, 2, 3, 4});
    add("system_create", 2, create);
    add("system_destroy", 2, words({platform::kNetSysDestroyPlayer, 2}));
    std::vector<std::uint8_t> desc = words({platform::kNetSysSetSessionDesc});
    platform::NetSessionDesc d;
    std::strcpy(d.Name, "SESSION");
    platform::write_session_desc(desc, d);
    add("system_description", 2, desc);

    FrameMessage frame;
    frame.Frame = 3;
    frame.Step = 1.0f / 60.0f;
    frame.Entries = {FrameEntry{1, {}}, FrameEntry{2, {}}};
    add("frame", 3, BuildFrameMessage(frame));
}
