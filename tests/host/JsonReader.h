// A strict little JSON reader for checking vxhost's --json output: the whole text must be one
// JSON value (RFC 8259 syntax), else Parse fails.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

struct VxTestJson {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<VxTestJson> items;
    std::map<std::string, VxTestJson> members;

    // The member, or a null value when absent.
    const VxTestJson& operator[](const std::string& key) const;
    const VxTestJson& operator[](size_t index) const { return items.at(index); }
};

// False (with the byte offset of the problem in error) when text is not exactly one value.
bool VxTest_ParseJson(const std::string& text, VxTestJson& value, std::string& error);

// vxhost run with args, expected to succeed and print one JSON value (failures are reported).
VxTestJson VxTest_RunJson(const std::vector<std::string>& args);
