// Property lists come inside configuration profiles from mail and web
// pages. Reading must never crash, and whatever reads must stay within the
// bounds the reader promises, even when binary containers share children.
#include "shared/import/PlistReader.h"

#include <cstdlib>

namespace {

std::size_t countNodes(const torvane::PlistValue& value, int depth) {
    if (depth > torvane::kMaxPlistDepth) {
        std::abort();
    }
    std::size_t count = 1;
    for (const auto& child : value.array) {
        count += countNodes(child, depth + 1);
    }
    for (const auto& [key, child] : value.dict) {
        count += countNodes(child, depth + 1);
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const auto& read : {torvane::readXmlPlist, torvane::readBinaryPlist}) {
        const auto value = read(bytes);
        if (value && countNodes(*value, 1) > torvane::kMaxPlistElements) {
            std::abort();
        }
    }
    return 0;
}
