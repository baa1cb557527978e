// The settings file through real loads and saves: what a file reads as, and what
// a save makes of it.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "AppFrame.h"
#include "FrameSettings.h"
#include "IniFile.h"
#include "SettingsFolder.h"

using namespace std::string_literals;

namespace {

struct FileCase {
    const char* name;
    std::optional<std::string> before;              // the file before loading; none: no file
    std::function<void(IniFile&)> change;           // reads and writes between load and save
    std::string after;                              // the file after saving
    std::optional<std::string> onDiskAtSave = {};   // the file as another writer left it before the save
};

void NoChange(IniFile&) {}

const FileCase kCases[] = {
    {"unchanged lines stay as they stand, names match in any case", "[Window]\r\nPosX = 250\r\n"s,
     [](IniFile& ini) {
         EXPECT_EQ(ini.GetInt("window", "posx", 100), 250);
         EXPECT_EQ(ini.GetInt(" WINDOW ", "posX", 100), 250);
     },
     "[Window]\r\nPosX = 250\r\n"},
    {"a comment after a value belongs to it and goes when the value is rewritten",
     "[window]\r\nposx = 250 ; left monitor"s,
     [](IniFile& ini) {
         EXPECT_EQ(ini["window"]["posx"], "250 ; left monitor");
         EXPECT_EQ(ini.GetInt("window", "posx", 100), 250);
         ini["window"]["posx"] = std::to_string(250);
     },
     "[window]\r\nposx = 250"},
    {"an empty value gives the default and is filled in", "[window]\r\nposx=\r\nposy =  "s,
     [](IniFile& ini) {
         EXPECT_TRUE(ini["window"].has("posx"));
         EXPECT_EQ(ini.GetInt("window", "posx", 100), 100);
         ini["window"]["posx"] = "100";
         ini["window"]["posy"] = "7";
     },
     "[window]\r\nposx=100\r\nposy =  7"},
    {"';' comments and blank lines stay, '#' lines go",
     "; top\r\n[a]\r\n# note\r\n; note\r\n\r\n   \r\nk=1\r\n\t; indented"s, NoChange,
     "; top\r\n[a]\r\n; note\r\n\r\n   \r\nk=1\r\n\t; indented"},
    {"a header without ']' is an unrecognised line", "[font\r\n[a]\r\nk=1"s,
     [](IniFile& ini) { EXPECT_FALSE(ini.has("font")); }, "[a]\r\nk=1"},
    {"a header's comment is cut off, a ']' inside the name is kept", "[a]b] ; was [c]\r\nk=1\r\n[d=1;]"s,
     [](IniFile& ini) {
         EXPECT_EQ(ini["a]b"]["k"], "1");
         EXPECT_EQ(ini["a]b"]["[d"], "1");
     },
     "[a]b] ; was [c]\r\nk=1\r\n[d=1;]"},
    {"'\\=' in a key stands for '='", "[s]\r\na\\=b = 1\r\nx = y=z;w"s,
     [](IniFile& ini) {
         EXPECT_EQ(ini["s"]["a=b"], "1");
         EXPECT_EQ(ini["s"]["x"], "y=z;w");
         ini["s"]["c=d"] = "2";
     },
     "[s]\r\na\\=b = 1\r\nx = y=z;w\r\nc\\=d=2"},
    {"a key ending in a backslash is written so that it reads back", "[s]\r\na\\ = 1"s,
     [](IniFile& ini) {
         EXPECT_EQ(ini["s"]["a\\"], "1");
         ini["s"]["b\\"] = "2";
     },
     "[s]\r\na\\ = 1\r\nb\\ =2"},
    {"duplicate keys: the last value counts, the first line takes it", "[s]\r\nk=1\r\nk=2"s,
     [](IniFile& ini) { EXPECT_EQ(ini.GetInt("s", "k", 0), 2); }, "[s]\r\nk=2\r\nk=2"},
    {"duplicate keys all take a changed value", "[s]\r\nk=1\r\nK = 2"s, [](IniFile& ini) { ini["s"]["k"] = "3"; },
     "[s]\r\nk=3\r\nK = 3"},
    {"a file of zero bytes stays empty", ""s, [](IniFile& ini) { EXPECT_TRUE(ini.sections().empty()); }, ""},
    {"a byte-order mark hides the first header and its keys",
     "\xEF\xBB\xBF[window]\r\nposx=250\r\n[font]\r\ntype=3"s,
     [](IniFile& ini) {
         EXPECT_FALSE(ini.has("window"));
         EXPECT_EQ(ini.GetInt("font", "type", 4), 3);
     },
     "[font]\r\ntype=3"},
    {"keys before the first header are ignored and dropped", "k=1\r\n[s]\r\nj=2"s,
     [](IniFile& ini) { EXPECT_FALSE(ini["s"].has("k")); }, "[s]\r\nj=2"},
    {"line feeds become CR LF, NUL bytes and stray carriage returns go", "[a]\nk=1\0 2\r\r\nj=\r3\n"s,
     [](IniFile& ini) {
         EXPECT_EQ(ini["a"]["k"], "1 2");
         EXPECT_EQ(ini["a"]["j"], "3");
     },
     "[a]\r\nk=1 2\r\nj=3\r\n"},
    {"a rewritten line keeps its spacing up to the value", "  [a]  \r\n\tk\t=\t1\t\r\nj =   "s,
     [](IniFile& ini) {
         ini["a"]["k"] = " 2 ";
         ini["a"]["j"] = "5";
     },
     "  [a]  \r\n\tk\t=\t2\r\nj =   5"},
    {"new keys follow the section's last key, new sections go to the end",
     "[a]\r\nx=1\r\n; tail\r\n\r\n[b]\r\ny=2\r\n"s,
     [](IniFile& ini) {
         ini["a"]["z"] = "3";
         ini["c"]["v"] = "5";
         ini["b"]["w"] = "4";
         ini["d"];
     },
     "[a]\r\nx=1\r\nz=3\r\n; tail\r\n\r\n[b]\r\ny=2\r\nw=4\r\n\r\n[c]\r\nv=5\r\n[d]"},
    {"a section written in two blocks gets its new keys once", "[a]\r\nx=1\r\n[b]\r\n[a]\r\ny=2"s,
     [](IniFile& ini) { ini["a"]["z"] = "3"; }, "[a]\r\nx=1\r\nz=3\r\n[b]\r\n[a]\r\ny=2"},
    {"no file: a new one holds the model", std::nullopt,
     [](IniFile& ini) {
         EXPECT_TRUE(ini.sections().empty());
         ini["a"]["k"] = " 1 ";
         ini["a"]["e=q"] = "";
         ini["b"];
     },
     "[a]\r\nk=1\r\ne\\=q=\r\n[b]"},
    {"no file and an empty model: a new empty file", std::nullopt, NoChange, ""},
    {"a file changed on disk since the load: unknown sections go with their keys and next empty line",
     "[a]\r\nk=1\r\n[b]\r\nj=2"s, [](IniFile& ini) { ini["a"]["k"] = "5"; },
     "[a]\r\nk=5\r\n; about gone\r\n\r\n[b]\r\nj=2",
     "[a]\r\nk=9\r\nold=3\r\n[gone]\r\n\r\n; about gone\r\nx=1\r\n\r\n[b]"s},
};

class IniFileCases : public SettingsFolder {};

TEST_F(IniFileCases, LoadAndSave)
{
    for (const FileCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string name = "case.ini";
        std::filesystem::remove(File(name));
        if (c.before)
            WriteBytes(File(name), *c.before);

        IniFile ini;
        Load(ini, name);
        c.change(ini);
        if (c.onDiskAtSave)
            WriteBytes(File(name), *c.onDiskAtSave);
        ASSERT_TRUE(Save(ini, name));
        EXPECT_EQ(ReadBytes(File(name)), c.after);

        // What was saved reads back as the model (the file decides the order), and
        // saving it again changes nothing.
        IniFile reloaded;
        Load(reloaded, name);
        EXPECT_EQ(Describe(reloaded), Describe(ini));
        ASSERT_TRUE(Save(ini, name));
        EXPECT_EQ(ReadBytes(File(name)), c.after);
    }
}

class FrameSettingsFile : public SettingsFolder {
protected:
    // One launcher run through the frame's own reads and writes: start-up, the
    // launcher's font request, and shutdown.
    void Run(FrameState& state, const std::function<void(FrameState&)>& during = {})
    {
        Load(state.frameSettings, "appframe.ini");
        AppFrame::ReadFrameSettings(state);
        Load(state.appSettings, "app.ini");
        state.fontEnabled = true;
        state.fontType = 5;
        state.fontSize = 24.0f;
        if (during)
            during(state);
        EXPECT_TRUE(Save(state.appSettings, "app.ini"));
        AppFrame::WriteFrameSettings(state);
        EXPECT_TRUE(Save(state.frameSettings, "appframe.ini"));
    }
};

TEST_F(FrameSettingsFile, FirstRunWritesThirteenLinesAndAnEmptyAppFile)
{
    FrameState first;
    Run(first);
    EXPECT_EQ(ReadBytes(File("appframe.ini")),
              "[window]\r\nposx=100\r\nposy=100\r\nmaximized=0\r\nbgcolorr=0.080000\r\nbgcolorg=0.080000\r\n"
              "bgcolorb=0.080000\r\nwidth=900\r\nheight=600\r\n[font]\r\nenabled=1\r\ntype=5\r\nsize=24.000000");
    EXPECT_EQ(ReadBytes(File("app.ini")), "");

    // The next run reads back what the first one stored, and moves the window.
    FrameState second;
    second.fontType = 0;
    second.fontSize = 0.0f;
    Run(second, [](FrameState& state) {
        EXPECT_EQ(state.posX, 100);
        EXPECT_EQ(state.fontType, 5);
        EXPECT_EQ(state.fontSize, 24.0f);
        EXPECT_EQ(state.backgroundColor[1], 0.08f);
        state.posX = -250;
        state.maximized = true;
    });
    EXPECT_EQ(ReadBytes(File("appframe.ini")),
              "[window]\r\nposx=-250\r\nposy=100\r\nmaximized=1\r\nbgcolorr=0.080000\r\nbgcolorg=0.080000\r\n"
              "bgcolorb=0.080000\r\nwidth=900\r\nheight=600\r\n[font]\r\nenabled=1\r\ntype=5\r\nsize=24.000000");
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"app.ini", "appframe.ini"}));
}

TEST_F(FrameSettingsFile, HandEditedFileKeepsItsCommentsAndBadValuesGiveDefaults)
{
    WriteBytes(File("appframe.ini"), "; my settings\n[Window]\nPosX = 250 ; left monitor\nposy = high\n"
                                     "bgcolorr = 1e99\n\n[font]\ntype = 3\n# old\nsize=\n");
    FrameState state;
    Run(state, [](FrameState& s) {
        EXPECT_EQ(s.posX, 250);
        EXPECT_EQ(s.posY, 100);
        EXPECT_EQ(s.backgroundColor[0], 0.08f);
    });
    EXPECT_EQ(ReadBytes(File("appframe.ini")),
              "; my settings\r\n[Window]\r\nPosX = 250\r\nposy = 100\r\nbgcolorr = 0.080000\r\nmaximized=0\r\n"
              "bgcolorg=0.080000\r\nbgcolorb=0.080000\r\nwidth=900\r\nheight=600\r\n\r\n[font]\r\ntype = 5\r\n"
              "size=24.000000\r\nenabled=1\r\n");
}

} // namespace
