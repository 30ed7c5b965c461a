#pragma once

#include "shared/import/ImportResult.h"
#include "shared/import/PlistValue.h"

namespace torvane {

/// Walks the payloads of a configuration profile (an already parsed
/// property list). Every VPN payload becomes a profile; certificate
/// payloads are resolved by their PayloadUUID; the client identity's
/// PKCS#12 is opened, asking for its password through `options` when the
/// payload holds none. Payloads that are not VPN settings, and VPN payloads
/// of a kind Torvane cannot connect with, are listed in the file report. A
/// file with no usable VPN payload is refused with the reason of the first.
class MobileconfigReader {
public:
    static Expected<ImportResult, ImportError> read(const PlistValue& root,
                                                    const ImportOptions& options);
};

} // namespace torvane
