#include "menu/menu_settings.h"

#include <stdexcept>

#include "champ/game_settings.h"

bool MenuSoundOn()
{
    try {
        return TheGameSettings().Audio.Sound != 0;
    } catch (const std::logic_error&) {
        return false;
    }
}

bool MenuMusicOn()
{
    try {
        return TheGameSettings().Audio.Music != 0;
    } catch (const std::logic_error&) {
        return false;
    }
}
