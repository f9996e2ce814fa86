#pragma once

#include <cstdint>
#include <vector>

#include "input/replay_description.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

class GameApp;

// The race header as replay files keep it, field by field (180 bytes; the
// players' pointer slot at 136 is four zero bytes).
void WriteRaceHeader(platform::ByteWriter& out, const GameApp& app);
// Reads the 180 bytes back into the application's race header (the player
// array is left alone); false, with nothing changed, when they are not
// there.
bool ReadRaceHeader(platform::ByteReader& in, GameApp& app);

// The application's race header and players as the description a replay
// file begins with.
class GameAppReplayDescription : public ReplayDescription {
public:
    explicit GameAppReplayDescription(GameApp& app) : m_app(app) {}
    void Describe(std::vector<std::uint8_t>& header, std::vector<std::uint8_t>& players) const override;
    void Adopt(const std::uint8_t* header, const std::uint8_t* players, int humans) override;

private:
    GameApp& m_app;
};
