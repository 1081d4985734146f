#include <PellinAppleScript/DoShellScriptStatement.h>

#include <cctype>
#include <initializer_list>

namespace applescript {

namespace {

constexpr std::string_view kExpected =
    "Expected do shell script \"<text>\", optionally followed by with administrator privileges";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isLineBreak(char c) {
    return c == '\n' || c == '\r';
}
bool isWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// A short, printable excerpt of what was found instead, for the error message.
std::string excerpt(std::string_view rest) {
    if (rest.empty()) {
        return "end of script";
    }
    std::string out = "\"";
    for (const char c : rest.substr(0, 24)) {
        out += (static_cast<unsigned char>(c) < 0x20) ? ' ' : c;
    }
    out += rest.size() > 24 ? "...\"" : "\"";
    return out;
}

class Reader {
  public:
    explicit Reader(std::string_view source) : rest_(source) {}

    std::string_view rest() const { return rest_; }

    void skipBlanks() {
        while (!rest_.empty() && isBlank(rest_.front())) {
            rest_.remove_prefix(1);
        }
    }
    void skipBlanksAndLineBreaks() {
        while (!rest_.empty() && (isBlank(rest_.front()) || isLineBreak(rest_.front()))) {
            rest_.remove_prefix(1);
        }
    }

    // Consumes `word` (any case) when it stands whole at the front.
    bool keyword(std::string_view word) {
        if (rest_.size() < word.size()) {
            return false;
        }
        for (std::size_t i = 0; i < word.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(rest_[i])) != word[i]) {
                return false;
            }
        }
        if (rest_.size() > word.size() && isWordCharacter(rest_[word.size()])) {
            return false;
        }
        rest_.remove_prefix(word.size());
        return true;
    }

    // Consumes the words in order, each separated from the next by blanks; all of them or,
    // when one is missing, none.
    bool keywords(std::initializer_list<std::string_view> words) {
        const std::string_view start = rest_;
        bool first = true;
        for (const std::string_view word : words) {
            if (!first) {
                const bool separated = !rest_.empty() && isBlank(rest_.front());
                skipBlanks();
                if (!separated) {
                    rest_ = start;
                    return false;
                }
            }
            if (!keyword(word)) {
                rest_ = start;
                return false;
            }
            first = false;
        }
        return true;
    }

    // Reads a string literal; on failure says why.
    std::optional<std::string> stringLiteral(std::string& failure) {
        if (rest_.empty() || rest_.front() != '"') {
            failure = std::string(kExpected) + " but found " + excerpt(rest_) + ".";
            return std::nullopt;
        }
        rest_.remove_prefix(1);
        std::string text;
        while (!rest_.empty()) {
            const char c = rest_.front();
            rest_.remove_prefix(1);
            if (c == '"') {
                return text;
            }
            if (c != '\\') {
                text += c;
                continue;
            }
            if (rest_.empty()) {
                break;
            }
            const char escaped = rest_.front();
            rest_.remove_prefix(1);
            switch (escaped) {
                case '"':
                case '\\':
                    text += escaped;
                    break;
                case 'n':
                    text += '\n';
                    break;
                case 'r':
                    text += '\r';
                    break;
                case 't':
                    text += '\t';
                    break;
                default:
                    failure = std::string(
                                  "Expected one of the escapes \\\" \\\\ \\n \\r \\t in the "
                                  "string but found \\") +
                              (static_cast<unsigned char>(escaped) < 0x20 ? ' ' : escaped) + ".";
                    return std::nullopt;
            }
        }
        failure = "Expected \" to close the string but found end of script.";
        return std::nullopt;
    }

  private:
    std::string_view rest_;
};

}  // namespace

DoShellScriptParse parseDoShellScript(std::string_view source) {
    Reader reader(source);
    reader.skipBlanksAndLineBreaks();
    if (!reader.keywords({"do", "shell", "script"})) {
        return {std::nullopt,
                std::string(kExpected) + " but found " + excerpt(reader.rest()) + "."};
    }
    reader.skipBlanks();
    DoShellScriptParse parse;
    std::optional<std::string> text = reader.stringLiteral(parse.failure);
    if (!text) {
        return parse;
    }
    DoShellScriptStatement statement{std::move(*text), false};
    reader.skipBlanks();
    if (reader.keywords({"with", "administrator", "privileges"})) {
        statement.withAdministratorPrivileges = true;
    }
    reader.skipBlanksAndLineBreaks();
    if (!reader.rest().empty()) {
        return {std::nullopt, std::string(kExpected) + " but found " + excerpt(reader.rest()) +
                                  " after the string."};
    }
    parse.statement = std::move(statement);
    return parse;
}

}  // namespace applescript
