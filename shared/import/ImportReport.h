#pragma once

#include "shared/import/ImportResult.h"

#include <string>
#include <vector>

namespace torvane {

/// Collects the report lines of one profile while a reader maps the fields.
class ImportReport {
public:
    void mapped(std::string field, std::string value, std::string target);
    void mappedSecret(std::string field, std::string target);
    void dropped(std::string field, std::string value, std::string reason);

    const std::vector<ImportReportLine>& lines() const { return m_lines; }
    std::vector<ImportReportLine> take() { return std::move(m_lines); }

private:
    std::vector<ImportReportLine> m_lines;
};

} // namespace torvane
