#include "JsonReader.h"

#include <cctype>
#include <cstdlib>

namespace {

class CVxTestJsonParser {
public:
    explicit CVxTestJsonParser(const std::string& text) : m_text(text) {}

    bool Document(VxTestJson& value, std::string& error)
    {
        const bool ok = Value(value, 0) && (SkipSpace(), m_at == m_text.size());
        if (!ok)
            error = "not JSON at byte " + std::to_string(m_at);
        return ok;
    }

private:
    void SkipSpace()
    {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\n' ||
                                        m_text[m_at] == '\r' || m_text[m_at] == '\t'))
            ++m_at;
    }
    bool Literal(const char* word)
    {
        const std::string w = word;
        if (m_text.compare(m_at, w.size(), w) != 0)
            return false;
        m_at += w.size();
        return true;
    }
    bool Value(VxTestJson& value, int depth)
    {
        if (depth > 64)
            return false;
        SkipSpace();
        if (m_at >= m_text.size())
            return false;
        const char c = m_text[m_at];
        if (c == '{')
            return Object(value, depth);
        if (c == '[')
            return Array(value, depth);
        if (c == '"')
            return value.type = VxTestJson::Type::String, String(value.text);
        if (Literal("true"))
            return value.type = VxTestJson::Type::Bool, value.boolean = true, true;
        if (Literal("false"))
            return value.type = VxTestJson::Type::Bool, value.boolean = false, true;
        if (Literal("null"))
            return value.type = VxTestJson::Type::Null, true;
        return Number(value);
    }
    bool Number(VxTestJson& value)
    {
        const size_t start = m_at;
        if (m_at < m_text.size() && m_text[m_at] == '-')
            ++m_at;
        const size_t digits = m_at;
        while (m_at < m_text.size() && isdigit(uint8_t(m_text[m_at])))
            ++m_at;
        if (m_at == digits || (m_text[digits] == '0' && m_at - digits > 1))
            return false;
        if (m_at < m_text.size() && m_text[m_at] == '.') {
            const size_t fraction = ++m_at;
            while (m_at < m_text.size() && isdigit(uint8_t(m_text[m_at])))
                ++m_at;
            if (m_at == fraction)
                return false;
        }
        if (m_at < m_text.size() && (m_text[m_at] == 'e' || m_text[m_at] == 'E')) {
            ++m_at;
            if (m_at < m_text.size() && (m_text[m_at] == '+' || m_text[m_at] == '-'))
                ++m_at;
            const size_t exponent = m_at;
            while (m_at < m_text.size() && isdigit(uint8_t(m_text[m_at])))
                ++m_at;
            if (m_at == exponent)
                return false;
        }
        value.type = VxTestJson::Type::Number;
        value.number = std::strtod(m_text.substr(start, m_at - start).c_str(), nullptr);
        return true;
    }
    bool String(std::string& out)
    {
        ++m_at;  // the opening quote
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"')
                return true;
            if (uint8_t(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size())
                return false;
            const char e = m_text[m_at++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (m_text.size() - m_at < 4)
                    return false;
                const unsigned long unit = std::strtoul(m_text.substr(m_at, 4).c_str(), nullptr, 16);
                m_at += 4;
                if (unit >= 0x80)
                    return false;  // the writer escapes only control characters
                out += char(unit);
                break;
            }
            default: return false;
            }
        }
        return false;
    }
    bool Array(VxTestJson& value, int depth)
    {
        value.type = VxTestJson::Type::Array;
        ++m_at;
        SkipSpace();
        if (m_at < m_text.size() && m_text[m_at] == ']')
            return ++m_at, true;
        for (;;) {
            value.items.emplace_back();
            if (!Value(value.items.back(), depth + 1))
                return false;
            SkipSpace();
            if (m_at >= m_text.size())
                return false;
            const char c = m_text[m_at++];
            if (c == ']')
                return true;
            if (c != ',')
                return false;
        }
    }
    bool Object(VxTestJson& value, int depth)
    {
        value.type = VxTestJson::Type::Object;
        ++m_at;
        SkipSpace();
        if (m_at < m_text.size() && m_text[m_at] == '}')
            return ++m_at, true;
        for (;;) {
            SkipSpace();
            std::string key;
            if (m_at >= m_text.size() || m_text[m_at] != '"' || !String(key))
                return false;
            SkipSpace();
            if (m_at >= m_text.size() || m_text[m_at++] != ':')
                return false;
            if (value.members.count(key) || !Value(value.members[key], depth + 1))
                return false;
            SkipSpace();
            if (m_at >= m_text.size())
                return false;
            const char c = m_text[m_at++];
            if (c == '}')
                return true;
            if (c != ',')
                return false;
        }
    }

    const std::string& m_text;
    size_t m_at = 0;
};

}  // namespace

const VxTestJson& VxTestJson::operator[](const std::string& key) const
{
    static const VxTestJson kNull;
    const auto found = members.find(key);
    return found == members.end() ? kNull : found->second;
}

bool VxTest_ParseJson(const std::string& text, VxTestJson& value, std::string& error)
{
    value = {};
    return CVxTestJsonParser(text).Document(value, error);
}
