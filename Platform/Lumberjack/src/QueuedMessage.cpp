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

const DDLogMessage& MessageMaker::make(const DDQueuedMessage& queued, std::string_view texts) {
    made_.level = queued.level;
    made_.flag = queued.flag;
    made_.context = queued.context;
    made_.line = queued.line;
    made_.timestamp = queued.timestamp;
    made_.queueLabel.assign(queued.queueLabel.data());
    if (queued.copiedTexts) {
        made_.file.assign(takeCopied(texts));
        made_.function.assign(takeCopied(texts));
        made_.tag.assign(takeCopied(texts));
        made_.message.assign(texts);
        made_.fileName.assign(lastPathComponent(made_.file));
        file_ = nullptr;
        function_ = nullptr;
        return made_;
    }
    if (queued.file != file_ || file_ == nullptr) {
        made_.file.assign(queued.file != nullptr ? queued.file : "");
        made_.fileName.assign(lastPathComponent(made_.file));
        file_ = queued.file;
    }
    if (queued.function != function_ || function_ == nullptr) {
        made_.function.assign(queued.function != nullptr ? queued.function : "");
        function_ = queued.function;
    }
    made_.tag.clear();
    made_.message.clear();
    foundation::format_detail::appendFormattedCaptured(made_.message, queued.format, texts);
    return made_;
}

}  // namespace lumberjack::detail
