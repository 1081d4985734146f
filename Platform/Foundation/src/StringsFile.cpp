#include <PellinFoundation/StringsFile.h>

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

namespace foundation {

namespace {

// Far more than any string table needs; a larger file is refused rather than read into memory.
constexpr std::uintmax_t kLargestTable = 16u * 1024u * 1024u;
// Nested arrays and dictionaries deeper than this are refused, so that a hostile file cannot
// exhaust the stack of the recursive reader.
constexpr int kDeepestNesting = 64;

// Converts `bytes` between encodings with glibc's iconv, which refuses malformed input (overlong
// forms, encoded or unpaired surrogates, truncated sequences).
std::optional<std::string> convert(std::string_view bytes, const char* from, const char* to) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string input(bytes);
    std::string output(input.size() * 4 + 16, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    bool ok = true;
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1)) {
            continue;
        }
        if (errno != E2BIG) {
            ok = false;
            break;
        }
        const auto written = static_cast<std::size_t>(out - output.data());
        output.resize(output.size() * 2);
        out = output.data() + written;
        outLeft = output.size() - written;
    }
    iconv_close(converter);
    if (!ok) {
        return std::nullopt;
    }
    output.resize(static_cast<std::size_t>(out - output.data()));
    return output;
}

// The text of a table file as UTF-8, chosen by its byte-order mark.
std::optional<std::string> decode(std::string_view bytes, std::string& whyNot) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    } else if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        const char* encoding = bytes[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
        auto text = convert(bytes.substr(2), encoding, "UTF-8");
        if (!text) {
            whyNot = "not well-formed UTF-16";
        }
        return text;
    }
    // glibc's UTF-8 reader still takes the historic forms above U+10FFFF; only its UTF-32
    // writer refuses them, so the check converts to UTF-32.
    if (!convert(bytes, "UTF-8", "UTF-32LE")) {
        whyNot = "not well-formed UTF-8 and without a UTF-16 byte-order mark";
        return std::nullopt;
    }
    return std::string(bytes);
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
constexpr char32_t kReplacementCharacter = 0xFFFD;

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isUnquotedCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '/' || c == ':' || c == '.' || c == '-';
}

// What a value turned out to be; only texts go into the table.
struct Parsed {
    bool ok = false;
    bool isText = false;
    std::string text;
};

