#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "app/ui/clock_suggestions.h"
#include "app/ui/date_review_view.h"
#include "app/ui/package_check_view.h"
#include "app/ui/qt_text.h"
#include "app/ui/results_view.h"
#include "app_test_support.h"

using namespace veltrop;
using veltrop::app::AppModel;
using veltrop::app::qs;
using namespace veltrop::testing;
namespace fs = std::filesystem;

namespace {

// Sets a file's modification time to a local wall-clock time, as a card reader would keep it.
void touch(const fs::path& file, const std::string& localTime) {
    ASSERT_EQ(std::system(("touch -d '" + localTime + "' '" + file.string() + "'").c_str()), 0);
}

}  // namespace

// A camera whose files were written an hour before the time it records: the
// review suggests a shift of at least that hour; "Apply" adds the rule once.
// A sync shot with a second camera suggests that camera's shift.
TEST(ClockSuggestionsView, AppliesASuggestionAndASyncShot) {
    ModelHarness harness;
    const fs::path a = harness.photos() / "cam-a", b = harness.photos() / "cam-b";
    for (const char* name : {"1.jpg", "2.jpg"}) {
        writeJpeg(a / name, byCamera("Field Cam"));  // taken 2024-05-14 09:30:15
        touch(a / name, "2024-05-14 08:30:15");
    }
    writeJpeg(b / "b.jpg", taken("2024:05:14 09:28:00", "Cam B"));
    AppModel& model = harness.make();
    model.addLocations({harness.photos()});
    ASSERT_EQ(model.photos().size(), 3u);

    app::DateReviewView review(model, nullptr);
    auto* view = review.findChild<app::ClockSuggestionsView*>();
    ASSERT_TRUE(view);
    ASSERT_EQ(view->shown().suggestions.size(), 1u);
    EXPECT_EQ(view->shown().suggestions[0].heading, "Camera model: Field Cam \u2014 shift \u22121 h");
    EXPECT_EQ(view->shown().suggestions[0].proposal.evidence,
              "The camera runs at least 1 h ahead: 2 of 2 photos were recorded as taken after their file was "
              "written.");
    QPushButton* apply = view->applyButton(0);
    ASSERT_TRUE(apply);
    apply->click();
    ASSERT_EQ(model.corrections().size(), 1u);
    EXPECT_EQ(model.corrections()[0].offsetSeconds, -3600);
    EXPECT_EQ(model.corrections()[0].scope, records::DateCorrectionScope::camera("Field Cam"));
    EXPECT_EQ(view->applyButton(0)->text(), "Applied");
    EXPECT_FALSE(view->applyButton(0)->isEnabled());
    EXPECT_EQ(review.appliedTexts(), QStringList{qs("Clock correction -1 h \u2014 Camera model: Field Cam")});

    // Pickers list the dated photos; the pair sets Cam B to Field Cam's clock.
    EXPECT_EQ(view->otherBox()->count(), 4);  // the prompt and three photos
    view->setSyncShot(a / "1.jpg", b / "b.jpg");
    ASSERT_EQ(view->shown().suggestions.size(), 2u);
    EXPECT_EQ(view->shown().suggestions[1].heading, "Camera model: Cam B \u2014 shift +2 min 15 s");
    view->applyButton(1)->click();
    ASSERT_EQ(model.corrections().size(), 2u);
    EXPECT_EQ(model.corrections()[1].offsetSeconds, 135);

    view->setSyncShot(a / "1.jpg", a / "2.jpg");  // its wording is ClockCheck's
    EXPECT_FALSE(view->syncProblem().isEmpty());
}

// The results of a package export offer "Verify package", which names what
// changed, in the package and among the originals. Two folders of one name
// list both originals as "site/a.jpg"; each is checked as itself.
TEST(PackageCheckView, VerifiesTheExportedPackageAndItsOriginals) {
    ModelHarness harness;
    const fs::path north = harness.dir / "north" / "site", south = harness.dir / "south" / "site";
    fs::create_directories(north);
    fs::create_directories(south);
    writeJpeg(north / "a.jpg");
    writeJpeg(south / "a.jpg");
    const fs::path destination = harness.dir / "handover";
    fs::create_directories(destination);
    AppModel& model = harness.make();
    model.setConfiguration(withPackage(model.configuration(), true));
    model.addLocations({north, south});
    harness.user->folderAnswers.push_back(destination);
    model.startExport();
    ASSERT_TRUE(waitForExport(model));
    ASSERT_TRUE(model.summary() && model.handoverResult());

    app::ResultsView results(model, {settings::Uuid::random(), *model.summary(), model.handoverResult()}, nullptr);
    auto* check = results.findChild<app::PackageCheckView*>();
    ASSERT_TRUE(check);
    EXPECT_EQ(check->button(), results.button("Verify package"));
    auto verify = [&] {
        check->button()->click();
        EXPECT_TRUE(waitFor([&] { return !check->verifier().isRunning(); }));
        return check->resultText();
    };
    EXPECT_EQ(verify(),
              "Package verified: all 6 files match Checksums.sha256; all 2 originals match Sources.sha256.");

    std::ofstream(model.handoverResult()->root / "Photos" / "a.jpg", std::ios::app) << "x";
    std::ofstream(south / "a.jpg", std::ios::app) << "x";
    EXPECT_EQ(verify(), "2 problems found:\nChanged: Photos/a.jpg\nChanged original: site/a.jpg");
}
