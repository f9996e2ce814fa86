#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "input/control_block.h"
#include "input/control_record.h"
#include "input/input_devices.h"
#include "input/lockstep.h"
#include "platform/joystick.h"

class InputRaceLink;
class ReplayDescription;

// Result of creating the devices: 0 on success.
using InputResult = std::int32_t;
inline constexpr InputResult kInputOk = 0;

// Mode bits. The low four are the replay mode of the current race.
inline constexpr std::uint32_t kInputModePlayback = 0x1;       // input playback
inline constexpr std::uint32_t kInputModeRecord = 0x2;         // input recording
inline constexpr std::uint32_t kInputModeStatePlayback = 0x4;
inline constexpr std::uint32_t kInputModeStateRecord = 0x8;
inline constexpr std::uint32_t kInputModeReplayModes = 0xF;
inline constexpr std::uint32_t kInputModePlaying = 0x10;       // replay playing (not paused)
inline constexpr std::uint32_t kInputModeLoaded = 0x20;        // replay loaded from a file
inline constexpr std::uint32_t kInputModeSaved = 0x40;         // replay saved to a file
inline constexpr std::uint32_t kInputModeHost = 0x80;          // host of a network race
inline constexpr std::uint32_t kInputModeWaiting = 0x100;      // waiting for a network frame
inline constexpr std::uint32_t kInputModeHostPaused = 0x200;
inline constexpr std::uint32_t kInputModeStarted = 0x400;      // race input started
inline constexpr std::uint32_t kInputModeMouse = 0x800;        // some binding uses the mouse

// A joystick's capabilities. The force-feedback flag is cleared again when
// the device refuses exclusive access.
struct JoystickCaps {
    std::uint32_t dwFlags = 0;
    std::uint32_t dwAxes = 0;
    std::uint32_t dwButtons = 0;   // bounds button bindings
    std::uint32_t dwPOVs = 0;
};
inline constexpr std::uint32_t kJoystickCapsForceFeedback = 0x100;

// One attached (or once attached) joystick. Records keep their place for the
// whole program, so a binding's joystick number stays valid when a device is
// unplugged; a device that comes back takes its old record again.
struct JoystickRecord {
    char Name[260] = {};                  // product name
    std::unique_ptr<JoystickDevice> Device;
    JoystickCaps Caps;
    platform::JoystickState State{};      // last state read
    std::uint8_t Usable = 0;
};

// The race commands (applied by every peer on the frame they are queued).
inline constexpr std::int32_t kRaceCommandNone = 0;
inline constexpr std::int32_t kRaceCommandEnd = 1;
inline constexpr std::int32_t kRaceCommandEndReplay = 2;
inline constexpr std::int32_t kRaceCommandRestart = 3;
inline constexpr std::int32_t kRaceCommandLeave = 4;
inline constexpr std::int32_t kRaceCommandPark = 5;

// The race clock: below kRaceClockHold the start holds, from -6 to 0 it
// counts down, from 0 the race runs.
inline constexpr float kRaceClockHold = -7.0f;
inline constexpr float kRaceClockCountdown = -6.0f;

// The program's input: the devices (keyboard, mouse, every joystick), the
// controlled objects (targets) with their bindings, force feedback, the
// frame clock, the per-frame controls and binding capture. Targets are keyed
// by the address of their ControlRecord (every Bike holds its own).
//
// Main thread only. The devices take their events from the platform's raw
// input queue, which the video thread fills.
class InputManager {
public:
    InputManager();
    ~InputManager();
    InputManager(const InputManager&) = delete;
    InputManager& operator=(const InputManager&) = delete;

    // ---- Devices (input_manager.cpp) ----

