// Finds the first fault of a line that the JSON parser refused, token by
// token, to say where it lies. It runs only on bad lines, so it is written
// for plainness, not speed.
#include "json_syntax.h"

#include <cstdio>

namespace replay {

namespace {

enum class Token {
    beginArray,
    beginObject,
    endArray,
    endObject,
    colon,
    comma,
    literal, // true, false, null
    string,
    number,
    bad,
    end,
    none,
    anyValue,
};

const char *nameOf(Token t) {
    switch (t) {
    case Token::beginArray:
        return "'['";
    case Token::beginObject:
        return "'{'";
    case Token::endArray:
        return "']'";
    case Token::endObject:
        return "'}'";
    case Token::colon:
        return "':'";
    case Token::comma:
        return "','";
    case Token::literal:
        return "literal";
    case Token::string:
        return "string literal";
    case Token::number:
        return "number literal";
    case Token::end:
        return "end of input";
    case Token::anyValue:
        return "'[', '{', or a literal";
    default:
        return "<parse error>";
    }
}

struct Failure {
    std::string message;
};
struct TooDeep {};

// As deep as the trace reader follows: objects and arrays within 32 levels.
const int maxDepth = 32;

class Scanner {
  public:
    explicit Scanner(std::string_view line) : s_(line) {}

    // The column reached and the message, or an empty message when the
    // line reads as JSON after all.
    std::optional<std::string> describe() {
        try {
            Token t = next();
            value(t, 0);
            t = next();
            if (t != Token::end)
                unexpected("value", t, Token::end);
        } catch (const Failure &f) {
            return "not JSON at column " + std::to_string(read_) + ": " + f.message;
        } catch (const TooDeep &) {
            return "nested too deep";
        }
        return std::nullopt;
    }

  private:
    std::string_view s_;
    size_t i_ = 0;
    size_t read_ = 0;           // bytes read, the end of the line counting as one
    size_t tokenStart_ = 0;     // where the text of "last read" begins
    const char *lexError_ = ""; // why the last token is Token::bad
    std::string badWord_;       // a literal's name, for "true literal"

    int get() {
        read_++;
        if (i_ >= s_.size()) {
            i_++;
            return -1;
        }
        return static_cast<unsigned char>(s_[i_++]);
    }
    void unget() {
        read_--;
        i_--;
    }

    [[noreturn]] void unexpected(const char *context, Token t, Token expected) {
        std::string m = std::string("syntax error while parsing ") + context + " - ";
        if (t == Token::bad) {
            m += lexError_;
            m += "; last read: '" + lastRead() + "'";
        } else {
            m += "unexpected ";
            m += t == Token::literal ? badWord_ + " literal" : nameOf(t);
        }
        if (expected != Token::none)
            m += std::string("; expected ") + nameOf(expected);
        throw Failure{m};
    }

    std::string lastRead() const {
        std::string text;
        size_t end = i_ < s_.size() ? i_ : s_.size();
        for (size_t k = tokenStart_; k < end; k++) {
            auto c = static_cast<unsigned char>(s_[k]);
            if (c < 0x20) {
                char code[16];
                (void)std::snprintf(code, sizeof code, "<U+%04X>", c);
                text += code;
            } else {
                text += static_cast<char>(c);
            }
        }
        return text;
    }

    Token bad(const char *why) {
        lexError_ = why;
        return Token::bad;
    }

    Token literal(const char *word) {
        for (const char *p = word + 1; *p; p++)
            if (get() != *p)
                return bad("invalid literal");
        badWord_ = word;
        return Token::literal;
    }

    static bool hex(int c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }
    int hex4() {
        int v = 0;
        for (int k = 0; k < 4; k++) {
            int c = get();
            if (!hex(c))
                return -1;
            v = v * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        }
        return v;
    }

