#include "app/settings_writer.h"

#include <utility>

#include "platform/message_box.h"

SettingsWriter::SettingsWriter(std::string keyPath, std::string what)
    : key_(std::move(keyPath)), what_(std::move(what))
{
    opened_ = key_.create();
    if (!opened_)
        error_ = "the key \"" + key_.path() + "\" cannot be opened: " + key_.last_error();
}

void SettingsWriter::Check(bool written, std::string_view name)
{
    if (!written && error_.empty())
        error_ = "\"" + std::string(name) + "\" was not written: " + key_.last_error();
}

void SettingsWriter::Dword(std::string_view name, std::uint32_t value)
{
    if (opened_)
        Check(key_.set_dword(name, value), name);
}

void SettingsWriter::Float(std::string_view name, float value)
{
    if (opened_)
        Check(key_.set_float(name, value), name);
}

void SettingsWriter::String(std::string_view name, std::string_view value)
{
    if (opened_)
        Check(key_.set_string(name, value), name);
}

void SettingsWriter::Binary(std::string_view name, const std::vector<std::uint8_t>& value)
{
    if (opened_)
        Check(key_.set_binary(name, value), name);
}

bool SettingsWriter::Finish()
{
    if (error_.empty())
        return true;
    platform::message_box("Can't save the " + what_ + ": " + error_, "Error", platform::MB_ICONEXCLAMATION);
    return false;
}
