#pragma once
// In-memory model of an INI settings file: ordered sections holding ordered
// key/value pairs, names matched trimmed and case-insensitively, with the reader
// and the comment-keeping writer of the frame's settings files.

#include <deque>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <utility>

// <local application data>/<organization>/<application>, created with its parents.
std::filesystem::path ConfigFolder(const std::string& organization, const std::string& application);

// Sections and entries live in deques, so a reference returned by operator[]
// stays valid while more names are appended.
class IniSection {
public:
    explicit IniSection(std::string name = {});

    // The value of the key; a missing key is appended with an empty value.
    std::string& operator[](const std::string& key);
    bool has(const std::string& key) const;
    // The value of the key, or null; adds nothing.
    const std::string* find(const std::string& key) const;

    const std::string& name() const { return m_name; }
    const std::deque<std::pair<std::string, std::string>>& entries() const { return m_entries; }

private:
    std::string m_name;
    std::deque<std::pair<std::string, std::string>> m_entries;
    std::unordered_map<std::string, size_t> m_index;
};

class IniFile {
public:
    // The section; a missing one is appended empty.
    IniSection& operator[](const std::string& section);
    bool has(const std::string& section) const;
    // The section, or null; adds nothing.
    const IniSection* find(const std::string& section) const;

    // Empties the model and reads ConfigFolder(organization, application)/fileName.
    void Load(const std::string& fileName, const std::string& organization, const std::string& application);
    // Writes the model to the same path; true on success.
    bool Save(const std::string& fileName, const std::string& organization, const std::string& application);

    // An empty value, or one that is not a number in range, gives the default.
    int GetInt(const std::string& section, const std::string& key, int defaultValue);
    bool GetBool(const std::string& section, const std::string& key, bool defaultValue);
    float GetFloat(const std::string& section, const std::string& key, float defaultValue);

    const std::deque<IniSection>& sections() const { return m_sections; }

private:
    std::deque<IniSection> m_sections;
    std::unordered_map<std::string, size_t> m_index;
};
