#include "json_tree.h"

#include <algorithm>

namespace replay::reading {

using namespace std::string_view_literals;

// A JSON number's text (RFC 8259's grammar) into `v`: an integer when it
// has neither fraction nor exponent and fits 64 bits, a real otherwise.
void readNumber(std::string_view text, Value &v) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    size_t i = 0;
    bool negative = i < text.size() && text[i] == '-';
    if (negative)
        i++;
    size_t digits = i;
    while (i < text.size() && isDigit(text[i]))
        i++;
    if (i == digits || (i - digits > 1 && text[digits] == '0'))
        throw NotJson{};
    bool real = false;
    if (i < text.size() && text[i] == '.') {
        real = true;
        size_t fraction = ++i;
        while (i < text.size() && isDigit(text[i]))
            i++;
        if (i == fraction)
            throw NotJson{};
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        real = true;
        i++;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            i++;
        size_t exponent = i;
        while (i < text.size() && isDigit(text[i]))
            i++;
        if (i == exponent)
            throw NotJson{};
    }
    if (i != text.size())
        throw NotJson{};
    if (!real) {
        uint64_t n = 0;
        const char *first = text.data() + (negative ? 1 : 0);
        auto [end, error] = std::from_chars(first, text.data() + text.size(), n);
        if (error == std::errc() && end == text.data() + text.size()) {
            if (!negative) {
                v.type = Value::Type::unsignedInteger;
                v.unsignedInteger = n;
                return;
            }
            if (n <= uint64_t(1) << 63) {
                v.type = Value::Type::integer;
                v.integer = n == uint64_t(1) << 63 ? std::numeric_limits<int64_t>::min()
                                                   : -static_cast<int64_t>(n);
                return;
            }
        }
        // Beyond 64 bits: a real number, as JSON readers take it.
    }
    v.type = Value::Type::real;
    v.text = text;
    v.real = readFloat<double>(text);
}

// Walks a parsed line into `into`. The parser has checked the JSON; what
// is left is the depth, keys given twice, and the numbers' own texts.
void walk(simdjson::dom::element from, Value &into, size_t depth, NumberTexts &numbers) {
    using simdjson::dom::element_type;
    switch (from.type()) {
    case element_type::OBJECT: {
        if (depth >= maxDepth)
            fail("nested too deep");
        into.type = Value::Type::object;
        simdjson::dom::object object = from.get_object().value_unsafe();
        into.items.reserve(object.size());
        into.keys.reserve(object.size());
        for (simdjson::dom::key_value_pair field : object) {
            for (std::string_view seen : into.keys)
                if (seen == field.key)
                    fail("the key \"" + std::string(field.key) + "\" appears twice");
            into.keys.push_back(field.key);
            walk(field.value, into.items.emplace_back(into.items.get_allocator().resource()),
                 depth + 1, numbers);
        }
        return;
    }
    case element_type::ARRAY: {
        if (depth >= maxDepth)
            fail("nested too deep");
        into.type = Value::Type::array;
        simdjson::dom::array array = from.get_array().value_unsafe();
        into.items.reserve(array.size());
        for (simdjson::dom::element item : array)
            walk(item, into.items.emplace_back(into.items.get_allocator().resource()), depth + 1,
                 numbers);
        return;
    }
    case element_type::INT64:
        numbers.count();
        into.type = Value::Type::integer;
        into.integer = from.get_int64().value_unsafe();
        return;
    case element_type::UINT64:
        numbers.count();
        into.type = Value::Type::unsignedInteger;
        into.unsignedInteger = from.get_uint64().value_unsafe();
        return;
    case element_type::DOUBLE:
        numbers.count();
        into.type = Value::Type::real;
        into.real = from.get_double().value_unsafe();
        if (needsDigits(into.real))
            into.text = numbers.last();
        return;
    case element_type::STRING:
        into.type = Value::Type::string;
        into.text = from.get_string().value_unsafe();
        return;
    case element_type::BOOL:
        into.type = Value::Type::boolean;
        into.boolean = from.get_bool().value_unsafe();
        return;
    case element_type::NULL_VALUE:
        return;
    }
}

// The slow way, for the rare line with a number beyond a double's range,
// which the parser above refuses (JSON itself sets no range: such a number
// is read as written and then found out of range, like any other). It
// walks the line token by token and never reads a number's value.
void walkSlowly(simdjson::ondemand::value from, Value &into, size_t depth) {
    using simdjson::ondemand::json_type;
    json_type type;
    check(from.type().get(type));
    switch (type) {
    case json_type::object: {
        if (depth >= maxDepth)
            fail("nested too deep");
        into.type = Value::Type::object;
        into.items.reserve(8);
        into.keys.reserve(8);
        simdjson::ondemand::object object;
        check(from.get_object().get(object));
        for (auto result : object) {
            simdjson::ondemand::field field;
            check(std::move(result).get(field));
            std::string_view key;
            check(field.unescaped_key().get(key));
            for (std::string_view seen : into.keys)
                if (seen == key)
                    fail("the key \"" + std::string(key) + "\" appears twice");
            into.keys.push_back(key);
            walkSlowly(field.value(),
                       into.items.emplace_back(into.items.get_allocator().resource()), depth + 1);
        }
        return;
    }
    case json_type::array: {
        if (depth >= maxDepth)
            fail("nested too deep");
        into.type = Value::Type::array;
        into.items.reserve(4);
        simdjson::ondemand::array array;
        check(from.get_array().get(array));
        for (auto result : array) {
            simdjson::ondemand::value item;
            check(result.get(item));
            walkSlowly(item, into.items.emplace_back(into.items.get_allocator().resource()),
                       depth + 1);
        }
        return;
    }
    case json_type::number:
        readNumber(from.raw_json_token(), into);
        return;
    case json_type::string:
        into.type = Value::Type::string;
        check(from.get_string().get(into.text));
        return;
    case json_type::boolean:
        into.type = Value::Type::boolean;
        check(from.get_bool().get(into.boolean));
        return;
    case json_type::null: {
        bool null = false;
        check(from.is_null().get(null));
        if (!null)
            throw NotJson{};
        return;
    }
    }
    throw NotJson{};
}

void walkDocumentSlowly(simdjson::ondemand::document &document, Value &root) {
    using simdjson::ondemand::json_type;
    json_type type;
    check(document.type().get(type));
    if (type == json_type::object || type == json_type::array) {
        simdjson::ondemand::value value;
        check(document.get_value().get(value));
        walkSlowly(value, root, 0);
    } else if (type == json_type::number) {
        std::string_view raw;
        check(document.raw_json_token().get(raw));
        readNumber(raw, root);
    } else if (type == json_type::string) {
        root.type = Value::Type::string;
        check(document.get_string().get(root.text));
    } else if (type == json_type::boolean) {
        root.type = Value::Type::boolean;
        check(document.get_bool().get(root.boolean));
    } else {
        bool null = false;
        check(document.is_null().get(null));
        if (!null)
            throw NotJson{};
    }
}

} // namespace replay::reading