    // Makes the keyboard and the mouse and opens every attached joystick.
    // Without joysticks (none attached, or no joystick support) the keyboard
    // and the mouse still work. kInputOk on success.
    InputResult Create();
    // Adds a joystick record for an attached device (also when one is
    // plugged in later). A device that comes back after being unplugged
    // takes its old record. True when a record was added or re-used.
    bool AddJoystick(const platform::JoystickInfo& device);
    // Sets every device to work non-exclusively in the foreground of the
    // main window, stopping at the first failure; when all succeed, acquires
    // them.
    void SetWindow();
    bool Acquire();
    bool Unacquire();
    // Takes the raw events that arrived and reads every device (see the
    // re-acquire rule in docs/input.md); sets m_bDevicesLost while some
    // device cannot be read.
    void Poll();
    void SetMouseSensitivity(std::int32_t counts);

    int JoystickCount() const { return static_cast<int>(m_joysticks.size()); }
    const JoystickRecord& Joystick(int i) const { return m_joysticks[static_cast<std::size_t>(i)]; }

    // ---- Targets ----

    // Target flags.
    static constexpr std::uint32_t kTargetLocal = 0x1;    // this peer's player: its controls go out to the network
    static constexpr std::uint32_t kTargetNoBlock = 0x2;  // no control block (a remote player)
    static constexpr std::uint32_t kTargetSkipNet = 0x10; // skipped when taking network records

    struct Target {
        std::uint32_t Flags = 0;
        std::uint32_t PlayerId = 0;
        ControlRecord* Object = nullptr;
        std::unique_ptr<ControlBlock> Block; // null with kTargetNoBlock
    };

    // Adds a controlled object; false when it is a target already (or null).
    bool AddTarget(ControlRecord* object, std::uint32_t flags, std::uint32_t playerId);
    // Removes one target; null removes every target.
    void RemoveTarget(ControlRecord* object);
    // Clears the object's throttle, brake and steering and its shift bits,
    // and gives its control block fresh bindings from the default block.
    void ResetTarget(ControlRecord* object);
    // Clears every binding to a joystick that is not there.
    void ValidateBindings(ControlBlock& block) const;

    const std::vector<Target>& Targets() const { return m_targets; }
    int TargetCount() const { return static_cast<int>(m_targets.size()); }
    // The target of an object, or null.
    Target* FindTarget(const ControlRecord* object);

    // ---- Race input ----

    // Start of race input: force feedback, mode bits, clocks (docs/input.md).
    bool BeginRace(std::uint32_t modeBits);
    void EndRace();
    // The race's link for the time it runs (null: none).
    void SetRaceLink(InputRaceLink* link) { m_pRaceLink = link; }
    InputRaceLink* RaceLink() const { return m_pRaceLink; }

    // ---- Force feedback ----

    bool CreateForceEffect();
    // Sends a force (two components) to the force-feedback stick; nothing
    // without one. A device that refuses the change loses the effect.
    void SetForce(const float force[2]);
    // The last force asked for, limited to -1..1 per component (kept even
    // without a stick).
    const float* LastForce() const { return m_lastForce; }

    // ---- Frame clock and per-frame controls (frame_clock.cpp, controls.cpp) ----

    // Once per drawn frame of a race: reads the devices, steps the clock,
    // turns every target's bindings into its ControlRecord and takes the
    // next simulation frame. True when the frame has a non-zero frame time.
    bool ReadControls();
    float StepClock();
    void PackControls(int targetIndex);
    bool NextFrame(bool live);
    void QueueRaceCommand(std::int32_t code) { m_nRaceCommand = code; }
    void ApplyRaceCommand();

    // A source of controls that replaces the devices' for the targets
    // (a scripted rider): called for every target after its controls are
    // packed, outside input playback, with the target's index.
    using ControlSource = std::function<void(int target, ControlRecord& controls)>;
    void SetControlSource(ControlSource source) { m_controlSource = std::move(source); }

    // ---- Replays (input_replay.cpp, replay_file.cpp; docs/replays.md) ----

