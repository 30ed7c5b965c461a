#include "Torvane/core/LibsecretStore.h"

#include <libsecret/secret.h>

namespace torvane {
namespace {

const SecretSchema* schema() {
    // Only the two attributes identify an item, not the schema name, as a
    // keyring item is found by service and account alone.
    static const SecretSchema value = {
        "kv.kelvor.torvane.Secrets",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &value;
}

} // namespace

LibsecretStore::LibsecretStore(std::string service) : m_service(std::move(service)) {}

std::optional<std::string> LibsecretStore::read(const std::string& account) {
    GError* error = nullptr;
    gchar* password =
        secret_password_lookup_sync(schema(), nullptr, &error, "service", m_service.c_str(),
                                    "account", account.c_str(), nullptr);
    if (error != nullptr) {
        g_error_free(error);
    }
    if (password == nullptr) {
        return std::nullopt;
    }
    std::string value(password);
    secret_password_free(password);
    return value;
}

int LibsecretStore::write(const std::string& account, const std::string& value) {
    // Delete first so that exactly one item remains even when an item with
    // the same attributes was stored under another schema name.
    remove(account);
    GError* error = nullptr;
    const std::string label = "Torvane secrets " + account;
    const gboolean stored = secret_password_store_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), value.c_str(), nullptr, &error,
        "service", m_service.c_str(), "account", account.c_str(), nullptr);
    int code = 0;
    if (error != nullptr) {
        code = error->code != 0 ? error->code : 1;
        g_error_free(error);
    } else if (!stored) {
        code = 1;
    }
    return code;
}

void LibsecretStore::remove(const std::string& account) {
    GError* error = nullptr;
    secret_password_clear_sync(schema(), nullptr, &error, "service", m_service.c_str(), "account",
                               account.c_str(), nullptr);
    if (error != nullptr) {
        g_error_free(error);
    }
}

} // namespace torvane
