#include "shared/import/PlistReader.h"

namespace torvane {

Expected<PlistValue, DecodeError> readPlist(std::string_view bytes) {
    if (bytes.starts_with("bplist")) {
        return readBinaryPlist(bytes);
    }
    return readXmlPlist(bytes);
}

} // namespace torvane
