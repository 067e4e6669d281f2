#include "registry/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace quorvanta {
namespace {

TEST(Registry, NamesResolveToCanonicalId) {
    struct Case {
        const char* name;
        const char* id;
    };
    const Case cases[] = {
        {"heart_rate", "heart_rate"},
        {"hr", "heart_rate"},
        {"pulse", "heart_rate"},
        {"systolic", "sbp"},
        {"bp_sys", "sbp"},
        {"sbp", "sbp"},
        {"mean_arterial_pressure", "map"},
        {"pp", "pulse_pressure"},
        {"ppg", "ppg_waveform"},
        {"resp", "respiratory_waveform"},
        {"rr", "respiratory_rate"},
        {"si", "stress_index"},
        {"resp_ie", "ie_ratio"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto record = lookup_vital(c.name);
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->id, c.id);
        const auto info = get_vital_info(c.name);
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->id, c.id);
    }
}

TEST(Registry, UnknownNamesFindNothing) {
    for (const char* name : {"HR", "Heart_Rate", "HEART_RATE", " hr", "hr ", "", "p", "ppg_",
                             "heart", "blood_pressure"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(lookup_vital(name).has_value());
        EXPECT_FALSE(get_vital_info(name).has_value());
    }
    EXPECT_FALSE(get_vital_info(std::string_view("hr\0", 3)).has_value());
}

TEST(Registry, DisplayData) {
    const auto sbp = get_vital_info("systolic");
    ASSERT_TRUE(sbp.has_value());
    EXPECT_EQ(sbp->display_name, "Systolic Blood Pressure");
    EXPECT_EQ(get_vital_info("mean_arterial_pressure")->short_name, "MAP");
    EXPECT_EQ(get_vital_info("hr"), (VitalDisplayMeta{"heart_rate", "Heart Rate", "HR", "bpm",
                                                      "#E62100", "\u2764\uFE0F"}));
    EXPECT_EQ(get_vital_info("spo2")->emoji, "\U0001FAE7");
    for (std::string_view id : vital_ids()) {
        SCOPED_TRACE(id);
        const auto info = get_vital_info(id);
        ASSERT_TRUE(info.has_value());
        const bool two_code_points =
            id == "heart_rate" || id == "ppg_waveform" || id == "stress_index";
        EXPECT_EQ(info->emoji.size(), two_code_points ? 6u : 4u);
        ASSERT_EQ(info->color.size(), 7u);
        EXPECT_EQ(info->color[0], '#');
        EXPECT_TRUE(std::all_of(info->color.begin() + 1, info->color.end(), [](char ch) {
            return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F');
        }));
    }
}

TEST(Registry, CatalogueInvariants) {
    const auto ids = vital_ids();
    ASSERT_EQ(ids.size(), 17u);
    EXPECT_EQ(ids.front(), "heart_rate");
    EXPECT_EQ(ids.back(), "abp_waveform");
    EXPECT_EQ(std::set<std::string_view>(ids.begin(), ids.end()).size(), ids.size());
    for (std::string_view id : ids) {
        SCOPED_TRACE(id);
        const auto record = lookup_vital(id);
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->id, id);
        const bool is_waveform = id.ends_with("_waveform");
        EXPECT_EQ(record->methods.empty(), is_waveform);
        EXPECT_EQ(std::holds_alternative<detrend::Raw>(record->detrend), !is_waveform);
        EXPECT_EQ(record->scalar_only, !is_waveform && id != "spo2");
        for (const EstimationMethod& m : record->methods) {
            EXPECT_FALSE(m.signals.empty());
            EXPECT_LT(m.min_seconds, m.max_seconds);
            EXPECT_LT(m.min_value, m.max_value);
        }
        if (!record->methods.empty()) {
            EXPECT_LE(record->methods.front().stage, 1);
        }
    }
}

TEST(Registry, ExactMethodRecords) {
    const EstimationMethod heart_rate{
        {"ppg_waveform"}, MethodKind::Periodogram, 0, 0.005f, 5, 10, 40, 220, 0};
    const EstimationMethod map_from_pressures{
        {"sbp", "dbp"}, MethodKind::MeanArterial, 0, 0, 5, 10, 40, 200, 2};
    const EstimationMethod lf_hf{{"ppg_waveform"}, MethodKind::Hrv, 2, 0, 55, 120, 0, 10, 1};

    EXPECT_EQ(lookup_vital("pulse").value().methods, std::vector{heart_rate});
    EXPECT_EQ(lookup_vital("lfhf").value().methods, std::vector{lf_hf});
    const auto map = lookup_vital("map").value();
    ASSERT_EQ(map.methods.size(), 2u);
    EXPECT_EQ(map.methods[0].method, MethodKind::Mean);
    EXPECT_EQ(map.methods[1], map_from_pressures);
    EXPECT_EQ(static_cast<int>(MethodKind::IeRatio), 9);
}

TEST(Registry, ExactWaveformRecords) {
    const auto ppg = lookup_vital("ppg").value();
    EXPECT_EQ(ppg.detrend, Detrend(detrend::Cutoff{0.67f}));
    EXPECT_EQ(ppg.smoothing_cutoff, 3.67f);
    EXPECT_EQ(ppg.min_seconds, 5.0f);
    EXPECT_EQ(ppg.postprocess, Postprocess::SmoothNormalize);
    EXPECT_EQ(static_cast<int>(Postprocess::SmoothNormalize), 4);

    const auto abp = lookup_vital("abp_waveform").value();
    EXPECT_EQ(abp.detrend, Detrend(detrend::Default{}));
    EXPECT_FALSE(abp.smoothing_cutoff.has_value());
    EXPECT_EQ(abp.postprocess, Postprocess::None);
    EXPECT_EQ(abp.unit, "mmHg");
}

TEST(Registry, LookupReturnsAnIndependentCopy) {
    auto first = lookup_vital("hr").value();
    first.id = "changed";
    first.methods.clear();
    const auto second = lookup_vital("hr").value();
    EXPECT_EQ(second.id, "heart_rate");
    EXPECT_EQ(second.methods.size(), 1u);
}

}  // namespace
}  // namespace quorvanta
