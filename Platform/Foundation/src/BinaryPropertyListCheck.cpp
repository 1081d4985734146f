#include "BinaryPropertyListCheck.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>

namespace foundation::plist_detail {
namespace {

constexpr std::string_view kMagic = "bplist00";
constexpr std::size_t kTrailerSize = 32;
constexpr std::uint8_t kDateMarker = 0x33;

std::uint64_t readBigEndian(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    }
    return value;
}

bool isValidWidth(std::uint64_t width) {
    return width == 1 || width == 2 || width == 4 || width == 8;
}

class Checker {
  public:
    Checker(std::string_view bytes, std::size_t maximumDepth)
        : copy_(bytes),
          bytes_(copy_),
          maximumDepth_(maximumDepth),
          nodeBudget_(2 * bytes.size() + 1024) {}

    // The bytes as libplist will read them: after swapDates, with stand-ins for the dates.
    std::string takeBytes() { return std::move(copy_); }

    bool readTrailer() {
        if (bytes_.size() < kMagic.size() + kTrailerSize + 2 || !bytes_.starts_with(kMagic)) {
            return false;
        }
        const std::size_t trailer = bytes_.size() - kTrailerSize;
        offsetWidth_ = static_cast<std::uint8_t>(bytes_[trailer + 6]);
        referenceWidth_ = static_cast<std::uint8_t>(bytes_[trailer + 7]);
        objectCount_ = readBigEndian(bytes_, trailer + 8, 8);
        topObject_ = readBigEndian(bytes_, trailer + 16, 8);
        tableStart_ = readBigEndian(bytes_, trailer + 24, 8);
        if (!isValidWidth(offsetWidth_) || !isValidWidth(referenceWidth_) || objectCount_ == 0 ||
            topObject_ >= objectCount_ || tableStart_ <= kMagic.size() || tableStart_ > trailer ||
            objectCount_ > (trailer - tableStart_) / offsetWidth_) {
            return false;
        }
        offsets_.resize(objectCount_);
        for (std::uint64_t i = 0; i < objectCount_; ++i) {
            offsets_[i] = readBigEndian(bytes_, tableStart_ + i * offsetWidth_, offsetWidth_);
            if (offsets_[i] < kMagic.size() || offsets_[i] >= tableStart_) {
                return false;
            }
        }
        return true;
    }

    // Every date object, reachable or not, gets its stand-in, so that no date can reach
    // libplist unswapped. No object may start inside a date's 8 bytes, or one swap could
    // change another object; the graph is checked after the swap, as libplist will see it.
    bool swapDates(std::vector<Date>& dates) {
        std::vector<std::uint64_t> starts(offsets_);
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        for (std::size_t i = 0; i < starts.size(); ++i) {
            const std::uint64_t at = starts[i];
            if (static_cast<std::uint8_t>(bytes_[at]) != kDateMarker) {
                continue;
            }
            const std::uint64_t next = i + 1 < starts.size() ? starts[i + 1] : tableStart_;
            if (next < at + 9) {
                return false;
            }
            const auto seconds = std::bit_cast<double>(readBigEndian(bytes_, at + 1, 8));
            const auto placeholder = std::bit_cast<std::uint64_t>(
                placeholderDate(dates.size()).timeIntervalSinceReferenceDate());
            dates.push_back(Date::fromReferenceDate(seconds));
            for (std::size_t b = 0; b < 8; ++b) {
                copy_[at + 1 + b] = static_cast<char>(placeholder >> (8 * (7 - b)));
            }
        }
        return true;
    }

    bool checkGraph() {
        state_.assign(objectCount_, State::Unvisited);
        nodes_.assign(objectCount_, 0);
        height_.assign(objectCount_, 0);
        return visit(topObject_, 0);
    }

  private:
    enum class State : std::uint8_t { Unvisited, Visiting, Done };

    // The count that follows a marker whose low nibble is 0xF: an integer object of its own.
    bool readLength(std::uint64_t& at, std::uint8_t info, std::uint64_t& length) const {
        if (info != 0x0F) {
            length = info;
            return true;
        }
        if (at >= tableStart_) {
            return false;
        }
        const auto marker = static_cast<std::uint8_t>(bytes_[at]);
        const std::uint64_t width = std::uint64_t{1} << (marker & 0x0F);
        if ((marker & 0xF0) != 0x10 || width > 8 || at + 1 + width > tableStart_) {
            return false;
        }
        length = readBigEndian(bytes_, at + 1, width);
        at += 1 + width;
        return true;
    }

    bool fits(std::uint64_t at, std::uint64_t count, std::uint64_t unit) const {
        return at <= tableStart_ && count <= (tableStart_ - at) / unit;
    }

