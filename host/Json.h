// A small JSON writer for the --json outputs: one document, two-space indentation, keys in the
// order written. Strings are UTF-8; control characters, quotes and backslashes are escaped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CVxHostJson {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // Names the next value inside an object.
    void Key(std::string_view key);

    void String(std::string_view text);
    void Number(int64_t value);
    void Number(uint64_t value);
    void Number(int32_t value) { Number(int64_t(value)); }
    void Number(uint32_t value) { Number(uint64_t(value)); }
    void Number(double value);  // not finite: null
    void Bool(bool value);
    void Null();

    // Key and value in one call.
    template <class T>
    void Field(std::string_view key, const T& value)
    {
        Key(key);
        Value(value);
    }

    // The document so far, with a final line break once the outermost value is closed.
    const std::string& Text() const { return m_text; }

private:
    void Value(std::string_view text) { String(text); }
    void Value(const std::string& text) { String(text); }
    void Value(const char* text) { String(text); }
    void Value(bool value) { Bool(value); }
    void Value(double value) { Number(value); }
    void Value(int32_t value) { Number(value); }
    void Value(uint32_t value) { Number(value); }
    void Value(int64_t value) { Number(value); }
    void Value(uint64_t value) { Number(value); }

    void BeforeValue();
    void Open(char bracket);
    void Close(char bracket);
    void Indent();

    struct Level {
        bool first = true;
    };
    std::string m_text;
    std::vector<Level> m_levels;
    bool m_afterKey = false;
};

// The string escaped and quoted.
std::string VxHost_JsonQuote(std::string_view text);
