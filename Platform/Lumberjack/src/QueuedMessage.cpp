#include "QueuedMessage.h"

#include <PellinFoundation/Format.h>

#include <cstring>

namespace lumberjack::detail {
namespace {

std::string_view lastPathComponent(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The NUL-terminated text at the front of `texts`, which then starts after it.
std::string_view takeCopied(std::string_view& texts) {
    const std::string_view text(texts.data(), std::strlen(texts.data()));
    texts.remove_prefix(text.size() + 1);
    return text;
}

}  // namespace

std::string copiedTexts(const char* file, const char* function, const char* tag,
                        std::string_view message) {
    std::string texts;
    for (const char* text : {file, function, tag}) {
        texts.append(text != nullptr ? text : "").push_back('\0');
    }
    texts.append(message);
    return texts;
}

void makeMessage(const DDQueuedMessage& queued, std::string_view texts, DDLogMessage& made) {
    made.level = queued.level;
    made.flag = queued.flag;
    made.context = queued.context;
    made.line = queued.line;
    made.timestamp = queued.timestamp;
    made.queueLabel.assign(queued.queueLabel.data());
    if (queued.copiedTexts) {
        made.file.assign(takeCopied(texts));
        made.function.assign(takeCopied(texts));
        made.tag.assign(takeCopied(texts));
        made.message.assign(texts);
    } else {
        made.file.assign(queued.file != nullptr ? queued.file : "");
        made.function.assign(queued.function != nullptr ? queued.function : "");
        made.tag.clear();
        made.message.clear();
        foundation::format_detail::appendFormattedCaptured(made.message, queued.format, texts);
    }
    made.fileName.assign(lastPathComponent(made.file));
}

}  // namespace lumberjack::detail
