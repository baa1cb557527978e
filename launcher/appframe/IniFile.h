#pragma once
// In-memory model of an INI settings file: ordered sections holding ordered
// key/value pairs, names matched trimmed and case-insensitively, and the reader
// and the comment-preserving writer of Part "settings file".

#include <filesystem>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// <local application data>/<organization>/<application>, created with its parents.
std::filesystem::path ConfigFolder(const std::string& organization, const std::string& application);

class IniSection {
public:
    explicit IniSection(std::string name = {});

    // The value of the key; a missing key is appended with an empty value.
    std::string& operator[](const std::string& key);
    bool has(const std::string& key) const;

    const std::string& name() const { return m_name; }
    const std::vector<std::pair<std::string, std::string>>& entries() const { return m_entries; }

private:
    std::string m_name;
    std::vector<std::pair<std::string, std::string>> m_entries;
    std::unordered_map<std::string, size_t> m_index;
};

class IniFile {
public:
    // The section; a missing one is appended empty.
    IniSection& operator[](const std::string& section);
    bool has(const std::string& section) const;

    // Empties the model and reads ConfigFolder(organization, application)/fileName.
    void Load(const std::string& fileName, const std::string& organization, const std::string& application);
    // Writes the model to the same path; true on success.
    bool Save(const std::string& fileName, const std::string& organization, const std::string& application);

    int GetInt(const std::string& section, const std::string& key, int defaultValue);
    bool GetBool(const std::string& section, const std::string& key, bool defaultValue);
    float GetFloat(const std::string& section, const std::string& key, float defaultValue);

    const std::vector<IniSection>& sections() const { return m_sections; }

private:
    std::vector<IniSection> m_sections;
    std::unordered_map<std::string, size_t> m_index;
};
