#include "menu/screen_hooks.h"

namespace {

ScreenHooks g_Hooks;

} // namespace

void SetScreenHooks(const ScreenHooks& hooks)
{
    g_Hooks = hooks;
}

const ScreenHooks& TheScreenHooks()
{
    return g_Hooks;
}

bool OnUserPrepare(Form& form)
{
    return g_Hooks.user_prepare ? g_Hooks.user_prepare(form) : true;
}

bool OnUserDraw(Form& form)
{
    return g_Hooks.user_draw ? g_Hooks.user_draw(form) : true;
}

bool OnUserRelease(Form& form)
{
    return g_Hooks.user_release ? g_Hooks.user_release(form) : true;
}

bool OnMenuCommand(Control& control)
{
    return g_Hooks.menu_command ? g_Hooks.menu_command(control) : true;
}

bool UpdateLiveLabel(Label& label, char* buffer, std::size_t capacity)
{
    return g_Hooks.live_label ? g_Hooks.live_label(label, buffer, capacity) : false;
}

bool FormCommandHook(Form& form, std::int32_t command)
{
    return g_Hooks.form_command ? g_Hooks.form_command(form, command) : true;
}

bool AddMenuScene(Form& form)
{
    return g_Hooks.screen_entry ? g_Hooks.screen_entry(form) : true;
}
