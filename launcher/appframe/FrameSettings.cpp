#include "FrameSettings.h"

#include <cstdio>
#include <string>

#include "AppFrame.h"

namespace AppFrame {

namespace {

std::string Decimal(int value) { return std::to_string(value); }
std::string Flag(bool value) { return value ? "1" : "0"; }

std::string Fixed6(float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    return text;
}

} // namespace

void ReadFrameSettings(FrameState& s)
{
    IniFile& ini = s.frameSettings;
    s.posX = ini.GetInt("window", "posx", s.posX);
    s.posY = ini.GetInt("window", "posy", s.posY);
    s.maximized = ini.GetBool("window", "maximized", s.maximized);
    s.backgroundColor[0] = ini.GetFloat("window", "bgcolorr", s.backgroundColor[0]);
    s.backgroundColor[1] = ini.GetFloat("window", "bgcolorg", s.backgroundColor[1]);
    s.backgroundColor[2] = ini.GetFloat("window", "bgcolorb", s.backgroundColor[2]);
    s.fontEnabled = ini.GetBool("font", "enabled", s.fontEnabled);
    s.fontType = ini.GetInt("font", "type", s.fontType);
    s.fontSize = ini.GetFloat("font", "size", s.fontSize);
}

void WriteFrameSettings(FrameState& s)
{
    IniSection& window = s.frameSettings["window"];
    window["width"] = Decimal(s.width);
    window["height"] = Decimal(s.height);
    window["posx"] = Decimal(s.posX);
    window["posy"] = Decimal(s.posY);
    window["maximized"] = Flag(s.maximized);
    window["bgcolorr"] = Fixed6(s.backgroundColor[0]);
    window["bgcolorg"] = Fixed6(s.backgroundColor[1]);
    window["bgcolorb"] = Fixed6(s.backgroundColor[2]);
    IniSection& font = s.frameSettings["font"];
    font["enabled"] = Flag(s.fontEnabled);
    font["type"] = Decimal(s.fontType);
    font["size"] = Fixed6(s.fontSize);
}

} // namespace AppFrame
