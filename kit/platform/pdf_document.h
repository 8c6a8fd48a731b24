#pragma once
// A PDF assembled in memory: pages of one size, single lines of text and
// pictures embedded as JPEG data. Coordinates are PDF points with the origin
// at the bottom-left corner of the page and y pointing up.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kit/image/bitmap.h"

namespace veltrop::platform {

struct PdfTextStyle {
    std::string family;  // a fontconfig family name or alias, e.g. "Helvetica"
    double size = 12;    // points
    double grey = 0;     // 0 black … 1 white, opaque
};

// A picture ready for a PDF page: JPEG data and its size in pixels. Made
// without a document, so that pictures can be prepared on other threads.
struct PdfJpeg {
    std::string data;
    int width = 0;
    int height = 0;

    // Nothing when the bitmap is empty or cannot be encoded. Transparency is
    // dropped: what is left is the picture over black.
    static std::optional<PdfJpeg> encode(const image::Bitmap& image, int quality);
};

class PdfDocument {
public:
    // Nothing when the PDF output cannot be set up.
    static std::optional<PdfDocument> create(double pageWidth, double pageHeight, std::string_view title,
                                             std::string_view creator);

    PdfDocument(PdfDocument&&) noexcept;
    PdfDocument& operator=(PdfDocument&&) noexcept;
    PdfDocument(const PdfDocument&) = delete;
    PdfDocument& operator=(const PdfDocument&) = delete;
    ~PdfDocument();

    // Starts a page filled white; the previous page, if any, is finished first.
    void beginPage();

    // One line whose baseline starts at (x, baseline); text wider than
    // maxWidth is cut at the end with "…". Text that is not valid UTF-8 has
    // its stray bytes replaced.
    void drawText(std::string_view text, const PdfTextStyle& style, double x, double baseline, double maxWidth);

    // The picture stretched over the rectangle whose lower-left corner is
    // (x, y), stored in the file as the JPEG data itself.
    [[nodiscard]] bool drawJpeg(const PdfJpeg& picture, double x, double y, double width, double height);

    // Finishes the last page and the document: the PDF file's bytes, or
    // nothing when writing failed.
    [[nodiscard]] std::optional<std::string> finish();

private:
    struct State;
    explicit PdfDocument(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace veltrop::platform
