#include "Recognizer.h"
#include "core/UnicodeText.h"

namespace ambrel {

std::string RecognizerResult::text() const {
    std::string joined;
    for (const auto& run : runs) {
        joined += run.text;
    }
    return std::string(core::UnicodeText::trimmingWhitespace(joined));
}

} // namespace ambrel
