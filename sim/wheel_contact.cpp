#include <cmath>

#include "sim/bike.h"
#include "sim/bike_setup.h"

namespace {

float SteeringHeadAngle(const Bike& bike)
{
    return bike.Setup ? bike.Setup->SteeringHeadAngle : bike.FrontWheel.Rake;
}

} // namespace

// The fork's compression shortens the wheelbase.
void Bike::UpdateWheelbase()
{
    Wheelbase = BaseWheelbase - std::sin(SteeringHeadAngle(*this)) * FrontWheel.Travel;
}

// The front hub goes the current wheelbase ahead of the rear hub along the
// heading (its height stays); both wheels then find the track under them.
// The wheels' ground points (PrevContactPoint, the start of the next step's
// edge tests) follow the hubs only when both stayed on the track.
bool Bike::PlaceWheels()
{
    Wheelbase = (BaseWheelbase - std::sin(SteeringHeadAngle(*this)) * FrontWheel.Travel) * std::cos(Pitch);
    FrontWheel.ContactPoint.x = RearWheel.ContactPoint.x + std::sin(Heading) * Wheelbase;
    FrontWheel.ContactPoint.z = RearWheel.ContactPoint.z + std::cos(Heading) * Wheelbase;

    FrontWheel.LocateOnTrack(Progress);
    RearWheel.LocateOnTrack(Progress);
    if ((FrontWheel.Flags | RearWheel.Flags) & kWheelLeftTrack)
        return false;

    FrontWheel.PrevContactPoint = FrontWheel.ContactPoint.Minus(UpAxis.Times(FrontWheel.Radius));
    RearWheel.PrevContactPoint = RearWheel.ContactPoint.Minus(UpAxis.Times(RearWheel.Radius));
    return true;
}
