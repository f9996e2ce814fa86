#pragma once

// Fault seams: a test arms a fault, and the next operation of that kind fails
// the way the real service would fail (window not created, thread not
// started, file not opened, registry value not written). Each armed fault
// fires once. Other subsystems add their kinds at the end of the list.
namespace platform {

enum class Fault : int {
    WindowCreate,
    ThreadCreate,
    FileOpen,
    RegistryWrite,
    MemoryAlloc,
    VersionInfo,
    JoystickInit,  // the joystick service does not start
    HapticCreate,  // a force-feedback effect is refused
    HapticUpdate,  // a change of a playing effect is refused
    // The display service (platform/display.h), one kind per operation.
    DisplayOpen,          // the driver does not open
    DisplayDesktopMode,   // the desktop's mode cannot be read
    DisplayDriverList,    // the drivers cannot be listed
    DisplayModeList,      // the modes cannot be listed
    DisplayDeviceList,    // the 3D devices cannot be listed
    DisplayMemoryQuery,   // free memory cannot be read
    DisplayExclusive,     // full screen is refused (or not given back)
    DisplayModeSet,       // the mode cannot be set or restored
    SurfaceCreate,
    SurfaceLock,
    SurfaceBlit,          // blits and fills
    SurfaceFlip,
    SurfaceAttach,        // a Z-buffer cannot be attached
    SurfaceRestore,
    PaletteCreate,
    PaletteSet,           // a palette cannot be set on a surface or changed
    DeviceCreate,
    DeviceTextureFormats,
    DeviceViewport,       // a viewport's rectangle, or the current viewport, is refused
    DeviceBackground,     // a material's colour cannot be set
    DeviceClear,
    Display3DOpen,        // the driver's 3D service is refused
    SurfaceDescribe,      // a surface's description cannot be read
    SurfaceBackBuffer,    // a flipping primary does not give its back surface
    ClipperCreate,
    ClipperWindow,        // a clipper cannot be tied to its window
    ClipperSet,           // a clipper cannot be set on a surface
    ViewportCreate,
    ViewportAdd,          // a viewport cannot be added to its device
    MaterialCreate,
    MaterialHandle,       // a material's handle cannot be read
    ViewportBackground,   // a viewport cannot take its background material
    DeviceBeginScene,     // a scene cannot begin
    DeviceEndScene,       // a scene cannot end (what was queued is dropped)
    DeviceDraw,           // a triangle list is refused
    // The audio service (platform/audio.h), one kind per operation.
    AudioOpen,            // the output does not start
    AudioFormat,          // the output format is refused
    AudioBufferCreate,
    AudioBufferDuplicate,
    AudioBufferLock,
    AudioBufferPlay,
    AudioBufferControl,   // a volume, pan, frequency or play cursor is refused
    AudioBufferNotify,    // position notifications are refused
    TextFaceOpen,         // a face of the text service (platform/text.h) does not open
    ProgramStart,         // another program cannot be started (platform/process.h)
    Count
};

// Makes the next `count` operations of this kind fail.
void fail_next(Fault fault, int count = 1);

// Called by the operation itself: true (and one armed failure used up) when
// this operation must fail.
bool take_fault(Fault fault);

// Lets `skip` operations of this kind pass, then makes the next one fail
// (once). Stacks on nothing: it replaces what was armed for the kind.
void fail_after(Fault fault, int skip);

// Disarms every fault.
void clear_faults();

} // namespace platform
