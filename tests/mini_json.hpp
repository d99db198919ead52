#pragma once

// Just enough JSON to read what ka720-optical-status prints, so that tests
// compare fields rather than text.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace mini_json {

struct Value;
using Array = std::vector<Value>;
using Object = std::vector<std::pair<std::string, Value>>;

struct Value {
    std::variant<std::nullptr_t, bool, double, std::string, Array, Object> data;

    bool is_null() const { return std::holds_alternative<std::nullptr_t>(data); }
    bool boolean() const { return std::get<bool>(data); }
    double number() const { return std::get<double>(data); }
    const std::string& text() const { return std::get<std::string>(data); }
    const Array& array() const { return std::get<Array>(data); }
    const Value& operator[](std::size_t index) const { return array().at(index); }
    const Value& operator[](const std::string& key) const
    {
        for (const auto& [name, value] : std::get<Object>(data)) {
            if (name == key)
                return value;
        }
        throw std::out_of_range("no field " + key);
    }
    std::vector<std::string> keys() const
    {
        std::vector<std::string> names;
        for (const auto& field : std::get<Object>(data))
            names.push_back(field.first);
        return names;
    }
};

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    Value document()
    {
        Value value = parse();
        skip_blanks();
        if (at_ != text_.size())
            fail("text after the value");
        return value;
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw std::runtime_error("JSON: " + what + " at " + std::to_string(at_));
    }
    void skip_blanks()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\t'
                                      || text_[at_] == '\r'))
            ++at_;
    }
    bool take(std::string_view word)
    {
        if (text_.substr(at_, word.size()) != word)
            return false;
        at_ += word.size();
        return true;
    }
    void expect(char c)
    {
        skip_blanks();
        if (at_ >= text_.size() || text_[at_] != c)
            fail(std::string("expected ") + c);
        ++at_;
    }
    std::string string()
    {
        expect('"');
        std::string out;
        while (at_ < text_.size() && text_[at_] != '"') {
            if (text_[at_] == '\\') {
                ++at_;
                if (at_ >= text_.size())
                    fail("cut escape");
                if (text_[at_] == 'u') {
                    out += static_cast<char>(std::stoi(std::string(text_.substr(at_ + 1, 4)), nullptr, 16));
                    at_ += 4;
                } else {
                    out += text_[at_] == 'n' ? '\n' : text_[at_];
                }
            } else {
                out += text_[at_];
            }
            ++at_;
        }
        expect('"');
        return out;
    }
    Value parse()
    {
        skip_blanks();
        if (at_ >= text_.size())
            fail("no value");
        const char c = text_[at_];
        if (c == '{') {
            ++at_;
            Object object;
            skip_blanks();
            if (take("}"))
                return {object};
            do {
                std::string key = string();
                expect(':');
                object.emplace_back(std::move(key), parse());
                skip_blanks();
            } while (take(","));
            expect('}');
            return {object};
        }
        if (c == '[') {
            ++at_;
            Array array;
            skip_blanks();
            if (take("]"))
                return {array};
            do {
                array.push_back(parse());
                skip_blanks();
            } while (take(","));
            expect(']');
            return {array};
        }
        if (c == '"')
            return {string()};
        if (take("true"))
            return {true};
        if (take("false"))
            return {false};
        if (take("null"))
            return {nullptr};
        std::size_t used = 0;
        const double number = std::stod(std::string(text_.substr(at_)), &used);
        at_ += used;
        return {number};
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

inline Value parse(std::string_view text)
{
    return Parser(text).document();
}

} // namespace mini_json
