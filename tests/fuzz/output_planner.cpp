// The output planner's name building. Fields (separated by 0x1E): template,
// subfolder, source name, reference, project title, then a byte choosing
// whether a capture date is known and bytes for its year. Every planned path
// must lie inside the output folder, end in ".jpg" and be handed out once.

#include <algorithm>
#include <set>

#include "harness.h"
#include "kit/export/output_planner.h"

namespace veltrop::fuzz {

namespace {

namespace fs = std::filesystem;

void checkInside(const fs::path& planned, const fs::path& root) {
    FUZZ_CHECK(planned.is_absolute());
    FUZZ_CHECK(planned == planned.lexically_normal());
    const fs::path relative = planned.lexically_relative(root);
    FUZZ_CHECK(!relative.empty());
    for (const fs::path& piece : relative) FUZZ_CHECK(piece != ".." && piece != "." && !piece.empty());
    const std::string name = planned.filename().string();
    FUZZ_CHECK(name.size() > 4 && name.ends_with(".jpg"));
    FUZZ_CHECK(name.find('\0') == std::string::npos);
}

}  // namespace

int fuzzOutputPlanner(const std::uint8_t* data, std::size_t size) {
    FieldReader input(data, size);
    settings::OutputNaming naming;
    naming.template_ = input.text();
    const std::string subfolder = input.text();
    const std::string sourceName = input.text();
    const std::string reference = input.text();
    const std::string project = input.text();
    std::optional<dates::CaptureDate> date;
    if (input.byte() % 2 == 1) {
        const std::int64_t high = input.byte();
        const std::int64_t year = high * 256 + input.byte();
        date = dates::CaptureDate{year, input.byte() % 12 + 1, input.byte() % 28 + 1, input.byte() % 24,
                                  input.byte() % 60, input.byte() % 60, dates::CaptureDateSource::dateTimeOriginal};
    }

    const fs::path root = scratchFolder() / "out";
    // One source elsewhere and one where the copy would go with an empty template.
    const std::vector<fs::path> sources{scratchFolder() / "in" / (sourceName.empty() ? "x" : sourceName),
                                        root / (sourceName + ".jpg")};
    exporting::OutputPlanner planner(sources, [](const fs::path&) { return true; });

    std::set<fs::path> planned;
    for (int photo = 0; photo < 3; ++photo) {
        const auto destination =
            planner.plan(root, sources[0], subfolder, sourceName, date, reference, project, naming);
        if (!destination) {
            FUZZ_CHECK(!destination.error().description().empty());
            break;
        }
        checkInside(*destination, root);
        FUZZ_CHECK(std::ranges::find(sources, *destination) == sources.end());
        FUZZ_CHECK(planned.insert(*destination).second);
    }

    const std::string stem = exporting::fileStem(naming.template_, sourceName, date, reference, project);
    FUZZ_CHECK(stem.find('\0') == std::string::npos || naming.template_.find('\0') != std::string::npos);
    return 0;
}

}  // namespace veltrop::fuzz
