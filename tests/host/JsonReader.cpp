#include "JsonReader.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// Recursive descent over RFC 8259; at is the byte offset reached.
struct CVxTestJsonParser {
    const std::string& text;
    size_t at = 0;

    void Space() { while (at < text.size() && std::strchr(" \n\r\t", text[at]) && text[at]) ++at; }
    bool Eat(char c) { Space(); return at < text.size() && text[at] == c && (++at, true); }
    bool Word(const char* w) { const size_t n = std::strlen(w); return text.compare(at, n, w) == 0 && (at += n, true); }

    bool String(std::string& out)
    {
        if (!Eat('"'))
            return false;
        while (at < text.size() && text[at] != '"') {
            const unsigned char c = uint8_t(text[at++]);
            if (c < 0x20)
                return false;
            if (c != '\\') {
                out += char(c);
                continue;
            }
            if (at >= text.size())
                return false;
            const char e = text[at++];
            if (const char* p = std::strchr("\"\\/bfnrt", e); p && e) {
                out += "\"\\/\b\f\n\r\t"[p - "\"\\/bfnrt"];
            } else if (e == 'u' && at + 4 <= text.size()) {
                const unsigned long code = std::strtoul(text.substr(at, 4).c_str(), nullptr, 16);
                at += 4;
                if (code < 0x80) {
                    out += char(code);
                } else if (code < 0x800) {
                    out += char(0xC0 | (code >> 6));
                    out += char(0x80 | (code & 0x3F));
                } else {
                    out += char(0xE0 | (code >> 12));
                    out += char(0x80 | ((code >> 6) & 0x3F));
                    out += char(0x80 | (code & 0x3F));
                }
            } else {
                return false;
            }
        }
        return at++ < text.size();
    }

    bool Value(VxTestJson& v, int depth)
    {
        Space();
        if (depth > 64 || at >= text.size())
            return false;
        const char c = text[at];
        if (c == '{') {
            v.type = VxTestJson::Type::Object;
            ++at;
            if (Eat('}'))
                return true;
            do {
                std::string key;
                if (!String(key) || !Eat(':') || !Value(v.members[key], depth + 1))
                    return false;
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[') {
            v.type = VxTestJson::Type::Array;
            ++at;
            if (Eat(']'))
                return true;
            do {
                v.items.emplace_back();
                if (!Value(v.items.back(), depth + 1))
                    return false;
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '"')
            return v.type = VxTestJson::Type::String, String(v.text);
        if (Word("true") || Word("false")) {
            v.type = VxTestJson::Type::Bool;
            v.boolean = text[at - 1] == 'e' && text[at - 2] == 'u';  // "true", not "false"
            return true;
        }
        if (Word("null"))
            return true;
        // Numbers: RFC syntax (no leading zeros, no bare dot), value by strtod.
        const size_t start = at;
        Word("-");
        if (Word("0")) {
        } else if (at < text.size() && text[at] >= '1' && text[at] <= '9') {
            while (at < text.size() && std::isdigit(uint8_t(text[at]))) ++at;
        } else {
            return false;
        }
        for (const char* part : {".", "e"}) {
            if (at < text.size() && (text[at] == part[0] || (part[0] == 'e' && text[at] == 'E'))) {
                ++at;
                if (part[0] == 'e' && at < text.size() && (text[at] == '+' || text[at] == '-'))
                    ++at;
                const size_t digits = at;
                while (at < text.size() && std::isdigit(uint8_t(text[at]))) ++at;
                if (at == digits)
                    return false;
            }
        }
        v.type = VxTestJson::Type::Number;
        v.number = std::strtod(text.substr(start, at - start).c_str(), nullptr);
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
