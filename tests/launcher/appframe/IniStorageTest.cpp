// The settings files on disk: where they lie, and saves that cannot happen.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "IniFile.h"
#include "Platform.h"
#include "SettingsFolder.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/resource.h>
#include <csignal>
#endif

namespace {

#ifdef _WIN32
const std::string kSeparator = "\\";
#else
const std::string kSeparator = "/";
#endif

class IniStorage : public SettingsFolder {
protected:
    // A file with a known model and bytes, as a save must leave it when it fails.
    const std::string oldBytes = "; keep me\r\n[window]\r\nposx=250";

    IniFile ChangedModel()
    {
        IniFile ini;
        ini["window"]["posx"] = "100";
        ini["font"]["size"] = std::string(4096, '7');
        return ini;
    }
};

TEST_F(IniStorage, ConfigFolderIsCreatedUnderTheLocalDataFolderWithItsNameIntact)
{
    const std::filesystem::path localData = Platform::LocalDataFolder();
    ASSERT_FALSE(localData.empty());
    EXPECT_TRUE(localData.is_absolute());
    EXPECT_TRUE(std::filesystem::is_directory(localData));
    EXPECT_FALSE(std::filesystem::exists(OrganizationFolder()));

    const std::filesystem::path folder = ConfigFolder(organization, application);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(Platform::PathToUtf8(folder),
              Platform::PathToUtf8(localData) + kSeparator + organization + kSeparator + application);
    // Calling it again finds the folder in place.
    EXPECT_EQ(ConfigFolder(organization, application), folder);
}

TEST_F(IniStorage, SaveReplacesTheFileAndLeavesNothingBeside)
{
    WriteBytes(File("appframe.ini"), oldBytes);
    IniFile ini;
    Load(ini, "appframe.ini");
    EXPECT_EQ(ini["window"]["posx"], "250");
    ini["window"]["posx"] = "100";
    ASSERT_TRUE(Save(ini, "appframe.ini"));
    EXPECT_EQ(ReadBytes(File("appframe.ini")), "; keep me\r\n[window]\r\nposx=100");
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"appframe.ini"});
}

TEST_F(IniStorage, FolderThatCannotBeCreatedChangesNothing)
{
    // A file where the organization's folder belongs.
    WriteBytes(OrganizationFolder(), oldBytes);
    IniFile ini = ChangedModel();
    EXPECT_FALSE(Save(ini, "appframe.ini"));
    Load(ini, "appframe.ini");
    EXPECT_TRUE(ini.sections().empty());
    EXPECT_EQ(ReadBytes(OrganizationFolder()), oldBytes);
}

TEST_F(IniStorage, SettingsFileThatIsAFolderChangesNothing)
{
    std::filesystem::create_directories(File("appframe.ini") / "inside");
    IniFile ini = ChangedModel();
    EXPECT_FALSE(Save(ini, "appframe.ini"));
    Load(ini, "appframe.ini");
    EXPECT_TRUE(ini.sections().empty());
    EXPECT_TRUE(std::filesystem::is_directory(File("appframe.ini") / "inside"));
}

TEST_F(IniStorage, OversizedFileIsNeitherLoadedNorOverwritten)
{
    std::string huge = "[window]\r\nposx=1\r\n";
    huge.resize((4u << 20) + 1, ' ');
    WriteBytes(File("appframe.ini"), huge);
    IniFile ini;
    Load(ini, "appframe.ini");
    EXPECT_TRUE(ini.sections().empty());
    ini = ChangedModel();
    EXPECT_FALSE(Save(ini, "appframe.ini"));
    EXPECT_EQ(ReadBytes(File("appframe.ini")), huge);
}

#ifdef _WIN32

TEST_F(IniStorage, FileHeldOpenByAnotherProgramIsLeftAsItWas)
{
    WriteBytes(File("appframe.ini"), oldBytes);
    // Another program reading the file without letting it be replaced.
    const HANDLE other = CreateFileW(File("appframe.ini").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    IniFile ini = ChangedModel();
    const bool saved = Save(ini, "appframe.ini");
    CloseHandle(other);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadBytes(File("appframe.ini")), oldBytes);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"appframe.ini"});
}

TEST_F(IniStorage, ReadOnlyFileIsLeftAsItWas)
{
    WriteBytes(File("appframe.ini"), oldBytes);
    ASSERT_TRUE(SetFileAttributesW(File("appframe.ini").c_str(), FILE_ATTRIBUTE_READONLY));
    IniFile ini = ChangedModel();
    const bool saved = Save(ini, "appframe.ini");
    SetFileAttributesW(File("appframe.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadBytes(File("appframe.ini")), oldBytes);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"appframe.ini"});
}

#else

TEST_F(IniStorage, LocalDataFolderFollowsXdgDataHome)
{
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string previous = saved != nullptr ? saved : "";
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";

    setenv("XDG_DATA_HOME", "/srv/data home", 1);
    EXPECT_EQ(Platform::LocalDataFolder(), std::filesystem::path("/srv/data home"));
    // A relative one is not to be used.
    setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(Platform::LocalDataFolder(), std::filesystem::path(home) / ".local" / "share");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(Platform::LocalDataFolder(), std::filesystem::path(home) / ".local" / "share");

    if (saved != nullptr)
        setenv("XDG_DATA_HOME", previous.c_str(), 1);
}

TEST_F(IniStorage, WriteThatFailsMidwayLeavesTheOldFile)
{
    WriteBytes(File("appframe.ini"), oldBytes);
    IniFile ini = ChangedModel();
    // A file-size limit makes the write stop part of the way, even for root.
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 1024;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool saved = Save(ini, "appframe.ini");
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadBytes(File("appframe.ini")), oldBytes);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"appframe.ini"});
}

#endif

} // namespace
