#include "testsupport/json_value.h"

#include <cctype>

namespace {

const JsonValue kNullValue;

}  // namespace

class JsonValue::Parser {
public:
    explicit Parser(const std::string& text) : input(text) {}

    bool parseDocument(JsonValue& value)
    {
        if (!parseValue(value, 0)) {
            return false;
        }
        skipSpace();
        return at == input.size();
    }

private:
    static constexpr int kMaxDepth = 64;

    void skipSpace()
    {
        while (at < input.size() && (input[at] == ' ' || input[at] == '\t' || input[at] == '\n' || input[at] == '\r')) {
            ++at;
        }
    }

    bool literal(const char* word)
    {
        const std::string expected(word);
        if (input.compare(at, expected.size(), expected) != 0) {
            return false;
        }
        at += expected.size();
        return true;
    }

    bool parseValue(JsonValue& value, int depth)
    {
        if (depth > kMaxDepth) {
            return false;
        }
        skipSpace();
        if (at >= input.size()) {
            return false;
        }
        const char ch = input[at];
        if (ch == '{') {
            return parseObject(value, depth);
        }
        if (ch == '[') {
            return parseArray(value, depth);
        }
        if (ch == '"') {
            value.type = Kind::String;
            return parseString(value.text);
        }
        if (ch == '-' || std::isdigit(static_cast<unsigned char>(ch))) {
            return parseNumber(value);
        }
        if (literal("true")) {
            value.type = Kind::Bool;
            value.flag = true;
            return true;
        }
        if (literal("false")) {
            value.type = Kind::Bool;
            return true;
        }
        if (literal("null")) {
            value.type = Kind::Null;
            return true;
        }
        return false;
    }

    bool parseNumber(JsonValue& value)
    {
        const size_t start = at;
        if (input[at] == '-') {
            ++at;
        }
        const size_t digits = at;
        while (at < input.size() && std::isdigit(static_cast<unsigned char>(input[at]))) {
            ++at;
        }
        const size_t count = at - digits;
        if (count == 0 || count > 18 || (count > 1 && input[digits] == '0')) {
            return false;
        }
        if (at < input.size() && (input[at] == '.' || input[at] == 'e' || input[at] == 'E')) {
            return false;
        }
        value.type = Kind::Number;
        value.integer = std::stoll(input.substr(start, at - start));
        return true;
    }

    static int hexDigit(char ch)
    {
        if (ch >= '0' && ch <= '9') {
            return ch - '0';
        }
        if (ch >= 'a' && ch <= 'f') {
            return ch - 'a' + 10;
        }
        if (ch >= 'A' && ch <= 'F') {
            return ch - 'A' + 10;
        }
        return -1;
    }

    // Keeps \u escapes below 0x100 as single bytes, so a string that stands
    // for bytes compares equal to those bytes; others are refused.
    bool parseString(std::string& out)
    {
        ++at;
        out.clear();
        while (at < input.size()) {
            const char ch = input[at++];
            if (ch == '"') {
                return true;
            }
            if (static_cast<unsigned char>(ch) < 0x20) {
                return false;
            }
            if (ch != '\\') {
                out += ch;
                continue;
            }
            if (at >= input.size()) {
                return false;
            }
            const char escape = input[at++];
            switch (escape) {
            case '"':
            case '\\':
            case '/':
                out += escape;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                if (at + 4 > input.size()) {
                    return false;
                }
                int code = 0;
                for (int i = 0; i < 4; ++i) {
                    const int digit = hexDigit(input[at++]);
                    if (digit < 0) {
                        return false;
                    }
                    code = code * 16 + digit;
                }
                if (code > 0xFF) {
                    return false;
                }
                out += static_cast<char>(code);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    bool parseArray(JsonValue& value, int depth)
    {
        ++at;
        value.type = Kind::Array;
        skipSpace();
        if (at < input.size() && input[at] == ']') {
            ++at;
            return true;
        }
        while (true) {
            JsonValue element;
            if (!parseValue(element, depth + 1)) {
                return false;
            }
            value.elements.push_back(std::move(element));
            skipSpace();
            if (at >= input.size()) {
                return false;
            }
            if (input[at] == ']') {
                ++at;
                return true;
            }
            if (input[at++] != ',') {
                return false;
            }
        }
    }

    bool parseObject(JsonValue& value, int depth)
    {
        ++at;
        value.type = Kind::Object;
        skipSpace();
        if (at < input.size() && input[at] == '}') {
            ++at;
            return true;
        }
        while (true) {
            skipSpace();
            std::string name;
            if (at >= input.size() || input[at] != '"' || !parseString(name)) {
                return false;
            }
            skipSpace();
            if (at >= input.size() || input[at++] != ':') {
                return false;
            }
            JsonValue member;
            if (!parseValue(member, depth + 1) || value.members.count(name) > 0) {
                return false;
            }
            value.members.emplace(name, std::move(member));
            skipSpace();
            if (at >= input.size()) {
                return false;
            }
            if (input[at] == '}') {
                ++at;
                return true;
            }
            if (input[at++] != ',') {
                return false;
            }
        }
    }

    const std::string& input;
    size_t at = 0;
};

bool JsonValue::parse(const std::string& text, JsonValue& value)
{
    value = JsonValue();
    JsonValue parsed;
    if (!Parser(text).parseDocument(parsed)) {
        return false;
    }
    value = std::move(parsed);
    return true;
}

const JsonValue& JsonValue::operator[](size_t index) const
{
    return type == Kind::Array && index < elements.size() ? elements[index] : kNullValue;
}

const JsonValue& JsonValue::operator[](const std::string& name) const
{
    const auto found = members.find(name);
    return found != members.end() ? found->second : kNullValue;
}
