// A small JSON reader for checking what `list --json` writes: strict enough that a stray
// comma, a bad escape or invalid text fails the parse.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct JsonValue;
using JsonObject = std::map<std::string, JsonValue>;
using JsonArray = std::vector<JsonValue>;

struct JsonValue {
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<JsonArray>,
                 std::shared_ptr<JsonObject>>
        value;

    const JsonValue& operator[](const std::string& key) const {
        const auto& object = *std::get<std::shared_ptr<JsonObject>>(value);
        const auto it = object.find(key);
        if (it == object.end()) throw std::runtime_error("no key " + key);
        return it->second;
    }
    const JsonArray& array() const { return *std::get<std::shared_ptr<JsonArray>>(value); }
    const std::string& text() const { return std::get<std::string>(value); }
    double number() const { return std::get<double>(value); }
};

class JsonReader {
  public:
    static JsonValue Parse(std::string_view text) {
        JsonReader reader(text);
        JsonValue value = reader.Value();
        reader.Space();
        if (reader.at_ != text.size()) reader.Fail("trailing text");
        return value;
    }

  private:
    explicit JsonReader(std::string_view text) : text_(text) {}

    [[noreturn]] void Fail(const std::string& why) const {
        throw std::runtime_error("JSON: " + why + " at " + std::to_string(at_));
    }
    void Space() {
        while (at_ < text_.size() &&
               std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos) {
            ++at_;
        }
    }
    char Peek() {
        Space();
        if (at_ >= text_.size()) Fail("unexpected end");
        return text_[at_];
    }
    void Expect(char c) {
        if (Peek() != c) Fail(std::string("expected ") + c);
        ++at_;
    }
    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    JsonValue Value() {
        const char c = Peek();
        if (c == '{') return Object();
        if (c == '[') return Array();
        if (c == '"') return {String()};
        if (Word("true")) return {true};
        if (Word("false")) return {false};
        if (Word("null")) return {nullptr};
        return Number();
    }
    JsonValue Object() {
        auto object = std::make_shared<JsonObject>();
        Expect('{');
        if (Peek() == '}') {
            ++at_;
            return {object};
        }
        for (;;) {
            if (Peek() != '"') Fail("expected a key");
            std::string key = String();
            Expect(':');
            (*object)[key] = Value();
            if (Peek() == '}') {
                ++at_;
                return {object};
            }
            Expect(',');
        }
    }
    JsonValue Array() {
        auto array = std::make_shared<JsonArray>();
        Expect('[');
        if (Peek() == ']') {
            ++at_;
            return {array};
        }
        for (;;) {
            array->push_back(Value());
            if (Peek() == ']') {
                ++at_;
                return {array};
            }
            Expect(',');
        }
    }
    std::string String() {
        Expect('"');
        std::string out;
        while (at_ < text_.size() && text_[at_] != '"') {
            const auto c = static_cast<unsigned char>(text_[at_++]);
            if (c < 0x20) Fail("control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= text_.size()) Fail("cut escape");
            const char e = text_[at_++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
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
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'u': {
                    if (at_ + 4 > text_.size()) Fail("cut \\u escape");
                    const unsigned long code =
                        std::stoul(std::string(text_.substr(at_, 4)), nullptr, 16);
                    at_ += 4;
                    if (code >= 0x80) Fail("only ASCII \\u escapes are expected here");
                    out += static_cast<char>(code);
                    break;
                }
                default:
                    Fail("bad escape");
            }
        }
        Expect('"');
        return out;
    }
    JsonValue Number() {
        const size_t start = at_;
        while (at_ < text_.size() &&
               std::string_view("+-0123456789.eE").find(text_[at_]) != std::string_view::npos) {
            ++at_;
        }
        if (start == at_) Fail("unexpected character");
        return {std::stod(std::string(text_.substr(start, at_ - start)))};
    }

    std::string_view text_;
    size_t at_ = 0;
};
