#include "helper/strongswan/ViciMessage.h"

#include <gtest/gtest.h>

using namespace torvane;

namespace {

ViciNode value(std::string name, std::string text) {
    ViciNode node;
    node.name = std::move(name);
    node.value = std::move(text);
    return node;
}

ViciNode section(std::string name, std::vector<ViciNode> children) {
    ViciNode node;
    node.kind = ViciNode::Kind::section;
    node.name = std::move(name);
    node.children = std::move(children);
    return node;
}

std::string withoutLength(const std::string& packet) {
    return packet.substr(4);
}

} // namespace

TEST(ViciMessageTest, AnSAListingEventSurvivesTheWire) {
    ViciNode vips;
    vips.kind = ViciNode::Kind::list;
    vips.name = "local-vips";
    vips.items = {"10.99.0.1", "fd00::1"};
    const ViciMessage listing = {section(
        "ov-a", {value("state", "ESTABLISHED"), value("remote-host", "10.10.0.1"), vips,
                 section("child-sas", {section("ov-a-1", {value("state", "INSTALLED")})})})};

    const auto packet = encodeViciPacket(ViciPacket::event, "list-sa", listing);
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->substr(0, 4), std::string("\0\0\0", 3) + char(packet->size() - 4));
    const auto decoded = decodeViciPacket(withoutLength(*packet));
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(decoded->type, ViciPacket::event);
    EXPECT_EQ(decoded->name, "list-sa");
    ASSERT_EQ(decoded->message.size(), 1u);
    const ViciNode& ike = decoded->message[0];
    EXPECT_EQ(ike.text("state"), "ESTABLISHED");
    ASSERT_NE(ike.find("local-vips"), nullptr);
    EXPECT_EQ(ike.find("local-vips")->items, vips.items);
    EXPECT_EQ(ike.find("child-sas")->children.at(0).text("state"), "INSTALLED");
    EXPECT_EQ(ike.text("child-sas"), std::nullopt) << "a section is not a value";
}

TEST(ViciMessageTest, WhatCharonWouldNotSendIsRefused) {
    const std::string response(1, '\x01');
    for (const std::string& body : {
             std::string("\x09", 1),                  // unknown packet type
             response + "\x03\x01k\x00\x05" + "ab",   // value past the end
             response + "\x07\x01k",                  // unknown element
             response + "\x01\x01s\x03\x01k\x00\x00", // section never closed
             response + "\x02",                       // closes nothing
             response + "\x04\x01l\x05\x00\x01x",     // list never closed
             std::string("\x07\x05list", 6),          // name past the end
             std::string("\x05") + "x",               // bytes after a confirm
         }) {
        EXPECT_FALSE(decodeViciPacket(body)) << "refused: " << body.size() << " bytes";
    }
    std::string deep = response;
    for (int i = 0; i < 40; ++i) {
        deep += std::string("\x01\x01s", 3);
    }
    EXPECT_FALSE(decodeViciPacket(deep)) << "nesting deeper than any listing";

    EXPECT_FALSE(encodeViciPacket(ViciPacket::commandRequest, std::string(256, 'n')));
    EXPECT_FALSE(
        encodeViciPacket(ViciPacket::commandRequest, "x", {value("k", std::string(70'000, 'v'))}));
}
