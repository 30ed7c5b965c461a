#include "TestClient.h"

#include "ExitCode.h"
#include "HelperConnection.h"
#include "OutputFormat.h"
#include "ServerMessage.h"

#include <charconv>
#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <poll.h>
#include <sstream>
#include <vector>

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
    protocol::Request request;
    request.id = 1;
    switch (options.command) {
    case Command::raw:
        return runRaw(options);
    case Command::hold:
        return runHold(options);
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
            if (std::holds_alternative<protocol::ErrorReply>(*decoded)) {
                return exitRefused;
            }
            replied = true;
            if (!listens) {
                return exitOk;
            }
            deadline = deadlineAfter(options.listenSeconds);
            break;
        }
        case HelperConnection::Event::Kind::closed:
            print("closed");
            return fail(exitClosed, replied ? "the helper closed the connection"
                                            : "the helper closed the connection before replying");
        case HelperConnection::Event::Kind::timedOut:
            if (!replied) {
                return fail(exitTimedOut,
                            "no reply within " + secondsText(options.timeoutSeconds) + " s");
            }
            return exitOk;
        case HelperConnection::Event::Kind::failed:
            return fail(exitProtocolError, event.text);
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

int TestClient::runHold(const Options& options) {
    std::size_t count = 0;
    const std::string& text = options.operands.at(0);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc{} || end != text.data() + text.size() || count == 0 || count > 4096) {
        return fail(exitUsage, "hold needs a number of connections from 1 to 4096");
    }
    protocol::Request version;
    version.id = 1;
    version.call = protocol::HelperCall::getVersion;
    const std::string line = *protocol::encodeRequest(version);

    std::vector<std::unique_ptr<HelperConnection>> connections;
    std::size_t failed = 0;
    for (std::size_t i = 0; i < count; ++i) {
        auto connection = std::make_unique<HelperConnection>();
        if (connection->connect(options.socketPath) ||
            (!options.silent && !connection->send(line))) {
            ++failed;
            continue;
        }
        connections.push_back(std::move(connection));
    }
    // Each connection ends up answered, closed by the helper, or still
    // waiting when the time limit ends (all limits run at once).
    std::size_t answered = 0;
    std::size_t closed = 0;
    const auto replyDeadline = deadlineAfter(options.timeoutSeconds);
    std::vector<HelperConnection*> open;
    for (const auto& connection : connections) {
        if (options.silent) {
            open.push_back(connection.get());
            continue;
        }
        const auto event = connection->next(replyDeadline);
        if (event.kind == HelperConnection::Event::Kind::line) {
            ++answered;
            open.push_back(connection.get());
        } else if (event.kind == HelperConnection::Event::Kind::timedOut) {
            open.push_back(connection.get());
        } else {
            ++closed;
        }
    }
    print("hold answered " + std::to_string(answered) + " closed " + std::to_string(closed) +
          " waiting " + std::to_string(open.size() - answered) + " failed " +
          std::to_string(failed));

    // Then keep them, noting those the helper closes meanwhile.
    std::size_t closedLater = 0;
    const auto holdDeadline = deadlineAfter(options.listenSeconds);
    while (!open.empty() && Clock::now() < holdDeadline) {
        std::vector<pollfd> fds;
        for (const auto* connection : open) {
            fds.push_back({connection->fd(), POLLIN, 0});
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(holdDeadline - Clock::now());
        if (::poll(fds.data(), fds.size(), static_cast<int>(left.count()) + 1) <= 0) {
            continue;
        }
        std::vector<HelperConnection*> still;
        for (std::size_t i = 0; i < open.size(); ++i) {
            if (fds[i].revents == 0) {
                still.push_back(open[i]);
                continue;
            }
            // Something is there to read; the short limit only guards a line
            // that arrives cut in half.
            const auto event = open[i]->next(Clock::now() + std::chrono::seconds(1));
            if (event.kind == HelperConnection::Event::Kind::closed ||
                event.kind == HelperConnection::Event::Kind::failed) {
                ++closedLater;
            } else {
                still.push_back(open[i]);
            }
        }
        open.swap(still);
    }
    print("hold end open " + std::to_string(open.size()) + " closed " +
          std::to_string(closedLater));
    return exitOk;
}

void TestClient::print(const std::string& line) {
    m_out << line << '\n' << std::flush;
}

int TestClient::fail(int status, const std::string& message) {
    m_err << "torvane-testclient: " << message << '\n' << std::flush;
    return status;
}

} // namespace torvane::testclient