    // `level` counts the lists and dictionaries around the object; height_ is how many levels
    // of them the object is and holds.
    bool visit(std::uint64_t object, std::size_t level) {
        if (state_[object] == State::Visiting) {
            return false;  // a cycle
        }
        if (state_[object] == State::Done) {
            return level + height_[object] <= maximumDepth_ && spend(nodes_[object]);
        }
        state_[object] = State::Visiting;
        std::uint64_t at = offsets_[object];
        const auto marker = static_cast<std::uint8_t>(bytes_[at++]);
        const auto info = static_cast<std::uint8_t>(marker & 0x0F);
        std::uint64_t length = 0;
        std::uint64_t children = 0;
        bool valid = true;
        switch (marker >> 4) {
            case 0x0:  // null, false, true, fill
                valid = info == 0x0 || info == 0x8 || info == 0x9 || info == 0xF;
                break;
            case 0x1:  // integer of 2^info bytes
                valid = info <= 4 && fits(at, std::uint64_t{1} << info, 1);
                break;
            case 0x2:  // real of 2^info bytes
                valid = info <= 3 && fits(at, std::uint64_t{1} << info, 1);
                break;
            case 0x3:  // date
                valid = info == 3 && fits(at, 8, 1);
                break;
            case 0x4:  // data
            case 0x5:  // ASCII text
                valid = readLength(at, info, length) && fits(at, length, 1);
                break;
            case 0x6:  // UTF-16 text
                valid = readLength(at, info, length) && fits(at, length, 2);
                break;
            case 0x8:  // UID of info + 1 bytes
                valid = fits(at, std::uint64_t{info} + 1, 1);
                break;
            case 0xA:  // list
            case 0xC:  // set
                valid = readLength(at, info, length) && fits(at, length, referenceWidth_);
                children = length;
                break;
            case 0xD:  // dictionary: the keys' references, then the values'
                valid = readLength(at, info, length) && length <= tableStart_ &&
                        fits(at, 2 * length, referenceWidth_);
                children = 2 * length;
                break;
            default:
                valid = false;
        }
        const bool container = marker >> 4 == 0xA || marker >> 4 == 0xC || marker >> 4 == 0xD;
        if (!valid || (container && level + 1 > maximumDepth_)) {
            return false;
        }
        std::uint64_t nodes = 1;
        std::size_t height = container ? 1 : 0;
        const std::uint64_t before = spent_;
        for (std::uint64_t i = 0; i < children; ++i) {
            const std::uint64_t child =
                readBigEndian(bytes_, at + i * referenceWidth_, referenceWidth_);
            if (child >= objectCount_ || !visit(child, level + 1)) {
                return false;
            }
            if (marker >> 4 == 0xD && i < length && !isKeyText(child)) {
                return false;
            }
            height = std::max(height, height_[child] + 1);
        }
        nodes += spent_ - before;
        if (!spend(1)) {
            return false;
        }
        nodes_[object] = nodes;
        height_[object] = height;
        state_[object] = State::Done;
        return true;
    }

    // libplist stops the whole process (an assertion) on a dictionary key that is not a text
    // or that holds a NUL character, so such a file is refused here.
    bool isKeyText(std::uint64_t object) const {
        std::uint64_t at = offsets_[object];
        const auto marker = static_cast<std::uint8_t>(bytes_[at++]);
        const std::uint64_t unit = marker >> 4 == 0x6 ? 2 : 1;
        std::uint64_t length = 0;
        if ((marker >> 4 != 0x5 && marker >> 4 != 0x6) ||
            !readLength(at, static_cast<std::uint8_t>(marker & 0x0F), length) ||
            !fits(at, length, unit)) {
            return false;
        }
        for (std::uint64_t i = 0; i < length; ++i) {
            const std::uint64_t unitAt = at + i * unit;
            if (bytes_[unitAt] == '\0' && (unit == 1 || bytes_[unitAt + 1] == '\0')) {
                return false;
            }
        }
        return true;
    }

    // Counts the nodes libplist will make, shared objects once per reference.
    bool spend(std::uint64_t nodes) {
        if (nodes > nodeBudget_ - spent_) {
            return false;
        }
        spent_ += nodes;
        return true;
    }

    std::string copy_;
    std::string_view bytes_;
    std::size_t maximumDepth_;
    std::uint64_t nodeBudget_;
    std::uint64_t spent_ = 0;
    std::uint8_t offsetWidth_ = 0;
    std::uint8_t referenceWidth_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t topObject_ = 0;
    std::uint64_t tableStart_ = 0;
    std::vector<std::uint64_t> offsets_;
    std::vector<State> state_;
    std::vector<std::uint64_t> nodes_;
    std::vector<std::size_t> height_;
};

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

bool looksLikeBinaryPropertyList(std::string_view bytes) {
    return bytes.starts_with("bplist");
}

std::optional<std::string> checkBinaryPropertyList(std::string_view bytes, std::vector<Date>& dates,
                                                   std::size_t maximumDepth) {
    Checker checker(bytes, maximumDepth);
    if (!checker.readTrailer() || !checker.swapDates(dates) || !checker.checkGraph()) {
        return std::nullopt;
    }
    return checker.takeBytes();
}

}  // namespace foundation::plist_detail