    // The race's state replay, once per frame (only in the state modes).
    void StepStateReplay();
    // Saves the recording as "replay\<abc><n>.rpl"; false when it is
    // refused (loaded or saved already) or cannot be written.
    bool SaveReplay();
    // Loads "replay\<replay name>.rpl" into the recording and the race
    // description; false (the current replay untouched) when the file is
    // missing or damaged.
    bool LoadReplay();
    // The same with any program path: SaveReplayAs writes the recording
    // (whole or not at all) without the refusals and the naming of
    // SaveReplay and without marking it saved; LoadReplayFrom reads a file
    // as LoadReplay does, keeping the replay name.
    bool SaveReplayAs(const std::string& path) const;
    bool LoadReplayFrom(const std::string& path);
    // Forgets the recording, its checkpoints and the replay name.
    void FreeReplay();
    // A replay command of the viewer (0 play, 1 pause, 2 toggle, 3-5 step
    // on, 6-8 step back, 9 from the start).
    void ReplayCommand(int code);
    // The race description a replay file begins with (null: none, and no
    // replay can be saved or loaded).
    void SetReplayDescription(ReplayDescription* description) { m_pDescription = description; }

    // The checkpoints made during input playback: their count, and one's
    // playback position, input frame index and race state (null when
    // there is no such checkpoint).
    int CheckpointCount() const { return m_nNextCheckpoint; }
    const std::uint32_t* Checkpoint(int n, float* position, std::int32_t* frameIndex) const;
    // The replay's human riders (the recording's targets, or the loaded
    // file's player records).
    int ReplayHumans() const { return m_nReplayHumans; }
    // One input record: its time step and the first target's controls
    // (false when there is no such record).
    bool InputRecord(int n, float* step, ControlRecord* first) const;

    // ---- Lockstep exchange of a network race (lockstep.cpp) ----

    // The network session's link for a network race (null: none; the race
    // then runs on its own frames).
    void SetNetLink(InputNetLink* link) { m_Lockstep.Link = link; }
    InputNetLink* NetLink() const { return m_Lockstep.Link; }
    // Sends this peer's frame message (the host: the frame itself, queued
    // here too); `resend` sends the last one again.
    void SendFrameMessage(bool resend);
    // Every drawn frame of a running network race: sends and waits for the
    // frame's controls (docs/input.md, "The lockstep exchange").
    void ExchangeFrames();
    LockstepState& Lockstep() { return m_Lockstep; }

    // ---- Binding capture (binding_capture.cpp) ----

    // Starts a capture: forgets any button remembered by an earlier one and
    // takes the joysticks' states now as the baseline (acquires and polls
    // the devices).
    void SnapshotJoysticks(std::vector<platform::JoystickState>& baseline);
    // Ends a capture: forgets a button still held, unacquires the devices
    // and frees the baseline.
    void FreeJoystickSnapshot(std::vector<platform::JoystickState>& baseline);
    // One non-blocking look for an input to bind (docs/input.md); returns
    // *found.
    bool CaptureBindingFiltered(std::int8_t* type, std::uint8_t* index, std::uint8_t* found,
                                const std::vector<platform::JoystickState>& baseline);

    // ---- State other parts of the program read and set ----

    int m_nEffect = -1;                       // the constant-force effect, -1 none
    std::int32_t m_nStateBlock = 0;           // last written state-replay block and slot
    std::int32_t m_nStateSlot = 0;
    std::int32_t m_nRaceCommand = 0;          // pending race command
    std::uint32_t m_dwMode = 0;               // kInputMode* bits
    std::uint32_t m_dwLastTime = 0;           // clock reading of the previous step, ms
    std::uint32_t m_dwStartTime = 0;          // clock reading when race input began
    std::int32_t m_nMouseRange = 200;         // mouse counts for a full deflection
    char m_szReplayName[12] = {};
    float m_fReplayLength = 0.0f;
    float m_fMouseX = 0.0f, m_fMouseY = 0.0f; // accumulated mouse position, -1..1
    std::uint8_t m_bDevicesLost = 0;
    MouseState m_MouseState;                  // last mouse state
    std::uint8_t m_KeyState[256] = {};        // by key number, bit 7 down
    std::uint8_t m_PrevKeyState[256] = {};    // the previous poll's
    float m_fFrameTime = 0.0f;                // time step of the current frame
    float m_fReplayTime = 0.0f;
    float m_fPlaybackPos = 0.0f;
    float m_fLastFrameTime = 0.0f;
    float m_fRaceClock = 0.0f;                // start countdown and race time
    std::int32_t m_nFrameNumber = 0;          // lockstep frame number
    std::int32_t m_nQueuedFrames = 0;
    // Replay counters (the replay buffers come with the replays).
    std::int32_t m_nEventCount = 0;
    std::int32_t m_nInputRecordSize = 0;
    std::int32_t m_nInputFrameIndex = 0;
    std::int32_t m_nInputFrameCount = 0;
    std::int32_t m_nInputBlocks = 0;
    std::int32_t m_nStateBlocks = 0;
    std::int32_t m_nNextCheckpoint = 0;
    float m_fSeekAmount = 0.0f;
    std::uint8_t m_bPaused = 0;               // the race pause flag
    std::uint8_t m_bReplayChosen = 0;         // the menus chose the replay named above

