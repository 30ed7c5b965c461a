#include "shared/import/ProfileImporter.h"

#include "shared/TextPieces.h"
#include "shared/import/ImportText.h"
#include "shared/import/MobileconfigReader.h"
#include "shared/import/PlistReader.h"
#include "shared/import/SignedEnvelope.h"
#include "shared/import/SswanReader.h"

namespace torvane {

namespace {

Expected<ImportResult, ImportError> readConfigurationProfile(std::string_view bytes,
                                                             const ImportOptions& options,
                                                             ImportSignature signature) {
    const auto plist = readPlist(bytes);
    if (!plist) {
        return Unexpected{ImportError{
            importText(QT_TRANSLATE_NOOP("ProfileImport", "The file cannot be read: %1."),
                       plist.error().message)}};
    }
    auto result = MobileconfigReader::read(*plist, options);
    if (result) {
        result->signature = std::move(signature);
    }
    return result;
}

} // namespace

ImportFormat detectImportFormat(std::string_view bytes) {
    // A byte-order mark may precede JSON or XML text.
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    if (bytes.starts_with("bplist00")) {
        return ImportFormat::plist;
    }
    if (SignedEnvelope::looksSigned(bytes)) {
        return ImportFormat::signedEnvelope;
    }
    const auto text = trimmedText(bytes, kAsciiWhitespace);
    if (text.starts_with("{")) {
        return ImportFormat::sswan;
    }
    if (text.starts_with("<?xml") || text.starts_with("<plist") ||
        text.starts_with("<!DOCTYPE plist")) {
        return ImportFormat::plist;
    }
    return ImportFormat::unknown;
}

Expected<ImportResult, ImportError> importProfileFile(std::string_view bytes,
                                                      const ImportOptions& options) {
    if (bytes.size() > kMaxImportFileSize) {
        return Unexpected{ImportError{importText(QT_TRANSLATE_NOOP(
            "ProfileImport", "The file is larger than 1 MiB, far more than any profile; it was "
                             "not read."))}};
    }
    switch (detectImportFormat(bytes)) {
    case ImportFormat::sswan: {
        auto profile = SswanReader::read(bytes, options);
        if (!profile) {
            return Unexpected{profile.error()};
        }
        ImportResult result;
        result.profiles.push_back(std::move(*profile));
        return result;
    }
    case ImportFormat::plist:
        return readConfigurationProfile(bytes, options, {});
    case ImportFormat::signedEnvelope: {
        auto unwrapped = SignedEnvelope::unwrap(bytes, options);
        if (!unwrapped) {
            return Unexpected{unwrapped.error()};
        }
        if (detectImportFormat(unwrapped->content) != ImportFormat::plist) {
            return Unexpected{ImportError{importText(QT_TRANSLATE_NOOP(
                "ProfileImport", "The signed file does not hold a configuration profile."))}};
        }
        return readConfigurationProfile(unwrapped->content, options, unwrapped->signature);
    }
    case ImportFormat::unknown:
        break;
    }
    return Unexpected{ImportError{importText(QT_TRANSLATE_NOOP(
        "ProfileImport", "The file is neither a strongSwan profile (.sswan) nor a "
                         "configuration profile (.mobileconfig)."))}};
}

} // namespace torvane
