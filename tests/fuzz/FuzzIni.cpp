// The INI reader and writer: what the writer wrote reads back the same, and
// a value set is the value read.
//
// Input: three lengths (section, key, value), those texts, then the file.
#include <string>

#include "FuzzSupport.h"
#include "platform/IniFile.h"

using namespace quorvane;

namespace {

std::string WithoutLineBreaks(std::string text) {
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    return text;
}

bool IsNameFor(const std::string& name, char open) {
    const std::string trimmed = TrimBlanks(name);
    return !trimmed.empty() && trimmed == name && trimmed.front() != ';' &&
           trimmed.front() != '#' && trimmed.front() != '[' &&
           trimmed.find(open) == std::string::npos && trimmed.find(']') == std::string::npos &&
           trimmed.find('\r') == std::string::npos && trimmed.find('\n') == std::string::npos &&
           !trimmed.starts_with("\xEF\xBB\xBF");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const size_t sectionLength = in.Byte() % 32;
    const size_t keyLength = in.Byte() % 32;
    const size_t valueLength = in.Byte() % 64;
    const std::string section = in.Text(sectionLength);
    const std::string key = in.Text(keyLength);
    const std::string value = WithoutLineBreaks(in.Text(valueLength));
    const std::string text = in.RestText();

    const IniFile first = IniFile::Parse(text);
    const std::string written = first.ToText();
    const IniFile second = IniFile::Parse(written);
    FUZZ_CHECK(second.ToText() == written);
    if (const auto got = first.Get(section, key))
        FUZZ_CHECK(second.Get(section, key) == got);
    else
        FUZZ_CHECK(!second.Get(section, key).has_value());

    // A value set under a name the file format can hold is read back,
    // trimmed as every value is.
    if (IsNameFor(section, '[') && IsNameFor(key, '=')) {
        IniFile changed = first;
        changed.Set(section, key, value);
        const IniFile reread = IniFile::Parse(changed.ToText());
        FUZZ_CHECK(reread.Get(section, key) == TrimBlanks(value));
    }
    for (const auto& item : SplitList(text)) {
        FUZZ_CHECK(!item.empty() && item == TrimBlanks(item));
        FUZZ_CHECK(item.find(',') == std::string::npos);
    }
    return 0;
}
