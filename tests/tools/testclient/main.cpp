// torvane-testclient: a scriptable client of the helper's command socket for
// the namespace tests. Every message it receives becomes one greppable line:
//   reply start 0 Connected (10.99.0.1)    reply COMMAND error MESSAGE
//   status {"tunnels":[...]}               callback statusChanged {"tunnels":[...]}
//   callback logLine TEXT                  closed (the helper hung up)
// Exit status: 0 done, 1 usage, 2 cannot connect, 3 protocol fault, 4 closed by
// the helper, 5 no reply in time, 7 an error reply.
#include "shared/protocol/Request.h"
#include "shared/protocol/ServerMessage.h"
#include "tests/tools/testclient/HelperConnection.h"

#include <charconv>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <poll.h>
#include <sstream>
#include <vector>

using namespace torvane;
using protocol::HelperCall;
using testclient::HelperConnection;
using Clock = HelperConnection::Clock;
using Kind = HelperConnection::Event::Kind;

namespace {

enum Exit {
    exitOk = 0,
    exitUsage = 1,
    exitConnect = 2,
    exitProtocol = 3,
    exitClosed = 4,
    exitTimedOut = 5,
    exitRefused = 7
};

const char* const kUsage =
    "usage: torvane-testclient [--socket PATH] [--timeout SECONDS] COMMAND\n"
    "  version | status | leak-check | stop-all | force-kill | terminate\n"
    "  subscribe [--seconds N]        the reply, then callbacks for N seconds\n"
    "  start PROFILE.json SECRETS.json | stop PROFILE-ID | priorities [PROFILE-ID...]\n"
    "  raw LINE...                    send lines as they are, print one line back each\n"
    "  hold COUNT [--seconds N] [--silent]   open COUNT connections, ask each for the\n"
    "                                 version (unless --silent), keep them N seconds\n";

struct Command {
    const char* name;
    HelperCall call;
    std::size_t minOperands;
    std::size_t maxOperands;
};
constexpr std::size_t kAny = 1U << 20U;
const Command kCommands[] = {
    {"version", HelperCall::getVersion, 0, 0},
    {"status", HelperCall::status, 0, 0},
    {"leak-check", HelperCall::leakCheck, 0, 0},
    {"subscribe", HelperCall::subscribe, 0, 0},
    {"start", HelperCall::start, 2, 2},
    {"stop", HelperCall::stop, 1, 1},
    {"stop-all", HelperCall::stopAll, 0, 0},
    {"force-kill", HelperCall::forceKillAll, 0, 0},
    {"terminate", HelperCall::terminate, 0, 0},
    {"priorities", HelperCall::setPriorities, 0, kAny},
    {"managed", HelperCall::managedProfiles, 0, 0},
    {"raw", HelperCall::getVersion, 1, kAny},
    {"hold", HelperCall::getVersion, 1, 1},
};

struct Options {
    std::string socketPath = "/run/torvane/helper.sock";
    const Command* command = nullptr;
    std::vector<std::string> operands;
    double timeoutSeconds = 60;
    // subscribe: how long to print callbacks after the reply; hold: how long
    // to keep the connections.
    double listenSeconds = 2;
    bool silent = false;
};

void print(const std::string& line) {
    std::cout << line << std::endl;
}

int fail(int status, const std::string& message) {
    std::cerr << "torvane-testclient: " << message << std::endl;
    return status;
}

bool parseSeconds(const std::string& text, double& out) {
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc{} && ptr == end && out >= 0 && out <= 86400;
}

Clock::time_point after(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// The error text, empty when the arguments make a command.
std::string parse(const std::vector<std::string>& args, Options& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const std::string command = options.command ? options.command->name : "";
        if (command == "hold" && arg == "--silent") {
            options.silent = true;
            continue;
        }
        const bool global = !options.command && arg.starts_with("--");
        if (global || ((command == "subscribe" || command == "hold") && arg == "--seconds")) {
            if (i + 1 >= args.size()) {
                return arg + " needs a value";
            }
            const std::string& value = args[++i];
            if (arg == "--socket") {
                options.socketPath = value;
            } else if (arg != "--timeout" && arg != "--seconds") {
                return "unknown option " + arg;
            } else if (!parseSeconds(value, arg == "--timeout" ? options.timeoutSeconds
                                                               : options.listenSeconds)) {
                return arg + " needs a number of seconds, not '" + value + "'";
            }
        } else if (!options.command) {
            for (const auto& candidate : kCommands) {
                options.command = arg == candidate.name ? &candidate : options.command;
            }
            if (!options.command) {
                return "unknown command '" + arg + "'";
            }
        } else {
            options.operands.push_back(arg);
        }
    }
    if (!options.command) {
        return "no command given";
    }
    const auto n = options.operands.size();
    if (n < options.command->minOperands || n > options.command->maxOperands) {
        return std::string("wrong number of operands for ") + options.command->name;
    }
    return {};
}

// Line breaks written as \n and \r, so that every message stays on one line.
std::string oneLine(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    }
    return out;
}