    Token string() {
        tokenStart_ = i_ - 1;
        while (true) {
            int c = get();
            if (c < 0)
                return bad("invalid string: missing closing quote");
            if (c == '"')
                return Token::string;
            if (c < 0x20)
                return bad("invalid string: control character must be escaped");
            if (c == '\\') {
                c = get();
                if (c == 'u') {
                    int u = hex4();
                    if (u < 0)
                        return bad("invalid string: '\\u' must be followed by 4 hex digits");
                    if (u >= 0xDC00 && u <= 0xDFFF)
                        return bad("invalid string: surrogate U+DC00..U+DFFF must follow "
                                   "U+D800..U+DBFF");
                    if (u >= 0xD800 && u <= 0xDBFF) {
                        int low = get() == '\\' && get() == 'u' ? hex4() : -1;
                        if (low < 0xDC00 || low > 0xDFFF)
                            return bad("invalid string: surrogate U+D800..U+DBFF must be "
                                       "followed by U+DC00..U+DFFF");
                    }
                } else if (c < 0 || std::string_view("\"\\/bfnrt").find(static_cast<char>(c)) ==
                                        std::string_view::npos) {
                    return bad("invalid string: forbidden character after backslash");
                }
            } else if (c >= 0x80 && !utf8Rest(c)) {
                return bad("invalid string: ill-formed UTF-8 byte");
            }
        }
    }

    // The continuation bytes of a UTF-8 sequence led by `c`.
    bool utf8Rest(int c) {
        int more = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
        if (more < 0 || c > 0xF4)
            return false;
        for (int k = 0; k < more; k++) {
            int d = get();
            if (d < 0x80 || d > 0xBF)
                return false;
        }
        return true;
    }

    static bool digit(int c) { return c >= '0' && c <= '9'; }

    Token number(int c) {
        tokenStart_ = i_ - 1;
        if (c == '-') {
            c = get();
            if (!digit(c))
                return bad("invalid number; expected digit after '-'");
        }
        if (c != '0')
            while (digit(c = get())) {
            }
        else
            c = get();
        if (c == '.') {
            if (!digit(get()))
                return bad("invalid number; expected digit after '.'");
            while (digit(c = get())) {
            }
        }
        if (c == 'e' || c == 'E') {
            c = get();
            if (c == '+' || c == '-') {
                if (!digit(get()))
                    return bad("invalid number; expected digit after exponent sign");
            } else if (!digit(c)) {
                return bad("invalid number; expected '+', '-', or digit after exponent");
            }
            while (digit(c = get())) {
            }
        }
        unget();
        return Token::number;
    }

    Token next() {
        int c;
        do
            c = get();
        while (c == ' ' || c == '\t' || c == '\n' || c == '\r');
        switch (c) {
        case '[':
            return Token::beginArray;
        case ']':
            return Token::endArray;
        case '{':
            return Token::beginObject;
        case '}':
            return Token::endObject;
        case ':':
            return Token::colon;
        case ',':
            return Token::comma;
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        case '"':
            return string();
        case -1:
            return Token::end;
        default:
            if (c == '-' || digit(c))
                return number(c);
            return bad("invalid literal");
        }
    }

    void value(Token t, int depth) {
        if ((t == Token::beginObject || t == Token::beginArray) && depth >= maxDepth)
            throw TooDeep{};
        if (t == Token::beginObject) {
            t = next();
            if (t == Token::endObject)
                return;
            while (true) {
                if (t != Token::string)
                    unexpected("object key", t, Token::string);
                t = next();
                if (t != Token::colon)
                    unexpected("object separator", t, Token::colon);
                value(next(), depth + 1);
                t = next();
                if (t == Token::endObject)
                    return;
                if (t != Token::comma)
                    unexpected("object", t, Token::endObject);
                t = next();
            }
        }
        if (t == Token::beginArray) {
            t = next();
            if (t == Token::endArray)
                return;
            while (true) {
                value(t, depth + 1);
                t = next();
                if (t == Token::endArray)
                    return;
                if (t != Token::comma)
                    unexpected("array", t, Token::endArray);
                t = next();
            }
        }
        if (t == Token::literal || t == Token::string || t == Token::number)
            return;
        unexpected("value", t, t == Token::bad ? Token::none : Token::anyValue);
    }
};

} // namespace

std::optional<std::string> syntaxErrorOf(std::string_view line) { return Scanner(line).describe(); }

} // namespace replay
