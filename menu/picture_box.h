#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/base/light_record.h"
#include "engine/base/mat4.h"
#include "menu/control.h"

class CommandButton;
class M_CParse;
class anim_lib;
class camera;
class ml_modelinfo;
class model_lib;
class mtr_lib;
class scene;
class scene_view;
class VideoInWindow;

// What a picture box shows (its "OLEType" word).
enum PictureBoxKind : std::int32_t {
    kOleNone = 0,
    kOleCarousel = 1,        // "OLE3D": models of a 3D library on a turntable
    kOleScene = 2,           // "OLE3DSCENE": a scene playing once, then "back"
    kOleVideo = 3,           // "OLEVIDEO": a video in the control's place
    kOleVideoFullScreen = 4, // "OLEVIDEOFULLSCREEN": a video over the screen, then "back"
};

// The kind a word names (compared ignoring case); 0 for any other word.
std::int32_t OleTypeFromName(const char* word);
// The easing of a carousel's slide: -x^3. A turn runs x from -1.6 towards 0,
// so the slide starts fast and slows down as it arrives.
float CarouselEase(float x);

// The turntable every carousel shares: its angle (radians) and the phase
// of the items' animation (0..1).
extern float g_fCarouselAngle;
extern float g_fCarouselPhase;

// Commands of a carousel file's "IC" section.
inline constexpr std::int32_t kCarouselNext = -2;     // "INC"
inline constexpr std::int32_t kCarouselPrevious = -3; // "DEC"
inline constexpr std::int32_t kCarouselNoAction = -1;

// The menu control that shows live 3D or video in a screen: a carousel of
// models on a turntable stepped by its linked buttons, an engine scene that
// plays once, or a video (menu/picture_box_video.cpp). The 3D kinds draw
// through the engine's own camera, view and a directional light carried by
// a light model.
class PictureBox : public Control {
public:
    static constexpr int kMaxLinkedButtons = 4;

    PictureBox();
    ~PictureBox() override;

    bool Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom) override;
    bool Draw() override { return Paint(); }
    void Load(FormParser& parser, const char* name) override;
    void Reset() override;
    void OnScreenLeave() override;
    bool Paint() override;
    void Notify(std::int32_t code) override;
    void SaveState(platform::File& file) override;
    void LoadState(platform::File& file) override;

    // Sets up a box added by name (no parser): place, size and kind; only
    // the scene kind can be made so ("non ancora fatto" for the others).
    void Create(std::int32_t top, std::int32_t left, std::int32_t width, std::int32_t height, std::int32_t kind,
                const char* scene_name, float scene_time_ms);
    // Loads the scene "<name>" (its ".MTT"/".MTP", ".ANM", ".MDL", ".MAP")
    // to play over `time_ms` milliseconds.
    void LoadScene(const char* name, float time_ms);

    // A command button whose "LinkedTo" names this box; a fifth throws
    // "troppi bottoni linkati".
    void AddLinkedButton(CommandButton* button);
    void DisableLinkedButtons();
    void EnableLinkedButtons();
    // Turns to the next or previous item (wrapping), the old one sliding out.
    void NextItem();
    void PreviousItem();
    // Shows that item at once, standing still (no turn); an index the
    // carousel does not have leaves it as it is.
    void ShowItem(std::int32_t index);
    // Stands the item on the turntable at `angle`: turned about y, 0.6 units
    // off the axis.
    void PlaceItem(std::int32_t index, float angle);

    // ---- What the screens and tests read ----
    struct Item {
        ml_modelinfo* instance = nullptr;  // kept by the model library
        float material_set = 0.0f;
    };
    std::int32_t Kind() const { return m_nKind; }
    std::int32_t TurnState() const { return m_nTurnState; }
    float TurnParameter() const { return m_fTurn; }
    std::int32_t SceneTime() const { return m_nSceneTime; }
    std::int32_t ItemCount() const { return static_cast<std::int32_t>(m_Items.size()); }
    const Item& ItemAt(std::int32_t i) const { return m_Items[static_cast<std::size_t>(i)]; }
    std::int32_t CurrentItem() const { return m_nCurrent; }
    std::int32_t PreviousItemIndex() const { return m_nPrevious; }
    std::int32_t LinkedButtonCount() const { return m_nLinkedButtons; }
    CommandButton* LinkedButton(int i) const { return m_LinkedButtons[i]; }
    ::scene* Scene() const { return m_pScene.get(); }
    ::camera* Camera() const { return m_pCamera.get(); }
    scene_view* View() const { return m_pView.get(); }
    ml_modelinfo* LightModel() const { return m_pLightModel; }
    const char* VideoName() const { return m_szVideoName; }
    VideoInWindow* Video() const { return m_pVideo.get(); }
    struct CommandPair {
        std::int32_t code, action;
    };
    const std::vector<CommandPair>& Commands() const { return m_Commands; }

private:
    void LoadCarousel(M_CParse& file, const char* file_name, const char* library);
    void ReadCarouselItems(M_CParse& file, const char* file_name);
    void ReadCarouselCommands(M_CParse& file, const char* file_name);
    void ReadCarouselAnimations(M_CParse& file, const char* file_name);
    // The directional light of the 3D kinds, on a light model at `at`.
    void MakeLight(float level, float x, float y, float z);
    void StartTurn(std::int32_t state);
    bool PaintCarousel();
    bool PaintScene();
    bool PaintVideoInWindow();
    bool PaintFullScreenVideo();
    void OpenVideoInWindow();
    void StopVideo();
    // The view drawn: prepare, draw, flush; the view becomes the frame's scene.
    void DrawView();

    std::int32_t m_nKind = kOleNone;
    std::int32_t m_nTurnState = 0;  // 0 idle, 1 to the previous item, 2 to the next
    float m_fTurn = 0.0f;           // a turn's progress, or the scene's time (0..1)
    std::int32_t m_nSceneTime = 1;  // milliseconds
    std::uint32_t m_nClock = 0;
    anim_lib* m_pAnims = nullptr;   // the menu manager's 3D cache owns the libraries
    model_lib* m_pModels = nullptr;
    mtr_lib* m_pMaterials = nullptr;
    std::unique_ptr<::scene> m_pScene;
    std::unique_ptr<::camera> m_pCamera;
    std::unique_ptr<scene_view> m_pView;
    scn_light m_Light{};
    ml_modelinfo* m_pLightModel = nullptr;  // owned
    std::vector<Item> m_Items;
    std::int32_t m_nCurrent = 0, m_nPrevious = 0;
    std::vector<CommandPair> m_Commands;
    char m_szVideoName[260] = {};
    std::unique_ptr<VideoInWindow> m_pVideo;
    std::int32_t m_nLinkedButtons = 0;
    CommandButton* m_LinkedButtons[kMaxLinkedButtons] = {};
    // The turntable's matrix, shared by the items while the view draws.
    mat4 m_Turn{};
    bool m_bPassing = false;  // handing a command on to the linked control
    // The frame's scene word before this view was drawn.
    scene_view* m_pPreviousFrameView = nullptr;
};
