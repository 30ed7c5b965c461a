#include "FileWriter.h"

#include "AtomicFile.h"
#include "EngineError.h"

#include <system_error>

namespace torvane {

void writeFile(std::string_view text, const std::string& path, mode_t perms) {
    if (const auto error = writeFileAtomically(path, text, perms)) {
        throw EngineError("could not write " + path + ": " +
                          std::generic_category().message(*error));
    }
}

} // namespace torvane
