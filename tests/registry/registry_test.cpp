// SPDX-License-Identifier: Apache-2.0
#include "registry/registry.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace quorvanta {
namespace {

// get_vital_info shares the lookup: it is checked with the canonical identifiers below, and with
// an alias and unknown names end to end.
TEST(Registry, AliasesResolveToCanonicalIds) {
    std::istringstream aliases(  // alias, canonical identifier
        "hr heart_rate  pulse heart_rate  rr respiratory_rate  resp_rate respiratory_rate  "
        "sdnn hrv_sdnn  rmssd hrv_rmssd  lfhf hrv_lfhf  pnn50 hrv_pnn50  sd1sd2 hrv_sd1sd2  "
        "si stress_index  resp_ie ie_ratio  bp_sys sbp  systolic sbp  bp_dia dbp  diastolic dbp  "
        "mean_arterial_pressure map  pp pulse_pressure  ppg ppg_waveform  "
        "resp respiratory_waveform  resp_waveform respiratory_waveform");
    std::string name, id;
    while (aliases >> name >> id)
        EXPECT_EQ(lookup_vital(name).value().id, id) << name;
}

TEST(Registry, OtherNamesFindNothing) {
    const std::string_view names[] = {"HR", "Heart_Rate", " hr",  "hr ",
                                      "",   "p",          "ppg_", std::string_view("hr\0", 3)};
    for (std::string_view name : names)
        EXPECT_FALSE(lookup_vital(name).has_value()) << testing::PrintToString(name);
}

TEST(Registry, EveryCanonicalIdRoundTrips) {
    const auto ids = vital_ids();
    ASSERT_EQ(ids.size(), 17u);
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
