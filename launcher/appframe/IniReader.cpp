// Reading the settings file: names and values, line classification, and the
// model that a file's bytes hold.

#include "IniText.h"

namespace IniText {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string NormalizeName(std::string_view name)
{
    std::string result(Trim(name));
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

std::string DropCarriageReturnsAndNuls(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        if (c != '\r' && c != '\0')
            text.push_back(c);
    }
    return text;
}

namespace {

// The first '=' that is not written as "\=".
size_t FindSeparator(std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && (i == 0 || text[i - 1] != '\\'))
            return i;
    }
    return std::string_view::npos;
}

std::string Unescape(std::string_view key)
{
    std::string result;
    result.reserve(key.size());
    for (size_t i = 0; i < key.size(); ++i) {
        if (key[i] == '\\' && i + 1 < key.size() && key[i + 1] == '=')
            ++i;
        result.push_back(key[i]);
    }
    return result;
}

} // namespace

Line Classify(std::string_view rawLine)
{
    Line line;
    std::string_view text = Trim(rawLine);
    if (text.empty())
        return line;
    if (text.front() == ';') {
        line.kind = Line::Kind::Comment;
        return line;
    }
    if (text.front() == '[') {
        text = text.substr(0, text.find(';'));
        const size_t close = text.rfind(']');
        if (close != std::string_view::npos) {
            line.kind = Line::Kind::Section;
            line.name = std::string(Trim(text.substr(1, close - 1)));
            return line;
        }
    }
    const size_t separator = FindSeparator(text);
    if (separator == std::string_view::npos) {
        line.kind = Line::Kind::Unrecognised;
        return line;
    }
    line.kind = Line::Kind::KeyValue;
    line.name = Unescape(Trim(text.substr(0, separator)));
    line.value = std::string(Trim(text.substr(separator + 1)));
    // text is a prefix of the trimmed raw line, so the separator sits at the same
    // place in the raw line, shifted by the leading whitespace.
    size_t offset = static_cast<size_t>(text.data() - rawLine.data()) + separator + 1;
    while (offset < rawLine.size() && IsSpace(rawLine[offset]))
        ++offset;
    line.valueOffset = offset;
    return line;
}

void Parse(std::string_view bytes, IniFile& model)
{
    model = IniFile();
    IniSection* current = nullptr;
    ForEachLine(DropCarriageReturnsAndNuls(bytes), [&](std::string_view rawLine) {
        Line line = Classify(rawLine);
        if (line.kind == Line::Kind::Section)
            current = &model[line.name];
        else if (line.kind == Line::Kind::KeyValue && current != nullptr)
            (*current)[line.name] = std::move(line.value);
    });
}

} // namespace IniText
