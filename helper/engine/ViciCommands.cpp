// The two commands a connect waits for, spoken to charon directly: the same
// requests swanctl's --initiate and --list-sas send, without a process each.
#include "helper/engine/ViciConnection.h"
#include "helper/engine/ViciSession.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace torvane {
namespace {

ViciNode value(std::string name, std::string text) {
    ViciNode node;
    node.name = std::move(name);
    node.value = std::move(text);
    return node;
}

ViciSession::Deadline deadlineAfter(std::chrono::duration<double> timeout) {
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(timeout);
}

/// One entry of a "list-sa" event: a section named after the IKE SA.
IkeSaState stateOf(const ViciNode& ike) {
    IkeSaState state;
    state.name = ike.name;
    state.established = ike.text("state") == "ESTABLISHED";
    if (const ViciNode* vips = ike.find("local-vips"); vips && !vips->items.empty()) {
        state.vip = vips->items.front();
    }
    state.remoteIP = ike.text("remote-host");
    if (const ViciNode* children = ike.find("child-sas")) {
        for (const ViciNode& child : children->children) {
            state.childInstalled = state.childInstalled || child.text("state") == "INSTALLED";
        }
    }
    return state;
}

} // namespace

CharonViciConnector::CharonViciConnector()
    : m_interruptFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CharonViciConnector::~CharonViciConnector() {
    if (m_interruptFd >= 0) {
        ::close(m_interruptFd);
    }
}

void CharonViciConnector::interrupt() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_interruptFd, &one, sizeof(one));
}

void CharonViciConnector::resume() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(m_interruptFd, &count, sizeof(count));
}

CommandResult CharonViciConnector::initiate(const std::string& uri, const std::string& child,
                                            std::chrono::duration<double> timeout) {
    auto session = ViciSession::open(uri, deadlineAfter(timeout), m_interruptFd);
    if (!session) {
        return {1, session.error()};
    }
    if (auto subscribed = session->subscribe("control-log"); !subscribed) {
        return {1, subscribed.error()};
    }
    std::string output;
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count();
    // charon answers once the child SA is up or the attempt failed, or
    // after the limit (going on in the background, as for swanctl).
    const auto response =
        session->call("initiate",
                      {value("child", child), value("timeout", std::to_string(milliseconds)),
                       value("loglevel", "1")},
                      [&output](const ViciReceived& event) {
                          if (event.name != "control-log") {
                              return;
                          }
                          ViciNode log;
                          log.children = event.message;
                          output.append("[").append(log.text("group").value_or("")).append("] ");
                          output.append(log.text("msg").value_or("")).append("\n");
                      });
    if (!response) {
        return {1, output + "initiate failed: " + response.error()};
    }
    ViciNode reply;
    reply.children = *response;
    if (reply.text("success") == "yes") {
        return {0, output + "initiate completed successfully"};
    }
    return {1, output + "initiate failed: " + reply.text("errmsg").value_or("")};
}

Expected<std::vector<IkeSaState>, std::string>
CharonViciConnector::listSAs(const std::string& uri, const std::optional<std::string>& ike,
                             std::chrono::duration<double> timeout) {
    auto session = ViciSession::open(uri, deadlineAfter(timeout), m_interruptFd);
    if (!session) {
        return Unexpected{session.error()};
    }
    if (auto subscribed = session->subscribe("list-sa"); !subscribed) {
        return Unexpected{subscribed.error()};
    }
    std::vector<IkeSaState> states;
    ViciMessage request;
    if (ike) {
        request.push_back(value("ike", *ike));
    }
    const auto response = session->call("list-sas", request, [&states](const ViciReceived& event) {
        if (event.name != "list-sa") {
            return;
        }
        for (const ViciNode& entry : event.message) {
            if (entry.kind == ViciNode::Kind::section) {
                states.push_back(stateOf(entry));
            }
        }
    });
    if (!response) {
        return Unexpected{response.error()};
    }
    return states;
}

} // namespace torvane
