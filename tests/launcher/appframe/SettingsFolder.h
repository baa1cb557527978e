#pragma once
// A fixture that owns a settings folder of its own under the real local data
// folder, named uniquely per run and removed afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "IniFile.h"
#include "IniText.h"
#include "Platform.h"

class SettingsFolder : public ::testing::Test {
protected:
    // Non-ASCII, so that the wide-character paths are exercised.
    const std::string organization = "IniTest \xC3\x84\xCE\xA9 " + UniqueSuffix();
    const std::string application = "Synaptor Demo";

    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(OrganizationFolder(), ignored);
    }

    std::filesystem::path OrganizationFolder() const
    {
        return Platform::LocalDataFolder() / std::filesystem::u8path(organization);
    }
    std::filesystem::path Folder() const { return OrganizationFolder() / std::filesystem::u8path(application); }
    std::filesystem::path File(const std::string& name) const { return Folder() / std::filesystem::u8path(name); }

    void Load(IniFile& ini, const std::string& name) const { ini.Load(name, organization, application); }
    bool Save(IniFile& ini, const std::string& name) const { return ini.Save(name, organization, application); }

    static void WriteBytes(const std::filesystem::path& file, const std::string& bytes)
    {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << file;
    }
    // The file's bytes, or nothing when it is missing.
    static std::optional<std::string> ReadBytes(const std::filesystem::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        if (!in)
            return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The names in the settings folder, to catch files left behind.
    std::vector<std::string> FolderEntries() const
    {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(Folder(), ignored))
            names.push_back(Platform::PathToUtf8(entry.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    static std::string UniqueSuffix()
    {
        static std::atomic<unsigned> counter{0};
        return std::to_string(std::random_device{}()) + "-" + std::to_string(counter++);
    }
};

// The model's content as text, so that a mismatch shows where it lies: names in
// sorted order, values as a file holds them, trimmed.
inline std::string Describe(const IniFile& ini)
{
    std::vector<std::string> sections;
    for (const IniSection& section : ini.sections()) {
        std::vector<std::string> entries;
        for (const auto& [key, value] : section.entries())
            entries.push_back("  <" + key + "> = <" + std::string(IniText::Trim(value)) + ">\n");
        std::sort(entries.begin(), entries.end());
        std::string text = "[" + section.name() + "]\n";
        for (const std::string& entry : entries)
            text += entry;
        sections.push_back(text);
    }
    std::sort(sections.begin(), sections.end());
    std::string text;
    for (const std::string& section : sections)
        text += section;
    return text;
}