std::string formatReply(const std::string& head, const protocol::Reply& reply) {
    struct Visitor {
        const std::string& head;
        std::string operator()(const protocol::VersionReply& r) const {
            return head + " " + oneLine(r.version);
        }
        std::string operator()(const protocol::SubscribeReply& r) const {
            return head + (r.subscribed ? " true" : " false");
        }
        std::string operator()(const protocol::CommandReply& r) const {
            return head + " " + std::to_string(r.code) + " " + oneLine(r.message);
        }
        std::string operator()(const protocol::EmptyReply&) const { return head; }
        std::string operator()(const protocol::StatusReply& r) const {
            return "status " + oneLine(r.data);
        }
        std::string operator()(const protocol::LeakCheckReply& r) const {
            return "leak-check " + oneLine(r.data);
        }
        std::string operator()(const protocol::ManagedProfilesReply& r) const {
            return "managed " + oneLine(r.data);
        }
        std::string operator()(const protocol::ErrorReply& r) const {
            return head + " error " + oneLine(r.message);
        }
    };
    return std::visit(Visitor{head}, reply);
}

std::string formatCallback(const protocol::Callback& callback) {
    if (const auto* status = std::get_if<protocol::StatusChanged>(&callback)) {
        return "callback statusChanged " + oneLine(status->data);
    }
    return "callback logLine " + oneLine(std::get<protocol::LogLine>(callback).line);
}

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return !in.bad();
}

// What ended a wait without a line, as an exit status.
int ended(const HelperConnection::Event& event, bool replied) {
    if (event.kind == Kind::closed) {
        print("closed");
        return fail(exitClosed, "the helper closed the connection");
    }
    if (event.kind == Kind::timedOut) {
        return replied ? exitOk : fail(exitTimedOut, "no reply in time");
    }
    return fail(exitProtocol, event.text);
}

// Connects and sends LINES; the exit status when that fails.
std::optional<int> openAndSend(HelperConnection& connection, const std::string& socketPath,
                               const std::vector<std::string>& lines) {
    if (const auto error = connection.connect(socketPath)) {
        return fail(exitConnect, *error);
    }
    for (const auto& line : lines) {
        if (!connection.send(line.ends_with('\n') ? line : line + "\n")) {
            print("closed");
            return fail(exitClosed, "the helper closed the connection: " + connection.lastError());
        }
    }
    return std::nullopt;
}

