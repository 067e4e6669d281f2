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

// The rules the catalogue's own documentation states, held for every entry, so that a new vital is
// checked as it is added.
void expect_method_follows_rules(const VitalSpec& spec, const EstimationMethod& method) {
    EXPECT_FALSE(method.signals.empty());
    for (const std::string& signal : method.signals) {
        SCOPED_TRACE(signal);
        const auto read = lookup_vital(signal);
        ASSERT_TRUE(read.has_value()) << "reads a signal the catalogue does not know";
        EXPECT_EQ(read->id, signal) << "reads a signal by an alias";
        if (read->id == spec.id) continue;  // its own input, such as a model's spo2 output
        for (const EstimationMethod& before : read->methods)
            EXPECT_GT(method.stage, before.stage) << "runs before a vital it reads";
    }
    EXPECT_GT(method.min_seconds, 0);
    EXPECT_LE(method.min_seconds, method.max_seconds);
    EXPECT_LT(method.min_value, method.max_value);
    const bool has_selector =
        method.method == MethodKind::Hrv || method.method == MethodKind::PeakDetection;
    const bool has_param =
        method.method == MethodKind::Periodogram || method.method == MethodKind::PeakDetection;
    if (!has_selector) {
        EXPECT_EQ(method.selector, 0) << "a field its kind does not use";
    }
    if (!has_param) {
        EXPECT_EQ(method.param, 0) << "a field its kind does not use";
    }
    if (method.method == MethodKind::Hrv) {
        EXPECT_EQ(method.signals, std::vector<std::string>{"ppg_waveform"});
    }
}

TEST(Registry, EveryEntryFollowsTheCataloguesRules) {
    std::set<std::uint8_t> hrv_metrics;
    for (std::string_view id : vital_ids()) {
        SCOPED_TRACE(id);
        const VitalSpec spec = lookup_vital(id).value();
        EXPECT_FALSE(spec.unit.empty() || spec.display_name.empty() || spec.short_name.empty() ||
                     spec.emoji.empty());
        for (const EstimationMethod& method : spec.methods) {
            expect_method_follows_rules(spec, method);
            if (method.method == MethodKind::Hrv) {
                EXPECT_TRUE(hrv_metrics.insert(method.selector).second) << "a metric twice";
            }
        }
        const RateBand band = rate_band(id);
        if (spec.methods.empty()) {
            EXPECT_FALSE(spec.scalar_only) << "neither estimated nor returned";
            EXPECT_EQ(band.max_rate, 0);
        } else {
            EXPECT_EQ(band.min_rate, spec.methods.front().min_value);
            EXPECT_EQ(band.max_rate, spec.methods.front().max_value);
            if (spec.methods.front().method == MethodKind::Periodogram) {
                EXPECT_EQ(spec.unit, "bpm");
            }
        }
        if (std::holds_alternative<detrend::Raw>(spec.detrend)) {
            EXPECT_FALSE(spec.smoothing_cutoff.has_value()) << "waveform fields of a raw entry";
            EXPECT_EQ(spec.min_seconds, 0);
        }
        const bool smooths = spec.postprocess == Postprocess::Smooth ||
                             spec.postprocess == Postprocess::SmoothNormalize ||
                             spec.postprocess == Postprocess::DetrendSmoothNormalize;
        EXPECT_EQ(smooths, spec.smoothing_cutoff.has_value());
    }
}

}  // namespace
}  // namespace quorvanta
