#include "helper/engine/ViciConnection.h"

#include <mutex>

// libvici ships without a header on Debian; these are the four functions we
// use, with the library's own signatures.
extern "C" {
typedef struct vici_conn_t vici_conn_t;
typedef struct vici_res_t vici_res_t;
typedef void (*vici_event_cb_t)(void* user, char* name, vici_res_t* msg);
void vici_init(void);
vici_conn_t* vici_connect(char* uri);
int vici_register(vici_conn_t* conn, char* name, vici_event_cb_t cb, void* user);
void vici_disconnect(vici_conn_t* conn);
}

namespace torvane {
namespace {

std::once_flag g_viciInitialised;

vici_conn_t* handle(void* conn) {
    return static_cast<vici_conn_t*>(conn);
}

// Runs on libvici's event thread. The connection is referenced unretained:
// close() unregisters every event before the object goes away.
void trampoline(void* user, char* name, vici_res_t* message) {
    if (user == nullptr || message == nullptr) {
        return;
    }
    auto* connection = static_cast<ViciConnection*>(user);
    if (connection->onEvent) {
        connection->onEvent(name != nullptr ? name : "");
    }
}

} // namespace

std::unique_ptr<ViciConnection> ViciConnection::open(const std::string& uri) {
    std::call_once(g_viciInitialised, [] { vici_init(); });
    std::string mutableUri = uri;
    vici_conn_t* conn = vici_connect(mutableUri.empty() ? nullptr : mutableUri.data());
    if (conn == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<ViciConnection>(new ViciConnection(conn));
}

ViciConnection::~ViciConnection() {
    close();
}

bool ViciConnection::registerEvent(const std::string& event) {
    std::string name = event;
    if (vici_register(handle(m_conn), name.data(), trampoline, this) != 0) {
        return false;
    }
    m_registeredEvents.push_back(event);
    return true;
}

void ViciConnection::close() {
    if (m_isClosed) {
        return;
    }
    m_isClosed = true;
    for (auto& event : m_registeredEvents) {
        vici_register(handle(m_conn), event.data(), nullptr, nullptr);
    }
    m_registeredEvents.clear();
    vici_disconnect(handle(m_conn));
}

} // namespace torvane
