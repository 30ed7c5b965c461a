#include "Torvane/cli/ImportReportText.h"

#include "Torvane/cli/Translated.h"

#include <algorithm>
#include <vector>

namespace torvane::cli {
namespace {

/// Field names wider than this are not padded further, so one long key does
/// not push every value of its section off the screen.
constexpr std::size_t kFieldColumn = 34;

// Field names are mostly ASCII keys, but payload names come from the file and
// notes such as "(private key)" are translated: each UTF-8 character counts as
// one column, so that accented letters do not shift the values.
std::size_t columns(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string padded(const std::string& field, std::size_t width) {
    const auto used = columns(field);
    return used >= width ? field + "  " : field + std::string(width - used + 2, ' ');
}

std::string section(const std::string& heading, const std::vector<ImportReportLine>& lines,
                    bool carried) {
    std::vector<const ImportReportLine*> chosen;
    std::size_t width = 0;
    for (const auto& line : lines) {
        if (line.carried == carried) {
            chosen.push_back(&line);
            width = std::max(width, std::min(columns(line.field), kFieldColumn));
        }
    }
    if (chosen.empty()) {
        return {};
    }
    std::string text = "  " + heading + '\n';
    for (const auto* line : chosen) {
        text += "    " + padded(line->field, width);
        if (carried) {
            text += (line->value.empty() ? std::string("\"\"") : line->value) + "  → " +
                    line->target + '\n';
        } else {
            if (!line->value.empty()) {
                text += line->value;
            }
            text += '\n' + std::string(6, ' ') + line->reason + '\n';
        }
    }
    return text;
}

std::string sections(const std::vector<ImportReportLine>& lines) {
    return section(fill(QCoreApplication::translate("torvanectl", "Carried over:")), lines, true) +
           section(fill(QCoreApplication::translate("torvanectl", "Not carried over:")), lines,
                   false);
}

} // namespace

std::string importReportText(const std::string& path, const std::string& formatName,
                             const ImportResult& result) {
    std::string text =
        fill(QCoreApplication::translate("torvanectl", "%1: %2"), path, formatName) + '\n' +
        fill(QCoreApplication::translate("torvanectl", "Signature: %1"), result.signature.text()) +
        '\n';
    if (!result.fileReport.empty()) {
        text += fill(QCoreApplication::translate("torvanectl", "The file:")) + '\n' +
                sections(result.fileReport);
    }
    for (const auto& imported : result.profiles) {
        text += fill(QCoreApplication::translate("torvanectl", "Profile '%1' (%2):"),
                     imported.profile.name, imported.profile.id.upperText()) +
                '\n' + sections(imported.report);
    }
    return text;
}

} // namespace torvane::cli
