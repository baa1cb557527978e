// Fuzzes the settings reader and the writers. The input is a settings file; when
// it holds a NUL byte, the part before it is also loaded as a model and saved over
// the part after it, as when another writer changed the file since the load.
//
// Properties: loading what was saved gives the same model, and saving the same
// model again gives the same bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "IniFile.h"
#include "IniText.h"

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

bool SameModel(const IniFile& a, const IniFile& b)
{
    if (a.sections().size() != b.sections().size())
        return false;
    for (size_t i = 0; i < a.sections().size(); ++i) {
        if (a.sections()[i].name() != b.sections()[i].name() ||
            a.sections()[i].entries() != b.sections()[i].entries())
            return false;
    }
    return true;
}

using Content = std::map<std::string, std::map<std::string, std::string>>;

Content ContentOf(const IniFile& ini)
{
    Content content;
    for (const IniSection& section : ini.sections()) {
        auto& keys = content[section.name()];
        for (const auto& [key, value] : section.entries())
            keys[key] = value;
    }
    return content;
}

IniFile Parsed(std::string_view bytes)
{
    IniFile model;
    IniText::Parse(bytes, model);
    return model;
}

// Saving a model over the file it was loaded from.
void CheckSavedOverItsOwnFile(std::string_view file)
{
    const IniFile model = Parsed(file);

    const std::string fresh = IniText::Render(model);
    if (!SameModel(Parsed(fresh), model))
        Fail("a new file reads back as the model");
    if (IniText::Rewrite("", model) != fresh)
        Fail("writing over an empty file gives a new file");
    if (IniText::Rewrite(fresh, model) != fresh)
        Fail("saving a new file again changes nothing");

    const std::string rewritten = IniText::Rewrite(file, model);
    if (!SameModel(Parsed(rewritten), model))
        Fail("a rewritten file reads back as the model");
    if (IniText::Rewrite(rewritten, model) != rewritten)
        Fail("saving a rewritten file again changes nothing");

    // The typed reads take any value.
    IniFile reads = model;
    for (const IniSection& section : model.sections()) {
        for (const auto& entry : section.entries()) {
            reads.GetInt(section.name(), entry.first, 0);
            reads.GetBool(section.name(), entry.first, false);
            reads.GetFloat(section.name(), entry.first, 0.0f);
        }
    }
}

// Saving a model over a file that holds something else.
void CheckSavedOverAnotherFile(std::string_view source, std::string_view file)
{
    const IniFile model = Parsed(source);
    const std::string rewritten = IniText::Rewrite(file, model);
    // The other file decides the order of what it already holds.
    if (ContentOf(Parsed(rewritten)) != ContentOf(model))
        Fail("a file rewritten with another model reads back as that model");
    if (IniText::Rewrite(rewritten, model) != rewritten)
        Fail("saving over another file again changes nothing");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckSavedOverItsOwnFile(input);
    const size_t split = input.find('\0');
    if (split != std::string_view::npos)
        CheckSavedOverAnotherFile(input.substr(0, split), input.substr(split + 1));
    return 0;
}
