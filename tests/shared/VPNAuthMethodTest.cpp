#include "VPNAuthMethod.h"

#include <gtest/gtest.h>

using namespace torvane;

TEST(VPNAuthMethod, CasesLabelsAndSecretRules) {
    struct Row {
        VPNAuthMethod method;
        const char* raw;
        const char* label;
        bool password, psk, clientCertificate;
    };
    const Row rows[] = {
        {VPNAuthMethod::xauth, "xauth", "Certificate + XAuth", true, false, true},
        {VPNAuthMethod::certificate, "certificate", "Certificate only", false, false, true},
        {VPNAuthMethod::eapMSCHAPv2, "eapMSCHAPv2", "EAP-MSCHAPv2 (username/password)", true, false,
         false},
        {VPNAuthMethod::eapTLS, "eapTLS", "EAP-TLS (certificate)", false, false, true},
        {VPNAuthMethod::psk, "psk", "Pre-shared key + gateway certificate", false, true, false},
        {VPNAuthMethod::pskMutual, "pskMutual", "Pre-shared key (mutual)", false, true, false},
    };
    ASSERT_EQ(std::size(rows), kAllAuthMethods.size());
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        EXPECT_EQ(kAllAuthMethods[i], row.method) << "declaration order at " << i;
        EXPECT_EQ(rawValue(row.method), row.raw);
        EXPECT_EQ(authMethodFromRawValue(row.raw), row.method);
        EXPECT_EQ(label(row.method), row.label);
        EXPECT_EQ(usesPassword(row.method), row.password) << row.raw;
        EXPECT_EQ(usesPSK(row.method), row.psk) << row.raw;
        EXPECT_EQ(usesClientCertificate(row.method), row.clientCertificate) << row.raw;
    }
    for (const char* unknown : {"XAUTH", "PSK", "eap-tls", "", "xauth "}) {
        EXPECT_FALSE(authMethodFromRawValue(unknown).has_value()) << unknown;
    }
}
