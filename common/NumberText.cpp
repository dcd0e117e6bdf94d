#include "common/NumberText.h"

namespace quillory {

std::string GroupThousands(std::string_view digits) {
    std::string text;
    text.reserve(digits.size() + digits.size() / 3);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

std::string CountOf(uint64_t count, std::string_view singular, std::string_view plural) {
    std::string text = std::to_string(count);
    text += ' ';
    text += count == 1 ? singular : plural;
    return text;
}

} // namespace quillory
