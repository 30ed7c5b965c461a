#pragma once

#include "shared/import/ImportResult.h"

#include <string>

namespace torvane::cli {

/// The report of an imported .sswan or configuration profile as terminal
/// text: the signer, then per profile the settings carried over (with their
/// values, secrets masked as the importer left them) and those that were not
/// (with the reason), each section aligned on its own.
std::string importReportText(const std::string& path, const std::string& formatName,
                             const ImportResult& result);

} // namespace torvane::cli
