#include "JsonReader.h"
#include "HostRun.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// Recursive descent over RFC 8259; at is the byte offset reached.
struct CVxTestJsonParser {
    const std::string& text;
    size_t at = 0;

    void Space() { at = std::min(text.size(), text.find_first_not_of(" \n\r\t", at)); }
    bool Eat(char c) { Space(); return at < text.size() && text[at] == c && (++at, true); }
    bool Word(const char* w) { const size_t n = std::strlen(w); return text.compare(at, n, w) == 0 && (at += n, true); }

    bool String(std::string& out)
    {
        if (!Eat('"'))
            return false;
        while (at < text.size() && text[at] != '"') {
            const unsigned char c = uint8_t(text[at++]);
            if (c < 0x20 || (c == '\\' && at >= text.size()))
                return false;
            if (c != '\\') {
                out += char(c);
                continue;
            }
            const char e = text[at++];
            if (const char* p = std::strchr("\"\\/bfnrt", e); p && e) {
                out += "\"\\/\b\f\n\r\t"[p - "\"\\/bfnrt"];
            } else if (e == 'u' && at + 4 <= text.size() && text.compare(at, 2, "00") == 0) {
                out += char(std::strtoul(text.substr(at, 4).c_str(), nullptr, 16));  // the host escapes control characters only
                at += 4;
            } else {
                return false;
            }
        }
        return at++ < text.size();
    }

    // Members of an object (key given) or items of an array, up to the closing bracket.
    template <class Add>
    bool List(char close, Add add)
    {
        ++at;
        if (Eat(close))
            return true;
        do {
            if (!add())
                return false;
        } while (Eat(','));
        return Eat(close);
    }

    bool Value(VxTestJson& v, int depth)
    {
        Space();
        if (depth > 64 || at >= text.size())
            return false;
        if (text[at] == '{') {
            v.type = VxTestJson::Type::Object;
            return List('}', [&] {
                std::string key;
                return String(key) && Eat(':') && Value(v.members[key], depth + 1);
            });
        }
        if (text[at] == '[') {
            v.type = VxTestJson::Type::Array;
            return List(']', [&] { return Value(v.items.emplace_back(), depth + 1); });
        }
        if (text[at] == '"')
            return v.type = VxTestJson::Type::String, String(v.text);
        if ((v.boolean = Word("true")) || Word("false"))
            return v.type = VxTestJson::Type::Bool, true;
        if (Word("null"))
            return true;
        // Numbers: RFC syntax (no leading zeros, no bare dot, no sign but minus), value by strtod.
        const size_t start = at;
        const auto digits = [&] {
            const size_t from = at;
            while (at < text.size() && std::isdigit(uint8_t(text[at])))
                ++at;
            return at > from;
        };
        Word("-");
        if (!Word("0") && !(at < text.size() && text[at] != '0' && digits()))
            return false;
        if (Word(".") && !digits())
            return false;
        if ((Word("e") || Word("E")) && (Word("+") || Word("-") || true) && !digits())
            return false;
        v.number = std::strtod(text.substr(start, at - start).c_str(), nullptr);
        v.type = VxTestJson::Type::Number;
        return true;
    }
};

}  // namespace

const VxTestJson& VxTestJson::operator[](const std::string& key) const
{
    static const VxTestJson kNull;
    const auto it = members.find(key);
    return it == members.end() ? kNull : it->second;
}

bool VxTest_ParseJson(const std::string& text, VxTestJson& value, std::string& error)
{
    CVxTestJsonParser parser{text};
    const bool ok = parser.Value(value, 0) && (parser.Space(), parser.at == text.size());
    if (!ok)
        error = "not JSON at byte " + std::to_string(parser.at);
    return ok;
}

VxTestJson VxTest_RunJson(const std::vector<std::string>& args)
{
    const VxTestHostRun run = VxTest_RunHost(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    VxTestJson value;
    std::string error;
    EXPECT_TRUE(VxTest_ParseJson(run.out, value, error)) << error << "\n" << run.out;
    return value;
}
