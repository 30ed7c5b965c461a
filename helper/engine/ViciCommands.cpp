// The two commands a connect waits for, spoken to charon directly: the same
// requests swanctl's --initiate and --list-sas send, without a process each.
#include "helper/engine/ViciConnection.h"
#include "helper/engine/ViciSession.h"

#include <charconv>
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

/// A counter or a number of seconds; charon writes them as decimal text.
std::optional<std::int64_t> number(const ViciNode& node, std::string_view key) {
    const auto text = node.text(key);
    std::int64_t value = 0;
    if (!text || text->empty() ||
        std::from_chars(text->data(), text->data() + text->size(), value).ec != std::errc{} ||
        value < 0) {
        return std::nullopt;
    }
    return value;
}

/// "AES_GCM_16-256 / PRF_HMAC_SHA2_384 / ECP_384": what the SA section
/// names of encryption (with its key size), integrity, PRF and DH group.
std::string proposalText(const ViciNode& sa) {
    std::string text;
    auto add = [&text](const std::string& part) {
        text += (text.empty() ? "" : " / ") + part;
    };
    if (auto encr = sa.text("encr-alg")) {
        if (auto size = sa.text("encr-keysize"); size && !size->empty()) {
            *encr += "-" + *size;
        }
        add(*encr);
    }
    for (const char* key : {"integ-alg", "prf-alg", "dh-group"}) {
        if (auto alg = sa.text(key); alg && !alg->empty()) {
            add(*alg);
        }
    }
    return text;
}

std::string endpoint(const ViciNode& ike, const char* side) {
    const std::string prefix(side);
    std::string text = ike.text(prefix + "-host").value_or("");
    if (auto port = ike.text(prefix + "-port"); port && !port->empty()) {
        text += "[" + *port + "]";
    }
    return text;
}

/// The details of an established IKE SA with installed CHILD SAs. The
/// counters add up every installed CHILD SA (old and new stand side by side
/// while one is rekeyed); the rest comes from the newest.
std::optional<VPNSaDetails> detailsOf(const ViciNode& ike) {
    const ViciNode* children = ike.find("child-sas");
    if (!children || ike.text("state") != "ESTABLISHED") {
        return std::nullopt;
    }
    VPNSaDetails details;
    const ViciNode* newest = nullptr;
    for (const ViciNode& child : children->children) {
        if (child.text("state") != "INSTALLED") {
            continue;
        }
        details.bytesIn += number(child, "bytes-in").value_or(0);
        details.bytesOut += number(child, "bytes-out").value_or(0);
        details.packetsIn += number(child, "packets-in").value_or(0);
        details.packetsOut += number(child, "packets-out").value_or(0);
        // "install-time" counts seconds since installation: smaller is newer.
        if (!newest || number(child, "install-time").value_or(0) <
                           number(*newest, "install-time").value_or(0)) {
            newest = &child;
        }
    }
    if (!newest) {
        return std::nullopt;
    }
    details.ikeProposal = proposalText(ike);
    details.espProposal = proposalText(*newest);
    details.establishedSeconds = number(ike, "established").value_or(0);
    details.ikeRekeySeconds = number(ike, "rekey-time");
    details.espRekeySeconds = number(*newest, "rekey-time");
    details.localAddress = endpoint(ike, "local");
    details.remoteAddress = endpoint(ike, "remote");
    if (const ViciNode* ts = newest->find("local-ts")) {
        details.localTrafficSelectors = ts->items;
    }
    if (const ViciNode* ts = newest->find("remote-ts")) {
        details.remoteTrafficSelectors = ts->items;
    }
    return details;
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
    state.details = detailsOf(ike);
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
