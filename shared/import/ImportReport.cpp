#include "shared/import/ImportReport.h"

#include "shared/import/ImportText.h"

#include <cctype>

namespace torvane {

std::string ImportSignature::text() const {
    switch (state) {
    case State::trusted:
        return importText(QT_TRANSLATE_NOOP("ProfileImport", "signed by %1, trusted"), signer);
    case State::notTrusted:
        return importText(QT_TRANSLATE_NOOP("ProfileImport", "signed by %1, not trusted"), signer);
    case State::notSigned:
        break;
    }
    return importText(QT_TRANSLATE_NOOP("ProfileImport", "not signed"));
}

namespace {

// Files put secrets under keys of their own naming; whatever a key's name
// says is secret is never shown, carried over or not.
bool looksSecret(std::string_view field) {
    std::string lower(field);
    for (auto& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const char* word : {"password", "secret", "passphrase", "private key"}) {
        if (lower.find(word) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

void ImportReport::mapped(std::string field, std::string value, std::string target) {
    if (looksSecret(field)) {
        value = kMaskedValue;
    }
    m_lines.push_back({std::move(field), std::move(value), true, std::move(target), {}});
}

void ImportReport::mappedSecret(std::string field, std::string target) {
    m_lines.push_back({std::move(field), kMaskedValue, true, std::move(target), {}});
}

void ImportReport::dropped(std::string field, std::string value, std::string reason) {
    if (looksSecret(field)) {
        value = kMaskedValue;
    }
    m_lines.push_back({std::move(field), std::move(value), false, {}, std::move(reason)});
}

} // namespace torvane
