#include "XmlPropertyListDates.h"

#include <cmath>
#include <functional>

#include "PropertyListDate.h"

namespace foundation::plist_detail {
namespace {

using DateContent = std::function<std::optional<std::string>(std::string_view)>;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The end (one past '>') of the markup that starts at `at`, honouring quoted attribute values
// and the bracketed internal subset of a <!DOCTYPE>; npos when it never ends.
std::size_t endOfMarkup(std::string_view xml, std::size_t at) {
    char quote = 0;
    int brackets = 0;
    for (std::size_t i = at + 1; i < xml.size(); ++i) {
        const char c = xml[i];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++brackets;
        } else if (c == ']') {
            --brackets;
        } else if (c == '>' && brackets <= 0) {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// The element name of a start or end tag: up to a blank, '/' or '>'.
std::string_view tagName(std::string_view tag) {
    std::size_t end = 0;
    while (end < tag.size() && !isBlank(tag[end]) && tag[end] != '/' && tag[end] != '>') {
        ++end;
    }
    return tag.substr(0, end);
}

// Walks the markup the way libplist's reader sees it (comments, CDATA sections, processing
// instructions and declarations are passed over whole) and hands every <date>'s text to
// `content`, whose answer replaces it.
std::optional<std::string> rewriteDates(std::string_view xml, std::size_t maximumDepth,
                                        const DateContent& content) {
    std::string out;
    out.reserve(xml.size() + xml.size() / 8);
    std::size_t depth = 0;
    std::size_t at = 0;
    while (at < xml.size()) {
        const std::size_t open = xml.find('<', at);
        if (open == std::string_view::npos) {
            out.append(xml.substr(at));
            break;
        }
        out.append(xml.substr(at, open - at));
        const std::string_view rest = xml.substr(open);
        std::size_t end = std::string_view::npos;
        if (rest.starts_with("<!--")) {
            const std::size_t close = xml.find("-->", open + 4);
            end = close == std::string_view::npos ? close : close + 3;
        } else if (rest.starts_with("<![CDATA[")) {
            const std::size_t close = xml.find("]]>", open + 9);
            end = close == std::string_view::npos ? close : close + 3;
        } else if (rest.starts_with("<?")) {
            const std::size_t close = xml.find("?>", open + 2);
            end = close == std::string_view::npos ? close : close + 2;
        } else {
            end = endOfMarkup(xml, open);
        }
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view markup = xml.substr(open, end - open);
        at = end;
        if (markup.starts_with("<!") || markup.starts_with("<?")) {
            out.append(markup);
            continue;
        }
        const bool closing = markup.starts_with("</");
        const std::string_view name = tagName(markup.substr(closing ? 2 : 1));
        const bool selfClosing = markup.size() >= 3 && markup[markup.size() - 2] == '/';
        if ((name == "dict" || name == "array") && !selfClosing) {
            if (closing) {
                depth -= depth > 0 ? 1 : 0;
            } else if (++depth > maximumDepth) {
                return std::nullopt;
            }
        }
        if (name != "date" || closing) {
            out.append(markup);
            continue;
        }
        if (selfClosing) {
            return std::nullopt;  // a date without its text is no date
        }
        const std::size_t close = xml.find("</", at);
        if (close == std::string_view::npos || tagName(xml.substr(close + 2)) != "date") {
            return std::nullopt;
        }
        const std::size_t closeEnd = endOfMarkup(xml, close);
        if (closeEnd == std::string_view::npos) {
            return std::nullopt;
        }
        const std::optional<std::string> replacement = content(trimmed(xml.substr(at, close - at)));
        if (!replacement) {
            return std::nullopt;
        }
        out += "<date>";
        out += *replacement;
        out += "</date>";
        at = closeEnd;
    }
    return out;
}

}  // namespace

Date placeholderDate(std::size_t index) {
    return Date::fromReferenceDate(static_cast<double>(index));
}

std::optional<std::size_t> placeholderIndex(double secondsSinceReferenceDate, std::size_t count) {
    if (!(secondsSinceReferenceDate >= 0.0) ||
        secondsSinceReferenceDate >= static_cast<double>(count) ||
        std::floor(secondsSinceReferenceDate) != secondsSinceReferenceDate) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(secondsSinceReferenceDate);
}

std::optional<std::string> swapXmlDatesForPlaceholders(std::string_view xml,
                                                       std::vector<Date>& dates,
                                                       std::size_t maximumDepth) {
    return rewriteDates(xml, maximumDepth, [&dates](std::string_view text) {
        const std::optional<Date> date = dateFromText(text);
        if (!date) {
            return std::optional<std::string>();
        }
        dates.push_back(*date);
        return dateText(placeholderDate(dates.size() - 1));
    });
}

std::optional<std::string> swapPlaceholdersForXmlDates(std::string_view xml,
                                                       const std::vector<Date>& dates) {
    return rewriteDates(xml, static_cast<std::size_t>(-1), [&dates](std::string_view text) {
        const std::optional<Date> placeholder = dateFromText(text);
        const std::optional<std::size_t> index =
            placeholder
                ? placeholderIndex(placeholder->timeIntervalSinceReferenceDate(), dates.size())
                : std::nullopt;
        return index ? dateText(dates[*index]) : std::optional<std::string>();
    });
}

}  // namespace foundation::plist_detail
