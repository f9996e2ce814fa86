#include "sim/bike.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/player_record.h"
#include "input/input_manager.h"
#include "sim/bike_parameters.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/track.h"

namespace {

std::string g_initMessage;

bool FailInit(const char* format, int value)
{
    char text[160];
    std::snprintf(text, sizeof text, format, value);
    g_initMessage = text;
    return false;
}

} // namespace

Bike::Bike() = default;

Bike::~Bike()
{
    // A human bike's controls are a target of the input manager; the race
    // removes its targets before deleting the bikes, and a bike that goes
    // first takes its own target along so no target outlives its record.
    if (IsHuman())
        if (InputManager* input = TheInputManager())
            input->RemoveTarget(&Controls);
}

const std::string& Bike::InitMessage()
{
    return g_initMessage;
}

const BikeModel* Bike::ModelBlock() const
{
    const RaceContext& race = CurrentRaceContext();
    if (!race.Models || !GridEntry || GridEntry->Model < 0 || GridEntry->Model >= kBikeModelCount)
        return nullptr;
    return &race.Models[GridEntry->Model];
}

bool Bike::Init(PlayerRecord* player, int index, ::GridEntry* entry)
{
    g_initMessage.clear();
    if (index < 0 || index >= kTrackSlotCount)
        return FailInit("Rider %d has no grid slot", index);
    if (!entry)
        return FailInit("Rider %d has no entry in the bike table", index);
    if (entry->PitSlot < 0 || entry->PitSlot >= kPitSlotCount)
        return FailInit("Pit slot %d out of range in the bike table", entry->PitSlot);
    if (entry->Model < 0 || entry->Model >= kBikeModelCount)
        return FailInit("Bike model %d out of range in the bike table", entry->Model);

    RacePosition = index + 1;
    Index = index;
    GridEntry = entry;
    RiderEntry = player;
    const BikeModel* model = ModelBlock();
    if (!model || !model->Loaded)
        return FailInit("Bike model %d has no parameters", entry->Model);

    FrontWheel.Owner = this;
    RearWheel.Owner = this;

    const RaceConditions& conditions = CurrentRaceConditions();
    if (player) {
        Flags = conditions.SessionType < 3 ? (kBikeHuman | kBikeTelemetry) : kBikeHuman;
        entry->BikeVariant = 0.0f;
        entry->RiderVariant = 1.0f;
        InputManager* input = TheInputManager();
        const std::uint32_t targetFlags = player->Remote() ? InputManager::kTargetNoBlock : InputManager::kTargetLocal;
        if (!input || !input->AddTarget(&Controls, targetFlags, player->NetworkId))
            return FailInit("The controls of rider %d cannot be registered", index);
        PlayerId = player->NetworkId;
    } else {
        Flags = 0;
        PlayerId = 0;
    }

    if (Flags & kBikeTelemetry) {
        TelemetryBuffer = std::make_unique<TelemetrySample[]>(kTelemetryCapacity);
        TelemetryCount = 0;
    }

    LoadParameters();
    Wheelbase = BaseWheelbase;
    return true;
}

