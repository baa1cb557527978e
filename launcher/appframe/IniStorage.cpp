// The settings files on disk: the per-user folder, loading and saving.

#include <system_error>

#include "IniFile.h"
#include "IniText.h"
#include "Platform.h"

namespace {

// Settings files are a few kilobytes; a larger one is not ours and is left alone,
// which also bounds the memory a stray file can take.
constexpr size_t kMaxSettingsFileBytes = 4u << 20;

std::filesystem::path SettingsFile(const std::string& fileName, const std::string& organization,
                                   const std::string& application)
{
    return ConfigFolder(organization, application) / std::filesystem::u8path(fileName);
}

} // namespace

std::filesystem::path ConfigFolder(const std::string& organization, const std::string& application)
{
    // An empty local data folder leaves the path relative to the current directory.
    const std::filesystem::path folder =
        Platform::LocalDataFolder() / std::filesystem::u8path(organization) / std::filesystem::u8path(application);
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

void IniFile::Load(const std::string& fileName, const std::string& organization, const std::string& application)
{
    *this = IniFile();
    std::string bytes;
    if (Platform::ReadWholeFile(SettingsFile(fileName, organization, application), bytes, kMaxSettingsFileBytes))
        IniText::Parse(bytes, *this);
}

bool IniFile::Save(const std::string& fileName, const std::string& organization, const std::string& application)
{
    const std::filesystem::path file = SettingsFile(fileName, organization, application);
    std::string oldBytes;
    if (Platform::ReadWholeFile(file, oldBytes, kMaxSettingsFileBytes))
        return Platform::ReplaceFileContents(file, IniText::Rewrite(oldBytes, *this));
    // A file that is there but cannot be read is left as it is.
    std::error_code error;
    if (std::filesystem::exists(file, error) || error)
        return false;
    return Platform::ReplaceFileContents(file, IniText::Render(*this));
}
