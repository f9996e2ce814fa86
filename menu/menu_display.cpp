#include "menu/menu_display.h"

#include "app/game_app.h"
#include "engine/render/render_device.h"

void SizeMenuWindow()
{
    GameApp& app = TheGameApp();
    const int hres = app.HRes, vres = app.VRes;
    app.HRes = kMenuWidth;
    app.VRes = kMenuHeight;
    app.SizeMainWindow();
    app.HRes = hres;
    app.VRes = vres;
}

bool StartMenuDisplay()
{
    SizeMenuWindow();
    GameApp& app = TheGameApp();

    render_device& renderer = the_render_device();
    // The software path draws 16-bit whenever the chosen device is not a
    // hardware one.
    bool hardware = false;
    if (app.DDrawDriver >= 0 && app.DDrawDriver < renderer.driver_count) {
        const dd_driver_info& info = renderer.drivers[app.DDrawDriver];
        hardware = app.D3DDriver >= 0 && app.D3DDriver < info.device_count && info.devices[app.D3DDriver].hardware;
    }
    renderer.software_16bit = hardware ? 0 : 1;
    const int depth = (app.GfxFlags & kGfxFlagFullScreen) ? 32 : 16;
    if (!renderer.init(app.DDrawDriver, kMenuWidth, kMenuHeight, depth, app.D3DDriver))
        return false;
    renderer.bilinear = 1;
    return true;
}
