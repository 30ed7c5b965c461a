// .sswan files come from mail and web pages. Reading must never crash, and
// a profile that comes out must be one Torvane can try to connect with.
#include "shared/import/SswanReader.h"
#include "tests/fuzz/FuzzImportReport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    torvane::ImportOptions options;
    // One wrong answer, then the user gives up: both prompt paths run.
    int asked = 0;
    options.askPassword = [&](const std::string&, bool) -> std::optional<std::string> {
        return asked++ == 0 ? std::optional<std::string>("fuzz") : std::nullopt;
    };
    if (const auto imported = torvane::SswanReader::read(text, options)) {
        checkImported(*imported);
    }
    return 0;
}
