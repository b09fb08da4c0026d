// JSON writer.
#include "Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

std::string VxHost_JsonQuote(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (uint8_t(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(uint8_t(c)));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

void CVxHostJson::Indent()
{
    m_text += '\n';
    m_text.append(m_levels.size() * 2, ' ');
}

void CVxHostJson::BeforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_levels.empty())
        return;
    if (!m_levels.back().first)
        m_text += ',';
    m_levels.back().first = false;
    Indent();
}

void CVxHostJson::Open(char bracket)
{
    BeforeValue();
    m_text += bracket;
    m_levels.push_back({});
}

void CVxHostJson::Close(char bracket)
{
    if (m_levels.empty())
        return;
    const bool empty = m_levels.back().first;
    m_levels.pop_back();
    if (!empty)
        Indent();
    m_text += bracket;
    if (m_levels.empty())
        m_text += '\n';
}

void CVxHostJson::BeginObject() { Open('{'); }
void CVxHostJson::EndObject() { Close('}'); }
void CVxHostJson::BeginArray() { Open('['); }
void CVxHostJson::EndArray() { Close(']'); }

void CVxHostJson::Key(std::string_view key)
{
    BeforeValue();
    m_text += VxHost_JsonQuote(key);
    m_text += ": ";
    m_afterKey = true;
}

void CVxHostJson::String(std::string_view text)
{
    BeforeValue();
    m_text += VxHost_JsonQuote(text);
}

void CVxHostJson::Number(int64_t value)
{
    BeforeValue();
    m_text += std::to_string(value);
}

void CVxHostJson::Number(uint64_t value)
{
    BeforeValue();
    m_text += std::to_string(value);
}

void CVxHostJson::Number(double value)
{
    if (!std::isfinite(value)) {
        Null();
        return;
    }
    BeforeValue();
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    m_text.append(text, result.ptr);
}

void CVxHostJson::Bool(bool value)
{
    BeforeValue();
    m_text += value ? "true" : "false";
}

void CVxHostJson::Null()
{
    BeforeValue();
    m_text += "null";
}
