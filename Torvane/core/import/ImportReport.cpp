#include "Torvane/core/import/ImportReport.h"

namespace torvane {

std::string ImportSignature::text() const {
    switch (state) {
    case State::trusted:
        return "signed by " + signer + ", trusted";
    case State::notTrusted:
        return "signed by " + signer + ", not trusted";
    case State::notSigned:
        break;
    }
    return "not signed";
}

void ImportReport::mapped(std::string field, std::string value, std::string target) {
    m_lines.push_back({std::move(field), std::move(value), true, std::move(target), {}});
}

void ImportReport::mappedSecret(std::string field, std::string target) {
    m_lines.push_back({std::move(field), kMaskedValue, true, std::move(target), {}});
}

void ImportReport::dropped(std::string field, std::string value, std::string reason) {
    m_lines.push_back({std::move(field), std::move(value), false, {}, std::move(reason)});
}

} // namespace torvane
