// Writing the settings file: a model as a new file, or over an existing file so
// that its comments, blank lines, order and hand-made spacing survive.

#include <deque>
#include <unordered_set>
#include <vector>

#include "IniText.h"

namespace IniText {

namespace {

std::string HeaderLine(const std::string& name)
{
    return "[" + name + "]";
}

std::string KeyLine(const std::string& key, const std::string& value)
{
    std::string line;
    line.reserve(key.size() + value.size() + 2);
    for (const char c : key) {
        if (c == '=')
            line.push_back('\\');
        line.push_back(c);
    }
    // A key ending in a backslash would escape its own separator and turn the
    // line unreadable; a blank before the '=' is trimmed away when read back.
    if (!line.empty() && line.back() == '\\')
        line.push_back(' ');
    line.push_back('=');
    line.append(Trim(value));
    return line;
}

// Lines that point either into the old file's text or into lines made here.
class LineList {
public:
    void Add(std::string_view line) { m_lines.push_back(line); }
    void Add(std::string line) { m_lines.push_back(Keep(std::move(line))); }
    void Insert(size_t position, std::vector<std::string> lines)
    {
        std::vector<std::string_view> views;
        views.reserve(lines.size());
        for (std::string& line : lines)
            views.push_back(Keep(std::move(line)));
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(position), views.begin(), views.end());
    }
    void AddSection(const IniSection& section)
    {
        Add(HeaderLine(section.name()));
        for (const auto& [key, value] : section.entries())
            Add(KeyLine(key, value));
    }
    size_t Size() const { return m_lines.size(); }

    std::string JoinWithCrLf() const
    {
        size_t size = m_lines.empty() ? 0 : 2 * (m_lines.size() - 1);
        for (const std::string_view line : m_lines)
            size += line.size();
        std::string bytes;
        bytes.reserve(size);
        for (size_t i = 0; i < m_lines.size(); ++i) {
            if (i != 0)
                bytes.append("\r\n");
            bytes.append(m_lines[i]);
        }
        return bytes;
    }

private:
    std::string_view Keep(std::string line)
    {
        m_made.push_back(std::move(line));
        return m_made.back();
    }

    std::vector<std::string_view> m_lines;
    std::deque<std::string> m_made; // a deque keeps the strings where the views point
};

} // namespace

std::string Render(const IniFile& model)
{
    LineList lines;
    for (const IniSection& section : model.sections())
        lines.AddSection(section);
    return lines.JoinWithCrLf();
}

std::string Rewrite(std::string_view oldBytes, const IniFile& model)
{
    const std::string text = DropCarriageReturnsAndNuls(oldBytes);
    IniFile old;
    Parse(text, old);

    LineList lines;
    std::string currentName;
    const IniSection* current = nullptr; // the current section in the model to be saved
    size_t insertionPoint = 0;
    bool inSection = false;
    bool skipSection = false;
    bool dropNextEmpty = false;
    // A section written in several blocks gets its new keys once, in its first block.
    std::unordered_set<std::string> sectionsWithNewKeys;

    const auto addNewKeys = [&] {
        const IniSection* oldSection = old.find(currentName);
        if (current == nullptr || oldSection == nullptr || !sectionsWithNewKeys.insert(currentName).second)
            return;
        std::vector<std::string> newKeys;
        for (const auto& [key, value] : current->entries()) {
            if (!oldSection->has(key))
                newKeys.push_back(KeyLine(key, value));
        }
        lines.Insert(insertionPoint, std::move(newKeys));
    };

    ForEachLine(text, [&](std::string_view rawLine) {
        const Line line = Classify(rawLine);
        switch (line.kind) {
        case Line::Kind::Section:
            if (inSection) {
                addNewKeys();
                inSection = false;
            }
            currentName = NormalizeName(line.name);
            current = model.find(currentName);
            dropNextEmpty = true;
            if (current == nullptr) {
                skipSection = true;
                return;
            }
            lines.Add(rawLine);
            insertionPoint = lines.Size();
            inSection = true;
            skipSection = false;
            dropNextEmpty = false;
            return;
        case Line::Kind::KeyValue: {
            const std::string* stored = skipSection || current == nullptr ? nullptr : current->find(line.name);
            if (stored == nullptr)
                return;
            if (*stored == line.value)
                lines.Add(rawLine);
            else
                lines.Add(std::string(rawLine.substr(0, line.valueOffset)).append(Trim(*stored)));
            insertionPoint = lines.Size();
            return;
        }
        case Line::Kind::Empty:
        case Line::Kind::Comment:
        case Line::Kind::Unrecognised:
            if (rawLine.empty() && dropNextEmpty) {
                dropNextEmpty = false;
                return;
            }
            if (line.kind != Line::Kind::Unrecognised)
                lines.Add(rawLine);
            return;
        }
    });
    if (inSection)
        addNewKeys();

    for (const IniSection& section : model.sections()) {
        if (!old.has(section.name()))
            lines.AddSection(section);
    }
    return lines.JoinWithCrLf();
}

} // namespace IniText
