#pragma once

#include "shared/import/ImportResult.h"

#include <string_view>

namespace torvane {

/// The kinds of profile file told apart by their content, whatever their
/// name.
enum class ImportFormat { unknown, sswan, plist, signedEnvelope };

ImportFormat detectImportFormat(std::string_view bytes);

/// Reads a profile file from another client: a strongSwan .sswan profile
/// or a configuration profile (.mobileconfig, XML or binary, signed or not).
/// Files over kMaxImportFileSize are refused before anything is parsed.
/// Nothing is stored: the caller shows the result and adds the profiles it
/// confirms; a refusal is one sentence for the user.
Expected<ImportResult, ImportError> importProfileFile(std::string_view bytes,
                                                      const ImportOptions& options);

} // namespace torvane