void Bike::LoadParameters()
{
    const RaceContext& race = CurrentRaceContext();
    BikeModel& model = race.Models[GridEntry->Model];
    const BikeModelValues& v = model.Values;

    if (RiderEntry) {
        Setup = &RiderEntry->Setup;
        // A set-up never set (rake 0), or one holding a value the simulation
        // cannot use, takes the model's default; the player keeps his own
        // driving aids and limiters.
        if (Setup->SteeringHeadAngle == 0.0f || FindBadBikeSetupValue(*Setup, v.GearCount)) {
            const BikeSetup own = *Setup;
            *Setup = model.DefaultSetup;
            Setup->PlayerFlags = own.PlayerFlags;
            Setup->FrontLimiter = std::isfinite(own.FrontLimiter) ? own.FrontLimiter : 1.0f;
            Setup->RearLimiter = std::isfinite(own.RearLimiter) ? own.RearLimiter : 1.0f;
        }
    } else {
        Setup = &model.DefaultSetup;
    }

    RearWheel.Flags = 0;
    FrontWheel.Flags = kWheelFront;

    // The model's parameters, fresh: the set-up is always applied to them.
    GearCount = v.GearCount;
    PrimaryRatio = v.PrimaryRatio;
    SprocketTeeth = v.SprocketTeeth;
    CrownTeeth = v.CrownTeeth;
    for (int g = 0; g < kMaxGears; ++g) {
        GearRatio[g] = v.GearRatio[g];
        OverallRatio[g] = 0.0f;
    }
    DragC0 = v.DragC0;
    DragC1 = v.DragC1;
    DragC2 = v.DragC2;
    EngineBrakeE0 = v.EngineBrakeE0;
    EngineBrakeE1 = v.EngineBrakeE1;
    EngineBrakeE2 = v.EngineBrakeE2;
    SideSlipDivisor = v.SideSlipDivisor;
    PowerTableSize = static_cast<std::int32_t>(v.PowerTable.size());
    PowerTable = v.PowerTable.data();
    RevLimit = model.Maker.RevLimit;
    HeatSlope = model.Maker.HeatSlope;
    HeatCold = model.Maker.HeatCold;
    HeatHot = model.Maker.HeatHot;
    Mass = v.Mass;
    Weight = 0.0f;
    BaseWheelbase = v.BaseWheelbase;
    Stability = 0.0f;
    MassForward = v.MassForward;
    MassHeight = v.MassHeight;
    TyreGripScale = 0.0f;
    FrontWheel.SetParameters(v.Front);
    RearWheel.SetParameters(v.Rear);

    FrontWheel.LoadTyre();
    RearWheel.LoadTyre();
    ApplySetup();
}

void Bike::ShowInstances(bool shown, bool cockpit)
{
    RaceContext& race = CurrentRaceContext();
    RaceHooks* hooks = race.Hooks;
    if (!hooks)
        return;
    const bool rain = CurrentRaceConditions().Rain();
    if (cockpit && Index == race.ViewedRider) {
        if (GridEntry && GridEntry->Model >= 0 && GridEntry->Model < kBikeModelCount) {
            ml_modelinfo* const* own = race.Cockpit[GridEntry->Model];
            if (shown) {
                if (own[0])
                    hooks->ShowInstance(own[0], true);
            } else {
                for (int i = 0; i < kCockpitVariants; ++i)
                    if (own[i])
                        hooks->ShowInstance(own[i], false);
            }
        }
        if (race.SharedCockpit)
            hooks->ShowInstance(race.SharedCockpit, shown);
    }
    if (BikeInstance)
        hooks->ShowInstance(BikeInstance, shown);
    if (RiderInstance)
        hooks->ShowInstance(RiderInstance, shown);
    // Shadows are not shown in the rain; hiding hides them all.
    if (!shown || !rain) {
        if (ShadowInstance)
            hooks->ShowInstance(ShadowInstance, shown);
        if (RiderShadowInstance)
            hooks->ShowInstance(RiderShadowInstance, shown);
    }
}

