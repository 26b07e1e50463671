// One JSON document written as it goes: objects and arrays opened and closed
// in order, texts escaped, a value that was not measured written as null.
// Every --json output is made with it, so each command prints the same
// shape: two-space indents, one member or item a line.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// A number given by its decimal digits: a 128-bit counter is written whole,
// never rounded through a double.
struct JsonDigits {
    std::string Digits;
};

// A text as a JSON string, quotes included. Well-formed UTF-8 stays as it is
// and any other byte is taken as an 8-bit (Latin-1) character, so the result
// is always UTF-8; every control character (U+0000-U+001F, U+007F-U+009F)
// is escaped.
std::string JsonQuoted(std::string_view text);

class JsonWriter {
public:
    // Containers: with a key inside an object, without one at the top or in
    // an array.
    JsonWriter& BeginObject(std::string_view key = {});
    JsonWriter& BeginArray(std::string_view key = {});
    JsonWriter& End();

    // Members of an object.
    JsonWriter& Field(std::string_view key, std::string_view text) { return Put(key, JsonQuoted(text)); }
    JsonWriter& Field(std::string_view key, const char* text) { return Field(key, std::string_view(text)); }
    JsonWriter& Field(std::string_view key, const std::string& text) { return Field(key, std::string_view(text)); }
    JsonWriter& Field(std::string_view key, const JsonDigits& number) { return Put(key, number.Digits); }
    JsonWriter& Field(std::string_view key, std::nullopt_t) { return Put(key, "null"); }
    template <typename T>
        requires std::integral<T>
    JsonWriter& Field(std::string_view key, T value) {
        return Put(key, Scalar(value));
    }
    template <typename T>
    JsonWriter& Field(std::string_view key, const std::optional<T>& value) {
        return value ? Field(key, *value) : Field(key, std::nullopt);
    }
    // Items of an array.
    template <typename T>
    JsonWriter& Item(const T& value) {
        return Field(std::string_view(), value);
    }
    JsonWriter& Item(const char* text) { return Field(std::string_view(), text); }

    // The document, with a final newline, once every container is closed.
    std::string Text() const { return out_ + "\n"; }

private:
    template <typename T>
    static std::string Scalar(T value) {
        if constexpr (std::same_as<T, bool>)
            return value ? "true" : "false";
        else
            return std::to_string(value);
    }
    // Starts a member or item: the separator, the line's indent, the key.
    void Open(std::string_view key);
    JsonWriter& Put(std::string_view key, const std::string& value);

    struct Level {
        bool Object = false;
        size_t Count = 0;
    };
    std::string out_;
    std::vector<Level> levels_;
};

} // namespace quorvane
