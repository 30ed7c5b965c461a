#pragma once

#include "shared/import/ImportResult.h"

#include <string_view>

namespace torvane {

/// Reads a strongSwan Android profile (.sswan, a JSON object) into one
/// profile. Every key of the file ends up in the report, carried over or
/// not; a file whose authentication Torvane cannot do, or that names no
/// gateway, is refused. A `local.p12` bundle is opened here, asking for its
/// password through `options`.
class SswanReader {
public:
    static Expected<ImportedProfile, ImportError> read(std::string_view text,
                                                       const ImportOptions& options);
};

} // namespace torvane
