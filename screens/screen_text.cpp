#include "screens/screen_text.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "app/game_error.h"
#include "champ/championship.h"
#include "menu/form.h"
#include "menu/image.h"
#include "menu/label.h"
#include "platform/float_conv.h"

std::string MenuTimeText(float seconds)
{
    if (seconds == kNoTime || !(seconds >= 0.0f))
        return "-:-:-";
    // In double, so that a time like 85.37 s keeps its 37 hundredths.
    const std::int32_t hundredths = platform::trunc_clamped(static_cast<double>(seconds) * 100.0, 0, 99 * 6000 + 5999);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hundredths / 6000, hundredths / 100 % 60, hundredths % 100);
    return text;
}

std::string UpperCase(const char* text)
{
    std::string upper = text ? text : "";
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

Label& RequiredLabel(Form& form, const char* name)
{
    if (Label* label = dynamic_cast<Label*>(form.FindElement(name)))
        return *label;
    throw GameError("not found");
}

Label& RequiredLabel(Form& form, const char* name, const char* other)
{
    if (Label* label = dynamic_cast<Label*>(form.FindElement(name)))
        return *label;
    return RequiredLabel(form, other);
}

void ShowIfPresent(Form& form, const char* name, bool shown)
{
    if (Control* control = form.FindElement(name)) {
        if (shown)
            control->Show();
        else
            control->Hide();
        control->Invalidate();
    }
}

void SetFrameIfPresent(Form& form, const char* name, std::int32_t frame)
{
    Image* image = dynamic_cast<Image*>(form.FindElement(name));
    if (image && frame >= 0 && frame < image->m_Strip.Count()) {
        image->m_Strip.SetState(frame);
        image->Invalidate();
    }
}

void SetTextIfPresent(Form& form, const char* name, const std::string& text)
{
    if (Label* label = dynamic_cast<Label*>(form.FindElement(name)))
        label->SetText(text.c_str());
}

void SetPageIfPresent(Form& form, const char* name, std::int32_t page)
{
    if (Label* label = dynamic_cast<Label*>(form.FindElement(name))) {
        if (page >= 0 && page < label->PageCount())
            label->SetPage(page);
        label->Invalidate();
    }
}

std::int32_t SelectorValue(const Control& control)
{
    if (const Label* label = dynamic_cast<const Label*>(&control))
        return label->m_nFirstRow;
    if (const Image* image = dynamic_cast<const Image*>(&control))
        return image->m_Strip.m_nCurrent;
    throw GameError("not found");
}
