#pragma once

#include "shared/import/ImportResult.h"

#include <cstdlib>

// What every imported profile must satisfy, whatever the file: a gateway,
// a report, and no secret shown in it.
inline void checkImported(const torvane::ImportedProfile& imported) {
    if (imported.profile.remoteAddr.empty() || imported.report.empty()) {
        std::abort();
    }
    for (const auto& line : imported.report) {
        const bool secretField = line.field.ends_with("Password") ||
                                 line.field.ends_with("SharedSecret") ||
                                 line.field.ends_with("(private key)");
        if (secretField && line.value != torvane::kMaskedValue) {
            std::abort();
        }
        // Carried lines name where they went, the others say why not.
        if (line.carried ? (line.target.empty() || !line.reason.empty()) : line.reason.empty()) {
            std::abort();
        }
    }
}
