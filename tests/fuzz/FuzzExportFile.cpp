// Export files come from anywhere: mail, downloads, other machines. Reading
// must never crash, whatever reads must survive a round trip through the file
// text, and opening the sealed secrets must fail cleanly on any content.
#include "Torvane/core/ExportFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace pp = torvane::ExportFile;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto document = pp::readDocument(text);
    if (!document) {
        return 0;
    }
    // The file's profile object is written back as it was read; only an id it
    // lacks is drawn anew on every reading.
    const auto again = pp::readDocument(pp::encodeDocument(*document));
    if (!again) {
        std::abort();
    }
    auto expected = *document;
    expected.profile.id = again->profile.id;
    if (!(*again == expected)) {
        std::abort();
    }
    // Key derivation costs one HMAC per round; beyond a thousand the fuzzer
    // would spend its time hashing instead of exploring. The passphrase is the
    // one the seed files were sealed with.
    if (document->encryption.rounds <= 1000) {
        const auto opened = pp::decode(*document, "fuzz");
        if (opened && opened->first.id == document->profile.id) {
            std::abort();
        }
        // A version 2 box is bound to its file: the same file declared as
        // version 1 must not open.
        if (opened && document->version == 2) {
            auto downgraded = *document;
            downgraded.version = 1;
            if (pp::decode(downgraded, "fuzz")) {
                std::abort();
            }
        }
    }
    return 0;
}
