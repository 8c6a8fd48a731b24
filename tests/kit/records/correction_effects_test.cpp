#include <gtest/gtest.h>

#include "kit/records/correction_effects.h"

using namespace veltrop::records;
using veltrop::dates::CaptureDate;
using veltrop::dates::CaptureDateSource;
using veltrop::records::DiscoveredPhoto;

namespace {

DiscoveredPhoto photo(std::string url, std::string model, std::optional<CaptureDate> date) {
    DiscoveredPhoto p;
    p.url = url;
    p.root = "/site";
    p.exif.model = std::move(model);
    p.captureDate = date;
    return p;
}

DateCorrectionRule shift(DateCorrectionScope scope, std::int64_t seconds) {
    DateCorrectionRule rule;
    rule.scope = std::move(scope);
    rule.offsetSeconds = seconds;
    return rule;
}

DateCorrectionRule supply(DateCorrectionScope scope, CaptureDate date) {
    DateCorrectionRule rule;
    rule.scope = std::move(scope);
    date.source = CaptureDateSource::suppliedDate;
    rule.suppliedDate = date;
    return rule;
}

}  // namespace

TEST(CorrectionEffects, CountsOnlyTheWinningRuleAndRealChanges) {
    const CaptureDate noon{2026, 8, 14, 12, 0, 0, CaptureDateSource::dateTimeOriginal};
    const std::vector<DiscoveredPhoto> photos{
        photo("/site/a/1.jpg", "NIKON D3100", noon),
        photo("/site/a/2.jpg", "NIKON D3100", std::nullopt),
        photo("/site/b/3.jpg", "Canon EOS R5", noon),
        photo("/site/b/4.jpg", "PENTAX K-1", CaptureDate{9999, 12, 31, 23, 30, 0}),
        photo("/site/c/5.jpg", "Canon EOS R5", noon),
    };
    const std::vector<DateCorrectionRule> rules{
        // 1.jpg; 2.jpg has no date to shift.
        shift(DateCorrectionScope::all(), 3600),
        // 3.jpg is taken by later rules; 4.jpg would pass year 9999 and fails.
        shift(DateCorrectionScope::folder("/site/b"), 3600),
        // 5.jpg; 3.jpg is taken by the next rule.
        supply(DateCorrectionScope::camera("Canon EOS R5"), {2026, 8, 15, 9, 0, 0}),
        // The date 3.jpg records already: no change.
        supply(DateCorrectionScope::photo("/site/b/3.jpg"), noon),
        shift(DateCorrectionScope::camera("nikon"), 60),
    };
    EXPECT_EQ(rulesMatchingNothing(rules, photos), (std::vector<std::size_t>{4}));
    EXPECT_EQ(rulesMatchingNothing(rules, {}), (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(changedPhotoCounts(rules, photos, {}), (std::vector<std::size_t>{1, 0, 1, 0, 0}));

    // A supplied date is a change for the undated photo and the one recorded otherwise.
    const std::vector<DateCorrectionRule> supplied{supply(DateCorrectionScope::all(), noon)};
    EXPECT_EQ(changedPhotoCounts(supplied, photos, {}), (std::vector<std::size_t>{2}));
}
