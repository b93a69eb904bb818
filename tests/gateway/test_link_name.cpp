// The link names a gateway takes, as hardware gateways and their clients
// write them.
#include <gtest/gtest.h>

#include "gateway/link_name.h"

namespace {

using gateway::LinkTarget;

TEST(LinkNameTest, NamesReachTheirBoardAndDevice) {
    const std::optional<LinkTarget> inst0 = LinkTarget{1, false, {5, 2}};
    const struct {
        const char* name;
        int error;
        LinkTarget target;
    } rows[] = {
        {"gpib0", 0, {0, true, {}}},
        {"gpib0,9", 0, {0, false, {9, -1}}},
        {"GPIB0,9,2", 0, {0, false, {9, 2}}},
        {"hpib7,30", 0, {7, false, {30, -1}}},
        {"gpib,9", 0, {0, false, {9, -1}}},  // no number: board 0
        {"hpib", 0, {0, true, {}}},
        {"gpib15,0,0", 0, {15, false, {0, 0}}},
        {"inst0", 0, {1, false, {5, 2}}},
        {"gpib16,9", 3, {}},
        {"gpib01,9", 3, {}},
        {"gpibx,9", 3, {}},
        {"vxi0,9", 3, {}},
        {"", 3, {}},
        {"gpib0,31", 21, {}},
        {"gpib0,9,31", 21, {}},
        {"gpib0,9,", 21, {}},
        {"gpib0,,9", 21, {}},
        {"gpib0,9,2,1", 21, {}},
        {"gpib0,-1", 21, {}},
        {"gpib0,009", 21, {}},
    };
    for (const auto& row : rows) {
        LinkTarget t;
        EXPECT_EQ(gateway::parseLinkName(row.name, inst0, t), row.error) << row.name;
        if (row.error == 0) {
            EXPECT_EQ(t.board, row.target.board) << row.name;
            EXPECT_EQ(t.interface, row.target.interface) << row.name;
            EXPECT_EQ(t.address, row.target.address) << row.name;
        }
    }
    // No device named for inst0: the gateway itself answers to it.
    LinkTarget t;
    EXPECT_EQ(gateway::parseLinkName("INST0", std::nullopt, t), 0);
    EXPECT_TRUE(t.gateway);
    EXPECT_EQ(t.board, gateway::kGatewayBoard);
    EXPECT_EQ(gateway::describeTarget(t), "the gateway itself");
    EXPECT_EQ(gateway::parseLinkName("inst1", std::nullopt, t), 3);
}

}  // namespace