    // True when key `code` is down now and was up at the previous poll.
    bool KeyPressed(int code) const
    {
        return (m_KeyState[code & 0xFF] & kInputDown) && !(m_PrevKeyState[code & 0xFF] & kInputDown);
    }

private:
    void PumpEvents();
    void OnJoystickEvent(const platform::InputEvent& event);
    JoystickRecord* FindJoystick(int deviceId);
    bool ReadKeyboard();
    bool ReadMouse();
    bool ReadJoystick(JoystickRecord& joystick);
    float SourceValue(const ControlBlock& block, int control) const;
    void StepControlValues(ControlBlock& block);
    void StepReplayTime(float dt);
    void StepInputReplay();
    void RecordInputFrame();
    void PlayInputFrame();
    void RewindInputReplay();
    void StoreCheckpoint();
    std::uint8_t* InputRecordAt(int n) const;
    std::size_t CheckpointWords() const;
    void StepStateRecording(int sample);
    void StepStatePlayback(int sample, float fraction);
    float StepCountdown(std::uint32_t now, float dt);
    void DropForceEffect();
    bool NetworkRaceRunning() const;
    bool NextNetworkFrame(bool live);
    void MarkLeftTargets();
    bool TakeFrameMessage(const FrameMessage& message, bool host);
    void ClearCaptureLatch();

    LockstepState m_Lockstep;
    InputFocus m_focus;
    std::unique_ptr<KeyboardDevice> m_pKeyboard;
    std::unique_ptr<MouseDevice> m_pMouse;
    std::vector<JoystickRecord> m_joysticks;
    std::vector<Target> m_targets;
    InputRaceLink* m_pRaceLink = nullptr;
    ReplayDescription* m_pDescription = nullptr;
    ControlSource m_controlSource;
    // The replay buffers: input records (10000 a block), checkpoints (60 a
    // block), state samples (100 per rider a block) and the rider records
    // of the state replay (1000 a block).
    std::vector<std::unique_ptr<std::uint8_t[]>> m_inputBlocks;
    std::vector<std::unique_ptr<std::uint32_t[]>> m_checkpointBlocks;
    std::vector<std::unique_ptr<std::uint8_t[]>> m_stateBlocks;
    std::vector<std::unique_ptr<std::uint8_t[]>> m_eventBlocks;
    std::size_t m_checkpointWords = 0;       // words of one checkpoint in the blocks
    int m_nStateRiders = 0;                  // riders of the state blocks
    int m_nReplayHumans = 0;
    float m_lastForce[2] = {0.0f, 0.0f};
    bool m_bCreated = false;
    // Binding capture: a mouse or joystick button is held; its binding is
    // reported when it is let go.
    bool m_bCaptureLatch = false;
    std::int8_t m_nLatchType = 0;
    std::uint8_t m_nLatchIndex = 0;
};

// The length of a two-float vector.
float Vec2Length(const float v[2]);

// The program's one InputManager, or null before the program-wide objects
// have built it (and in tests that have not installed one).
InputManager* TheInputManager();
// Installs (or, with null, removes) the program's InputManager.
void SetTheInputManager(InputManager* manager);
