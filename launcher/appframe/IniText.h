#pragma once
// The settings file as text, without touching any file: splitting bytes into
// lines, classifying a line, reading bytes into a model, and writing a model
// either as a new file or over the bytes of an existing one.

#include <string>
#include <string_view>
#include <vector>

#include "IniFile.h"

namespace IniText {

// The six whitespace characters that names and values are trimmed of.
bool IsSpace(char c);
std::string_view Trim(std::string_view text);
// Trimmed and ASCII lower case: the form in which names are stored and matched.
std::string NormalizeName(std::string_view name);

// The bytes without their carriage returns and NUL bytes, which a reader drops
// wherever they occur.
std::string DropCarriageReturnsAndNuls(std::string_view bytes);

// Calls visit(line) for each line of text that has been through
// DropCarriageReturnsAndNuls: lines end at each line feed, and the text after the
// last line feed is a line too. Empty text has no lines.
template <class Visit>
void ForEachLine(std::string_view text, Visit&& visit)
{
    if (text.empty())
        return;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            visit(text.substr(start));
            return;
        }
        visit(text.substr(start, end - start));
        start = end + 1;
    }
}

struct Line {
    enum class Kind { Empty, Comment, Section, KeyValue, Unrecognised };
    Kind kind = Kind::Empty;
    std::string name;  // section name, or the key with "\=" turned into "=" (trimmed, case kept)
    std::string value; // trimmed value of a key/value line
    // Key/value line: offset in the raw line where its value text starts, that is
    // the first non-whitespace character after the separating '=' (the line's
    // length when there is none).
    size_t valueOffset = 0;
};
Line Classify(std::string_view rawLine);

// Replaces the model with what the bytes hold.
void Parse(std::string_view bytes, IniFile& model);

// The bytes of a new file holding the model.
std::string Render(const IniFile& model);

// The bytes of an existing file rewritten to hold the model, keeping its comments,
// blank lines, order and the spacing of unchanged lines.
std::string Rewrite(std::string_view oldBytes, const IniFile& model);

} // namespace IniText