// Sends the request and prints callbacks as they come and the reply, matched
// by its id; subscribe goes on printing callbacks for listenSeconds.
int runRequest(const Options& options) {
    protocol::Request request;
    request.id = 1;
    request.call = options.command->call;
    const auto& operands = options.operands;
    if (request.call == HelperCall::start) {
        for (std::size_t i = 0; i < 2; ++i) {
            if (!readFile(operands[i], i == 0 ? request.configData : request.secrets)) {
                return fail(exitUsage, "cannot read " + operands[i]);
            }
        }
    } else if (request.call == HelperCall::stop) {
        request.profileID = operands[0];
    } else if (request.call == HelperCall::setPriorities) {
        request.profileIDs = operands;
    }
    const auto line = protocol::encodeRequest(request);
    if (!line) {
        return fail(exitUsage, "cannot encode the request: " + line.error().message);
    }
    HelperConnection connection;
    if (const auto status = openAndSend(connection, options.socketPath, {*line})) {
        return *status;
    }
    auto deadline = after(options.timeoutSeconds);
    bool replied = false;
    while (true) {
        const auto event = connection.next(deadline);
        if (event.kind != Kind::line) {
            return ended(event, replied);
        }
        const auto message = protocol::parseServerMessage(event.text);
        if (!message) {
            return fail(exitProtocol, "malformed line from the helper: " + message.error().message);
        }
        if (const auto* callback = std::get_if<protocol::Callback>(&*message)) {
            print(formatCallback(*callback));
            continue;
        }
        const auto& reply = std::get<protocol::ReplyMessage>(*message);
        if (reply.id != request.id || replied) {
            return fail(exitProtocol,
                        "a reply with id " + std::to_string(reply.id) + " answers no open request");
        }
        const auto decoded = protocol::decodeReply(request.call, reply);
        if (!decoded) {
            return fail(exitProtocol, decoded.error().message);
        }
        print(formatReply(std::string("reply ") + options.command->name, *decoded));
        if (std::holds_alternative<protocol::ErrorReply>(*decoded)) {
            return exitRefused;
        }
        if (request.call != HelperCall::subscribe) {
            return exitOk;
        }
        replied = true;
        deadline = after(options.listenSeconds);
    }
}

int runRaw(const Options& options) {
    HelperConnection connection;
    if (const auto status = openAndSend(connection, options.socketPath, options.operands)) {
        return *status;
    }
    const auto deadline = after(options.timeoutSeconds);
    for (std::size_t lines = 0; lines < options.operands.size(); ++lines) {
        const auto event = connection.next(deadline);
        if (event.kind != Kind::line) {
            return ended(event, false);
        }
        print(event.text);
    }
    return exitOk;
}

// Prints "hold answered A closed C waiting W failed F" once every connection
// is answered, closed or out of time, then "hold end open O closed C" after
// keeping the rest listenSeconds.
int runHold(const Options& options) {
    std::size_t count = 0;
    const std::string& text = options.operands[0];
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc{} || end != text.data() + text.size() || count == 0 || count > 4096) {
        return fail(exitUsage, "hold needs a number of connections from 1 to 4096");
    }
    protocol::Request version;
    version.id = 1;
    const std::string line = *protocol::encodeRequest(version);
    std::vector<std::unique_ptr<HelperConnection>> connections;
    std::size_t failed = 0;
    for (std::size_t i = 0; i < count; ++i) {
        auto connection = std::make_unique<HelperConnection>();
        if (connection->connect(options.socketPath) ||
            (!options.silent && !connection->send(line))) {
            ++failed;
        } else {
            connections.push_back(std::move(connection));
        }
    }
    std::size_t answered = 0;
    std::size_t closed = 0;
    const auto replyDeadline = after(options.timeoutSeconds);
    std::vector<HelperConnection*> open;
    for (const auto& connection : connections) {
        const auto kind = options.silent ? Kind::timedOut : connection->next(replyDeadline).kind;
        answered += kind == Kind::line ? 1 : 0;
        if (kind == Kind::line || kind == Kind::timedOut) {
            open.push_back(connection.get());
        } else {
            ++closed;
        }
    }
    print("hold answered " + std::to_string(answered) + " closed " + std::to_string(closed) +
          " waiting " + std::to_string(open.size() - answered) + " failed " +
          std::to_string(failed));
    std::size_t closedLater = 0;
    const auto holdDeadline = after(options.listenSeconds);
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
            // The short limit only guards a line that arrives cut in half.
            const auto kind = fds[i].revents == 0
                                  ? Kind::line
                                  : open[i]->next(Clock::now() + std::chrono::seconds(1)).kind;
            if (kind == Kind::closed || kind == Kind::failed) {
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

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return exitOk;
    }
    Options options;
    if (const auto error = parse(args, options); !error.empty()) {
        std::cerr << "torvane-testclient: " << error << '\n' << kUsage;
        return exitUsage;
    }
    const std::string name = options.command->name;
    return name == "raw"    ? runRaw(options)
           : name == "hold" ? runHold(options)
                            : runRequest(options);
}
