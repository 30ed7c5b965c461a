// The payloads of a configuration profile, read from an XML or binary
// property list: whatever the tree holds, walking it must not crash and
// every profile it yields must be usable and keep its secrets out of the
// report.
#include "shared/import/MobileconfigReader.h"
#include "shared/import/PlistReader.h"
#include "tests/fuzz/FuzzImportReport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto root = torvane::readPlist(bytes);
    if (!root) {
        return 0;
    }
    torvane::ImportOptions options;
    options.askPassword = [](const std::string&, bool) {
        return std::optional<std::string>();
    };
    if (const auto result = torvane::MobileconfigReader::read(*root, options)) {
        if (result->profiles.empty()) {
            std::abort();
        }
        for (const auto& imported : result->profiles) {
            checkImported(imported);
        }
    }
    return 0;
}
