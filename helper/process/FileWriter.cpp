#include "helper/process/FileWriter.h"

#include "helper/process/EngineError.h"
#include "shared/AtomicFile.h"

#include <system_error>

namespace torvane {

void writeFile(std::string_view text, const std::string& path, mode_t perms) {
    if (const auto error = writeFileAtomically(path, text, perms)) {
        throw EngineError("could not write " + path + ": " +
                          std::generic_category().message(*error));
    }
}

} // namespace torvane