// Recursive-descent reader of the old-style property-list grammar over UTF-8 text. Every
// failure records the first error and unwinds; nothing is thrown.
class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::optional<StringsTable> readTable(std::string& whyNot) {
        StringsTable table;
        bool ok;
        if (!skipSpace()) {
            ok = error_.empty();  // an empty file is an empty table
        } else if (text_[pos_] == '{') {
            ++pos_;
            ok = readEntries(table, '}', 0) && expectEnd();
        } else {
            ok = readEntries(table, '\0', 0);
        }
        if (!ok) {
            whyNot = "line " + std::to_string(line_) + ": " + error_;
            return std::nullopt;
        }
        return table;
    }

  private:
    bool fail(std::string reason) {
        if (error_.empty()) {
            error_ = std::move(reason);
        }
        return false;
    }

    bool atEnd() const { return pos_ >= text_.size(); }

    // Skips blanks, line breaks and comments; false at the end of the text.
    bool skipSpace() {
        while (!atEnd()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
                ++pos_;
            } else if (text_.substr(pos_).starts_with("\u2028") ||
                       text_.substr(pos_).starts_with("\u2029")) {
                ++line_;
                pos_ += 3;
            } else if (text_.substr(pos_).starts_with("//")) {
                const std::size_t end = text_.find('\n', pos_);
                pos_ = end == std::string_view::npos ? text_.size() : end;
            } else if (text_.substr(pos_).starts_with("/*")) {
                const std::size_t end = text_.find("*/", pos_ + 2);
                if (end == std::string_view::npos) {
                    pos_ = text_.size();
                    return fail("unterminated comment");
                }
                for (std::size_t i = pos_; i < end; ++i) {
                    line_ += text_[i] == '\n' ? 1 : 0;
                }
                pos_ = end + 2;
            } else {
                return true;
            }
        }
        return false;
    }

    bool expectEnd() {
        if (skipSpace()) {
            return fail("unexpected text after the closing '}'");
        }
        return error_.empty();
    }

    // Entries "key = value;" or "key;" until `close` ('\0': the end of the text).
    bool readEntries(StringsTable& table, char close, int depth) {
        while (true) {
            if (!skipSpace()) {
                return close == '\0' ? error_.empty() : fail("missing closing '}'");
            }
            if (text_[pos_] == close) {
                ++pos_;
                return true;
            }
            Parsed key = readString();
            if (!key.ok) {
                return false;
            }
            if (!skipSpace()) {
                return fail("missing ';' or '=' after key \"" + key.text + "\"");
            }
            Parsed value;
            if (text_[pos_] == ';') {
                value = key;  // "key"; stands for "key" = "key";
            } else if (text_[pos_] == '=') {
                ++pos_;
                value = readValue(depth);
                if (!value.ok) {
                    return false;
                }
                if (!skipSpace() || text_[pos_] != ';') {
                    return fail("missing ';' after the value of \"" + key.text + "\"");
                }
            } else {
                return fail("expected ';' or '=' after key \"" + key.text + "\"");
            }
            ++pos_;
            if (value.isText) {
                table.insert_or_assign(std::move(key.text), std::move(value.text));
            }
        }
    }

    Parsed readValue(int depth) {
        if (!skipSpace()) {
            fail("missing value at the end of the file");
            return {};
        }
        if (depth >= kDeepestNesting) {
            fail("arrays or dictionaries nested too deeply");
            return {};
        }
        const char c = text_[pos_];
        if (c == '(') {
            ++pos_;
            return {readArray(depth + 1), false, {}};
        }
        if (c == '{') {
            ++pos_;
            StringsTable ignored;
            return {readEntries(ignored, '}', depth + 1), false, {}};
        }
        if (c == '<') {
            ++pos_;
            return {readData(), false, {}};
        }
        return readString();
    }

    bool readArray(int depth) {
        while (true) {
            if (!skipSpace()) {
                return fail("missing closing ')'");
            }
            if (text_[pos_] == ')') {
                ++pos_;
                return true;
            }
            if (!readValue(depth).ok) {
                return false;
            }
            if (!skipSpace()) {
                return fail("missing closing ')'");
            }
            if (text_[pos_] == ',') {
                ++pos_;
            } else if (text_[pos_] != ')') {
                return fail("expected ',' or ')' in an array");
            }
        }
    }

    bool readData() {
        int digits = 0;
        while (skipSpace()) {
            const char c = text_[pos_++];
            if (c == '>') {
                return digits % 2 == 0 ? true : fail("odd number of hex digits in data");
            }
            if (hexValue(c) < 0) {
                return fail("unexpected character in data");
            }
            ++digits;
        }
        return fail("missing closing '>'");
    }

    Parsed readString() {
        const char c = text_[pos_];
        if (c == '"' || c == '\'') {
            ++pos_;
            return readQuoted(c);
        }
        const std::size_t start = pos_;
        while (!atEnd() && isUnquotedCharacter(text_[pos_])) {
            ++pos_;
        }
        if (pos_ == start) {
            fail(std::string("unexpected character '") + c + "'");
            return {};
        }
        return {true, true, std::string(text_.substr(start, pos_ - start))};
    }

    Parsed readQuoted(char quote) {
        const int startLine = line_;
        std::string out;
        char32_t pendingHigh = 0;  // a \U high surrogate waiting for its low half
        auto flushPending = [&] {
            if (pendingHigh != 0) {
                appendUtf8(out, kReplacementCharacter);
                pendingHigh = 0;
            }
        };
        while (!atEnd()) {
            const char c = text_[pos_++];
            if (c == quote) {
                flushPending();
                return {true, true, std::move(out)};
            }
            if (c != '\\') {
                flushPending();
                line_ += c == '\n' ? 1 : 0;
                out += c;
                continue;
            }
            if (atEnd()) {
                break;
            }
            const char e = text_[pos_++];
            if (e == 'U') {
                char32_t unit = 0;
                for (int i = 0; i < 4 && !atEnd() && hexValue(text_[pos_]) >= 0; ++i) {
                    unit = unit * 16 + static_cast<char32_t>(hexValue(text_[pos_++]));
                }
                if (isLowSurrogate(unit) && pendingHigh != 0) {
                    appendUtf8(out, 0x10000 + ((pendingHigh - 0xD800) << 10) + (unit - 0xDC00));
                    pendingHigh = 0;
                    continue;
                }
                flushPending();
                if (isHighSurrogate(unit)) {
                    pendingHigh = unit;
                } else {
                    appendUtf8(out, isLowSurrogate(unit) ? kReplacementCharacter : unit);
                }
                continue;
            }
            flushPending();
            if (e >= '0' && e <= '7') {
                // Up to three octal digits. Above 0177 they name a byte of a legacy 8-bit
                // encoding; it is read as Latin-1 so that the text stays valid UTF-8.
                char32_t value = static_cast<char32_t>(e - '0');
                for (int i = 1; i < 3 && !atEnd() && text_[pos_] >= '0' && text_[pos_] <= '7';
                     ++i) {
                    value = value * 8 + static_cast<char32_t>(text_[pos_++] - '0');
                }
                appendUtf8(out, value);
                continue;
            }
            switch (e) {
                case 'a':
                    out += '\a';
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
                case 'v':
                    out += '\v';
                    break;
                case '\n':
                    ++line_;
                    out += '\n';
                    break;
                default:
                    // Any other escaped character stands for itself: \" \' \\ and the rest.
                    out += e;
            }
        }
        line_ = startLine;
        fail("unterminated quoted string");
        return {};
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    std::string error_;
};

}  // namespace

std::optional<StringsTable> StringsFile::parse(std::string_view bytes, std::string* whyNot) {
    std::string reason;
    std::optional<StringsTable> table;
    if (const auto text = decode(bytes, reason)) {
        table = Reader(*text).readTable(reason);
    }
    if (!table && whyNot != nullptr) {
        *whyNot = std::move(reason);
    }
    return table;
}

std::optional<StringsTable> StringsFile::read(const std::filesystem::path& path,
                                              std::string* whyNot) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > kLargestTable) {
        if (whyNot != nullptr) {
            *whyNot = error ? error.message() : "larger than any string table should be";
        }
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (!in && !in.eof()) {
        if (whyNot != nullptr) {
            *whyNot = "cannot be read";
        }
        return std::nullopt;
    }
    return parse(bytes, whyNot);
}

}  // namespace foundation
