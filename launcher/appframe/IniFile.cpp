// The settings model: ordered sections and keys behind name indexes, and the
// typed reads of a value.

#include "IniFile.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "IniText.h"

IniSection::IniSection(std::string name)
    : m_name(IniText::NormalizeName(name))
{
}

std::string& IniSection::operator[](const std::string& key)
{
    std::string name = IniText::NormalizeName(key);
    const auto found = m_index.find(name);
    if (found != m_index.end())
        return m_entries[found->second].second;
    m_index.emplace(name, m_entries.size());
    m_entries.emplace_back(std::move(name), std::string());
    return m_entries.back().second;
}

bool IniSection::has(const std::string& key) const
{
    return find(key) != nullptr;
}

const std::string* IniSection::find(const std::string& key) const
{
    const auto found = m_index.find(IniText::NormalizeName(key));
    return found == m_index.end() ? nullptr : &m_entries[found->second].second;
}

IniSection& IniFile::operator[](const std::string& section)
{
    std::string name = IniText::NormalizeName(section);
    const auto found = m_index.find(name);
    if (found != m_index.end())
        return m_sections[found->second];
    m_index.emplace(name, m_sections.size());
    m_sections.emplace_back(std::move(name));
    return m_sections.back();
}

bool IniFile::has(const std::string& section) const
{
    return find(section) != nullptr;
}

const IniSection* IniFile::find(const std::string& section) const
{
    const auto found = m_index.find(IniText::NormalizeName(section));
    return found == m_index.end() ? nullptr : &m_sections[found->second];
}

namespace {

// std::stoi's rules (leading whitespace, a sign, digits up to the first other
// character, the result within 32 bits), reporting failure instead of throwing.
bool ParseInt(const std::string& text, int& result)
{
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return false;
    result = static_cast<int>(value);
    return true;
}

// std::stof's rules, reporting failure instead of throwing. Infinities and NaNs
// count as out of range: no setting means them, and they would poison the
// window placement, colours and font size they feed.
bool ParseFloat(const std::string& text, float& result)
{
    errno = 0;
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (end == text.c_str() || errno == ERANGE || !std::isfinite(value))
        return false;
    result = value;
    return true;
}

} // namespace

int IniFile::GetInt(const std::string& section, const std::string& key, int defaultValue)
{
    int value = 0;
    const std::string& text = (*this)[section][key];
    return !text.empty() && ParseInt(text, value) ? value : defaultValue;
}

bool IniFile::GetBool(const std::string& section, const std::string& key, bool defaultValue)
{
    int value = 0;
    const std::string& text = (*this)[section][key];
    return !text.empty() && ParseInt(text, value) ? value != 0 : defaultValue;
}

float IniFile::GetFloat(const std::string& section, const std::string& key, float defaultValue)
{
    float value = 0.0f;
    const std::string& text = (*this)[section][key];
    return !text.empty() && ParseFloat(text, value) ? value : defaultValue;
}
