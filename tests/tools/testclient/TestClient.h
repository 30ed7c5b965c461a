#pragma once

#include "CommandLine.h"
#include "Request.h"

#include <ostream>
#include <string>

namespace torvane::testclient {

/// Runs one command of torvane-testclient against the helper: sends the
/// request, prints callbacks as they come and the reply once it arrives
/// (matched by its id, so callbacks may come first), and returns the exit
/// status (ExitCode.h). Protocol faults of the helper are reported on `err`
/// and never crash the client.
class TestClient {
public:
    TestClient(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    int run(const Options& options);

private:
    int runRequest(const Options& options, const protocol::Request& request);
    int runRaw(const Options& options);
    int runHold(const Options& options);
    void print(const std::string& line);
    int fail(int status, const std::string& message);

    std::ostream& m_out;
    std::ostream& m_err;
};

} // namespace torvane::testclient
