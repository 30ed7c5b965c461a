#include "SwanctlOutput.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

constexpr const char* kNameA = "ov-6f1d2c3b-0a4e-4b5c-9d8e-7f6a5b4c3d2e";
constexpr const char* kNameB = "ov-1a2b3c4d-5e6f-4a0b-8c1d-2e3f4a5b6c7d";

// Captured from swanctl 5.9.8 with two tunnels up through kernel-libipsec.
constexpr const char* kListingA =
    R"(ov-6f1d2c3b-0a4e-4b5c-9d8e-7f6a5b4c3d2e: #1, ESTABLISHED, IKEv2, 20a36376527d4d78_i* f5238aeb6fd285d5_r
  local  'client"1\x' @ 10.10.0.2[4500] [10.99.0.1]
  remote 'gw' @ 10.10.0.1[4500]
  AES_CBC-256/HMAC_SHA2_512_256/PRF_HMAC_SHA2_512/ECP_384
  established 0s ago, rekeying in 78902s
  ov-6f1d2c3b-0a4e-4b5c-9d8e-7f6a5b4c3d2e: #1, reqid 1, INSTALLED, TUNNEL-in-UDP, ESP:AES_CBC-256/HMAC_SHA2_512_256
    installed 0s ago, rekeying in 5808s, expires in 7200s
    in  41352a4e,      0 bytes,     0 packets
    out 8b61e88d,      0 bytes,     0 packets
    local  10.99.0.1/32
    remote 10.200.0.0/24
)";

constexpr const char* kListingBEstablishedOnly =
    R"(ov-1a2b3c4d-5e6f-4a0b-8c1d-2e3f4a5b6c7d: #2, ESTABLISHED, IKEv2, a58a9607f9e94406_i* 857173362294a8d0_r
  local  'client2' @ 10.10.0.2[4500] [10.99.0.2]
  remote 'gw' @ 10.10.0.1[4500]
  AES_CBC-256/HMAC_SHA2_512_256/PRF_HMAC_SHA2_512/ECP_384
  established 0s ago, rekeying in 82905s
)";

TEST(SwanctlOutputTest, tunnelInfoFromInitiateOutput) {
    EXPECT_EQ(parseTunnelInfo("charon: installing new virtual IP 10.8.0.2\n"
                              "created TUN device: utun5\n"),
              (TunnelInfo{"10.8.0.2", "utun5"}));
    // Later lines win; trailing blanks are not words.
    EXPECT_EQ(parseTunnelInfo("installing new virtual IP 10.0.0.1\n\n"
                              "created TUN device: ipsec0  \n"
                              "installing new virtual IP 10.0.0.2\r"),
              (TunnelInfo{"10.0.0.2\r", "ipsec0"}));
    EXPECT_EQ(parseTunnelInfo("initiate failed: establishing CHILD_SA 'x' failed"), TunnelInfo{});
    EXPECT_EQ(parseTunnelInfo(""), TunnelInfo{});
}

// A whole real listing is read by the strongSwan namespace scenario.
TEST(SwanctlOutputTest, saListingReadsOnlyTheAddressPartsOfIkeLines) {
    const std::pair<const char*, SAListingInfo> cases[] = {
        // The first virtual IP stays; the last gateway address wins.
        {"  local 'a' @ 10.0.0.2[500] [10.8.0.2]\n  remote 'g' @ 2001:db8::1[500]\n"
         "  local 'a' @ 10.0.0.2[500] [10.8.0.3]\n  remote 'g' @ 203.0.113.9[4500]\n",
         {"10.8.0.2", "203.0.113.9"}},
        // No bracketed second piece, no virtual IP.
        {"local  'c' @ 192.0.2.10[4500]", {}},
        {"local  'c' @ 192.0.2.10[4500] 10.8.0.2", {}},
        {"local  'c' @ 192.0.2.10[4500] []", {}},
        // Traffic selector lines of the CHILD_SA carry no " @ ".
        {"    local  10.99.0.1/32\n    remote 10.200.0.0/24", {}},
        {"remote 'g' @ [4500]", {std::nullopt, "4500]"}},
        {"remote 'g' @  ", {}},
        // Identities may contain the separator themselves.
        {"  local  'me @ 1.2.3.4[1] [6.6.6.6] x' @ 10.0.0.2[4500] [10.99.0.1]\n"
         "  remote 'gw @ 6.6.6.6[' @ 10.0.0.1[4500]\n",
         {"10.99.0.1", "10.0.0.1"}},
    };
    for (const auto& [listing, expected] : cases) {
        EXPECT_EQ(parseSAListing(listing), expected) << listing;
    }
}

TEST(SwanctlOutputTest, establishedWithoutInstalledChildSAIsNotUp) {
    EXPECT_FALSE(listingShowsEstablishedAndInstalled(kListingBEstablishedOnly));
    EXPECT_FALSE(listingShowsEstablishedAndInstalled(""));

    const std::string both = std::string(kListingBEstablishedOnly) + kListingA;
    EXPECT_TRUE(childSAInstalled(kNameA, both));
    // B's IKE SA is up but its CHILD_SA is not; A's INSTALLED does not count.
    EXPECT_FALSE(childSAInstalled(kNameB, both));
    EXPECT_FALSE(childSAInstalled("ov-6f1d2c3b", both));
    EXPECT_FALSE(childSAInstalled(kNameA, ""));
    // Words outside the tunnel's own lines do not count either.
    EXPECT_FALSE(childSAInstalled("ov-x", "ov-x: #1, ESTABLISHED\n  state INSTALLED\n"));
    EXPECT_TRUE(childSAInstalled("ov-x", "\tov-x: #1, ESTABLISHED\n  ov-x: #4, INSTALLED\n"));
}

} // namespace
} // namespace torvane
