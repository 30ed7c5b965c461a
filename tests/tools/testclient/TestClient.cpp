#include "TestClient.h"

#include "ExitCode.h"
#include "HelperConnection.h"
#include "OutputFormat.h"
#include "ServerMessage.h"
#include "VPNProfile.h"
#include "VPNSecrets.h"

#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>

namespace torvane::testclient {
namespace {

using Clock = HelperConnection::Clock;

Clock::time_point deadlineAfter(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return text.str();
}

std::string secondsText(double seconds) {
    std::ostringstream text;
    text << seconds;
    return text.str();
}

} // namespace

int TestClient::run(const Options& options) {
    m_until = options.until;
    m_untilSeen = false;
    protocol::Request request;
    request.id = 1;
    switch (options.command) {
    case Command::checkProfile:
        return checkProfile(options);
    case Command::raw:
        return runRaw(options);
    case Command::version:
        request.call = protocol::HelperCall::getVersion;
        break;
    case Command::status:
        request.call = protocol::HelperCall::status;
        break;
    case Command::subscribe:
        request.call = protocol::HelperCall::subscribe;
        break;
    case Command::start: {
        request.call = protocol::HelperCall::start;
        auto config = readFile(options.operands.at(0));
        auto secrets = readFile(options.operands.at(1));
        if (!config || !secrets) {
            return fail(exitUsage, "cannot read " + options.operands.at(config ? 1 : 0));
        }
        request.configData = std::move(*config);
        request.secrets = std::move(*secrets);
        break;
    }
    case Command::stop:
        request.call = protocol::HelperCall::stop;
        request.profileID = options.operands.at(0);
        break;
    case Command::stopAll:
        request.call = protocol::HelperCall::stopAll;
        break;
    case Command::forceKill:
        request.call = protocol::HelperCall::forceKillAll;
        break;
    case Command::priorities:
        request.call = protocol::HelperCall::setPriorities;
        request.profileIDs = options.operands;
        break;
    case Command::terminate:
        request.call = protocol::HelperCall::terminate;
        break;
    }
    return runRequest(options, request);
}

int TestClient::checkProfile(const Options& options) {
    const std::string& profilePath = options.operands.at(0);
    const std::string& secretsPath = options.operands.at(1);
    const auto profileText = readFile(profilePath);
    if (!profileText) {
        return fail(exitUsage, "cannot read " + profilePath);
    }
    const auto secretsText = readFile(secretsPath);
    if (!secretsText) {
        return fail(exitUsage, "cannot read " + secretsPath);
    }
    const auto profile = decodeProfile(*profileText);
    if (!profile) {
        return fail(exitUsage, profilePath + ": " + profile.error().message);
    }
    const auto secrets = decodeSecrets(*secretsText);
    if (!secrets) {
        return fail(exitUsage, secretsPath + ": " + secrets.error().message);
    }
    print("profile ok " + profile->id.upperText() + " " +
          std::string(rawValue(profile->authMethod)));
    return exitOk;
}

int TestClient::runRequest(const Options& options, const protocol::Request& request) {
    const auto line = protocol::encodeRequest(request);
    if (!line) {
        return fail(exitUsage, "cannot encode the request: " + line.error().message);
    }
    HelperConnection connection;
    if (const auto error = connection.connect(options.socketPath)) {
        return fail(exitConnectFailed, *error);
    }
    if (!connection.send(*line)) {
        print("closed");
        return fail(exitClosed, "the helper closed the connection: " + connection.lastError());
    }

    const bool listens = options.command == Command::subscribe;
    auto deadline = deadlineAfter(options.timeoutSeconds);
    bool replied = false;
    while (true) {
        const auto event = connection.next(deadline);
        switch (event.kind) {
        case HelperConnection::Event::Kind::line: {
            const auto message = protocol::parseServerMessage(event.text);
            if (!message) {
                return fail(exitProtocolError,
                            "malformed line from the helper: " + message.error().message);
            }
            if (const auto* callback = std::get_if<protocol::Callback>(&*message)) {
                print(formatCallback(*callback));
                break;
            }
            const auto& reply = std::get<protocol::ReplyMessage>(*message);
            if (reply.id != request.id || replied) {
                return fail(exitProtocolError, "the helper sent a reply with id " +
                                                   std::to_string(reply.id) +
                                                   ", which answers no open request");
            }
            const auto decoded = protocol::decodeReply(request.call, reply);
            if (!decoded) {
                return fail(exitProtocolError, decoded.error().message);
            }
            print(formatReply(options.command, *decoded));
            replied = true;
            if (!listens) {
                return exitOk;
            }
            deadline = deadlineAfter(options.listenSeconds);
            break;
        }
        case HelperConnection::Event::Kind::closed:
            print("closed");
            if (replied && m_untilSeen) {
                return exitOk;
            }
            return fail(exitClosed, replied ? "the helper closed the connection"
                                            : "the helper closed the connection before replying");
        case HelperConnection::Event::Kind::timedOut:
            if (!replied) {
                return fail(exitTimedOut,
                            "no reply within " + secondsText(options.timeoutSeconds) + " s");
            }
            if (!m_until.empty() && !m_untilSeen) {
                return fail(exitUntilNotSeen, "'" + m_until + "' did not appear within " +
                                                  secondsText(options.listenSeconds) + " s");
            }
            return exitOk;
        case HelperConnection::Event::Kind::failed:
            return fail(exitProtocolError, event.text);
        }
        if (replied && m_untilSeen) {
            return exitOk;
        }
    }
}

int TestClient::runRaw(const Options& options) {
    HelperConnection connection;
    if (const auto error = connection.connect(options.socketPath)) {
        return fail(exitConnectFailed, *error);
    }
    for (const auto& operand : options.operands) {
        const std::string line = operand.ends_with('\n') ? operand : operand + "\n";
        if (!connection.send(line)) {
            print("closed");
            return fail(exitClosed, "the helper closed the connection: " + connection.lastError());
        }
    }
    std::size_t replies = 0;
    const auto deadline = deadlineAfter(options.timeoutSeconds);
    while (replies < options.operands.size()) {
        const auto event = connection.next(deadline);
        switch (event.kind) {
        case HelperConnection::Event::Kind::line: {
            const auto message = protocol::parseServerMessage(event.text);
            if (!message) {
                return fail(exitProtocolError,
                            "malformed line from the helper: " + message.error().message);
            }
            if (const auto* callback = std::get_if<protocol::Callback>(&*message)) {
                print(formatCallback(*callback));
            } else {
                print(formatRawReply(std::get<protocol::ReplyMessage>(*message)));
                ++replies;
            }
            break;
        }
        case HelperConnection::Event::Kind::closed:
            print("closed");
            return fail(exitClosed, "the helper closed the connection");
        case HelperConnection::Event::Kind::timedOut:
            return fail(exitTimedOut,
                        "no reply within " + secondsText(options.timeoutSeconds) + " s");
        case HelperConnection::Event::Kind::failed:
            return fail(exitProtocolError, event.text);
        }
    }
    return exitOk;
}

void TestClient::print(const std::string& line) {
    m_out << line << '\n' << std::flush;
    if (!m_until.empty() && line.find(m_until) != std::string::npos) {
        m_untilSeen = true;
    }
}

int TestClient::fail(int status, const std::string& message) {
    m_err << "torvane-testclient: " << message << '\n' << std::flush;
    return status;
}

} // namespace torvane::testclient
