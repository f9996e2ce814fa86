#include "screens/page_browser.h"

#include <cstdio>
#include <string>

#include "app/form_parser.h"
#include "menu/form.h"
#include "menu/menu_files.h"
#include "menu/menu_manager.h"
#include "menu/window.h"
#include "platform/message_box.h"
#include "screens/navigation.h"

namespace {

// The stack and the screen it stands on: its pages are the screen's
// elements from `first` on (the screen's own elements come before them).
struct Browser {
    const Form* screen = nullptr;
    std::int32_t first = 0;
    PageStack stack;
};
Browser g_Browser;

Window* PageAt(Form& form, std::int32_t place)
{
    return dynamic_cast<Window*>(form.Element(g_Browser.first + place));
}

void ShowPage(Form& form, std::int32_t place, bool shown)
{
    if (Window* page = PageAt(form, place)) {
        shown ? page->Show() : page->Hide();
        page->Invalidate();
    }
    form.Invalidate();
}

// Goes back to the working folder it was made in.
struct FolderBack {
    std::string folder;
    bool kept = CurrentFolder(folder);
    ~FolderBack()
    {
        if (kept)
            EnterFolder(folder);
    }
};

// Loads page `number` from the menu folder and adds it on top of the
// screen's elements, shown.
void AddPage(Form& form, std::int32_t number)
{
    char name[16];
    std::snprintf(name, sizeof name, "Brows%02d", number);
    Control* page = nullptr;
    {
        FolderBack back;
        if (MenuManager* manager = CurrentMenuManager(); manager && !manager->MenuFolder().empty())
            EnterFolder(manager->MenuFolder());
        FormParser parser;
        parser.LoadForm((std::string("browser\\") + name).c_str());
        page = form.AddElement(kControlWindow, &parser, name);
    }
    page->Reset();
    g_Browser.stack.pages[g_Browser.stack.count] = number;
    g_Browser.stack.current = g_Browser.stack.count++;
    ShowPage(form, g_Browser.stack.current, true);
}

void CloseAll(Form& form)
{
    form.RemoveElementsFrom(g_Browser.first);
    g_Browser.stack = PageStack{};
    form.Invalidate();
}

// The browser's screen: the screen itself, or the screen holding the page
// whose button was pressed.
Form& BrowserScreen(Form& form)
{
    return form.m_pHolder && form.m_pHolder->m_pOwner ? *form.m_pHolder->m_pOwner : form;
}

} // namespace

const PageStack& BrowserPages()
{
    return g_Browser.stack;
}

void PageBrowserPrepare(Form& form)
{
    // Pages left from an earlier showing go; the pages start after the
    // screen's own elements, however many it has.
    if (g_Browser.screen == &form)
        form.RemoveElementsFrom(g_Browser.first);
    g_Browser.screen = &form;
    g_Browser.first = form.ElementCount();
    g_Browser.stack = PageStack{};
    AddPage(form, form.m_nArgument);
}

bool PageBrowserCommand(Form& pressed, Control& control)
{
    Form& form = BrowserScreen(pressed);
    if (g_Browser.screen != &form || control.m_nUserID < 0)
        return true;
    PageStack& stack = g_Browser.stack;
    switch (control.m_nUserID) {
    case kBrowserCloseAll:
        CloseAll(form);
        return false;
    case kBrowserForward:
        if (stack.current + 1 < stack.count) {
            ShowPage(form, stack.current, false);
            ShowPage(form, ++stack.current, true);
        }
        return false;
    case kBrowserBack:
        if (stack.current > 0) {
            ShowPage(form, stack.current, false);
            ShowPage(form, --stack.current, true);
        }
        return false;
    default: {
        // The pages above the one shown go; a full stack takes no more.
        const std::int32_t kept = stack.current + 1;
        if (kept >= kBrowserPages) {
            platform::message_box("No more pages can be opened: go back first.", "Message",
                                  platform::MB_OK | platform::MB_ICONEXCLAMATION);
            return false;
        }
        ShowPage(form, stack.current, false);
        form.RemoveElementsFrom(g_Browser.first + kept);
        stack.count = kept;
        AddPage(form, control.m_nUserID);
        return false;
    }
    }
}
