// A small JSON reader for tests that check what a tool printed as JSON.
#ifndef D88CUT_TESTSUPPORT_JSON_VALUE_H
#define D88CUT_TESTSUPPORT_JSON_VALUE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class JsonValue {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    // Parses text, which must hold exactly one JSON value (white space
    // around it aside). False, with value left null, when it does not.
    static bool parse(const std::string& text, JsonValue& value);

    Kind kind() const { return type; }
    bool isNull() const { return type == Kind::Null; }
    bool boolean() const { return flag; }
    // Numbers here are integers; a fraction or exponent fails the parse.
    int64_t number() const { return integer; }
    const std::string& string() const { return text; }
    size_t size() const { return type == Kind::Array ? elements.size() : members.size(); }
    // The element or member, or a null value when there is none.
    const JsonValue& operator[](size_t index) const;
    const JsonValue& operator[](const std::string& name) const;
    bool has(const std::string& name) const { return members.count(name) > 0; }

private:
    class Parser;

    Kind type = Kind::Null;
    bool flag = false;
    int64_t integer = 0;
    std::string text;
    std::vector<JsonValue> elements;
    std::map<std::string, JsonValue> members;
};

#endif