void Bike::PlaceAtStart(bool full)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    RaceContext& race = CurrentRaceContext();
    const bool practice = IsPracticeSession(conditions.SessionType);

    Status = 0;
    Rival = nullptr;
    RivalSpare = 0;
    EngineTemp = 0.0f;
    for (std::uint8_t& contact : BodyContact)
        contact = 0;
    SkidSmokeTimer = 0.0f;

    if (full) {
        if (!practice)
            ShowInstances(true, true);
        else
            Status |= kBikeParked; // the rider starts in the pits
        RaceTime = LapTime = 0.0f;
        LapStartTime = LastLap = LapDelta = 0.0f;
        BestLap = kNoLapTime;
    }

    FurthestProgress = conditions.Circuit ? -conditions.Circuit->Length : 0.0f;
    RelaunchTime = -1.0f;
    for (WheelAssembly* wheel : {&FrontWheel, &RearWheel}) {
        wheel->SlideMargin = 0.0f;
        wheel->Flags &= ~kWheelAlwaysGrips;
        wheel->Tyre.Init();
    }

    Controls.Throttle = 0;
    Controls.Brake = 0;
    Controls.SteerInput = 0;
    Controls.Posture = 0;
    Wheelbase = BaseWheelbase;
    Posture = 0.0f;
    Pitch = Heading = Roll = 0.0f;
    RiderAngles = Vec3();
    Position = Vec3();
    TurnRadius = 0.0f;
    TurnSpare = 0.0f;
    Laps = -1;

    if (practice && conditions.PitLane && conditions.PitLane->SegmentCount() > 0)
        PlaceInPitLane();
    else
        PlaceOnCircuit();

    ResetDynamics(true);
    TargetSpeed = 0.0f;

    if (!race.Simulated() && !IsOut()) {
        SetState(practice ? -1 : -2, 0.0f);
        if (race.Hooks) {
            if (BikeInstance)
                race.Hooks->SetAnimation(BikeInstance, 0);
            race.Hooks->UpdateModel(*this);
        }
    }

    if (IsHuman()) {
        const std::uint32_t aids = Setup ? Setup->PlayerFlags & kPlayerFlagAids : 0;
        Flags = aids | kBikeHuman | (practice ? kBikeTelemetry : 0);
        if (aids & kPlayerFlagAlwaysGrip) {
            FrontWheel.Flags |= kWheelAlwaysGrips;
            RearWheel.Flags |= kWheelAlwaysGrips;
        } else if (Setup) {
            FrontWheel.SlideMargin = Setup->FrontLimiter;
            RearWheel.SlideMargin = Setup->RearLimiter;
        }
        if (conditions.SessionType == kSessionArcade) {
            FrontWheel.SlideMargin = 1.0f;
            RearWheel.SlideMargin = 0.0f;
        }
    } else {
        Flags = kBikeComputerFlags;
        FrontWheel.SlideMargin = 1.0f;
        RearWheel.SlideMargin = 1.0f;
    }

    if (IsOut())
        Park();
}

void Bike::PlaceOnCircuit()
{
    Track* circuit = CurrentRaceConditions().Circuit;
    Path = circuit;
    Segment = 0;
    if (!circuit || circuit->SegmentCount() == 0) {
        Progress = 0.0f;
        return;
    }
    Progress = circuit->Length - 1.0f;
    const int slot = Index >= 0 && Index < kTrackSlotCount ? Index : 0;
    Position = Vec3(circuit->Slots[slot].x, 0.0f, circuit->Slots[slot].z);
    UpdateProgress();
    Vec2 direction;
    circuit->DistanceToPoint(Progress, nullptr, &direction);
    Heading = std::atan2(direction.x, direction.z);
    // One wheelbase behind the slot, facing along the track.
    Position.x -= std::sin(Heading) * Wheelbase;
    Position.z -= std::cos(Heading) * Wheelbase;
}

void Bike::PlaceInPitLane()
{
    Track* lane = CurrentRaceConditions().PitLane;
    Path = lane;
    Progress = 0.0f;
    Segment = 0;
    const float half = lane->Length * 0.5f;
    for (int i = 0; i < lane->SegmentCount(); ++i) {
        if (lane->SegmentStart[static_cast<std::size_t>(i)] > half) {
            Segment = static_cast<std::uint32_t>(i);
            break;
        }
    }
    const int slot = GridEntry ? GridEntry->PitSlot : 0;
    Position = Vec3(lane->Slots[slot].x, 0.0f, lane->Slots[slot].z);
    UpdateProgress();
    Vec2 point;
    lane->DistanceToPoint(Progress, &point, nullptr);
    // The bike stands in its box facing the lane's centre line.
    Heading = std::atan2(point.x - Position.x, point.z - Position.z);
    Status |= kBikePitPlaced;
}

void Bike::Restart()
{
    RaceContext& race = CurrentRaceContext();
    PlaceAtStart(false);
    LapTime = 0.0f;
    Laps = 0;
    Status &= ~kBikeParked;
    RevTarget = 0.0f;
    if (!race.Simulated())
        ShowInstances(true, true);
    else
        RejoinCircuit();
}

void Bike::Park()
{
    if ((Flags & kBikeTelemetry) && TelemetryCount > 0) {
        if (!WriteTelemetry())
            std::fprintf(stderr, "telem.dat could not be written; the lap's telemetry is dropped\n");
        TelemetryCount = 0;
    }
    Status |= kBikeParked;
    if (!CurrentRaceContext().Simulated())
        ShowInstances(false, true);
}
