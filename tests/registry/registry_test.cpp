// SPDX-License-Identifier: Apache-2.0
#include "registry/registry.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

namespace quorvanta {
namespace {

// Names match exactly: no case folding, trimming, prefixes or embedded NULs.
TEST(Registry, OtherNamesFindNothing) {
    const std::string_view names[] = {"HR", "Heart_Rate", " hr",  "hr ",
                                      "",   "p",          "ppg_", std::string_view("hr\0", 3)};
    for (std::string_view name : names)
        EXPECT_FALSE(lookup_vital(name).has_value()) << testing::PrintToString(name);
}

TEST(Registry, EveryCanonicalIdRoundTrips) {
    const auto ids = vital_ids();
    EXPECT_EQ(std::set(ids.begin(), ids.end()).size(), ids.size());
    for (std::string_view id : ids) {
        SCOPED_TRACE(id);
        EXPECT_EQ(lookup_vital(id).value().id, id);
        const VitalDisplayMeta info = get_vital_info(id).value();
        EXPECT_EQ(info.id, id);
        EXPECT_TRUE(std::regex_match(info.color, std::regex("#[0-9A-F]{6}"))) << info.color;
    }
}

}  // namespace
}  // namespace quorvanta
