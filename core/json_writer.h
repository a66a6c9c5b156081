// The JSON the command-line program prints: one flat object per line, its
// fields in the order given.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// A JSON string literal (quotes included) for UTF-8 text. Quotes, backslashes
// and control characters are escaped; a byte that is no UTF-8 becomes the
// text \xNN, so the JSON is valid UTF-8 whatever it is given; everything else
// goes out as it is.
std::string JsonString(std::string_view utf8);

// A field's value: null, a truth value, a whole number, a string (UTF-8) or
// an array of whole numbers.
class JsonValue {
  public:
    JsonValue() = default; // null
    JsonValue(std::nullptr_t) {}
    JsonValue(bool b) : text_(b ? "true" : "false") {}
    template <typename Int,
              std::enable_if_t<std::is_integral_v<Int> && !std::is_same_v<Int, bool>, int> = 0>
    JsonValue(Int n) : text_(std::to_string(n)) {}
    JsonValue(std::string_view s) : text_(JsonString(s)) {}
    JsonValue(const std::string& s) : text_(JsonString(s)) {}
    JsonValue(const char* s) : text_(JsonString(s)) {}
    // An array of whole numbers: [1, 2].
    JsonValue(const std::vector<int>& numbers);
    // An array of strings: ["a", "b"].
    JsonValue(const std::vector<std::string>& strings);
    // JSON text made elsewhere, taken as it is: a number with a fixed number
    // of decimals, an object.
    static JsonValue Raw(std::string json) {
        JsonValue v;
        v.text_ = std::move(json);
        return v;
    }

    // The value as JSON text.
    const std::string& text() const { return text_; }

  private:
    std::string text_ = "null";
};

using JsonFields = std::vector<std::pair<std::string, JsonValue>>;

// {"a": 1, "b": "x"}: a blank after each colon and comma.
std::string JsonObject(const JsonFields& fields);
