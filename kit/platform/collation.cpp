#include "kit/platform/collation.h"

#include <unicode/ucol.h>

#include <algorithm>
#include <memory>
#include <numeric>

namespace veltrop::platform {

namespace {

struct CollatorCloser {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};
using Collator = std::unique_ptr<UCollator, CollatorCloser>;

// A collator is not safe to share between threads; each call makes its own.
Collator makeCollator() {
    UErrorCode status = U_ZERO_ERROR;
    Collator collator(ucol_open("", &status));
    if (U_FAILURE(status)) return nullptr;
    ucol_setAttribute(collator.get(), UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    ucol_setStrength(collator.get(), UCOL_SECONDARY);  // case ignored, accents kept
    return collator;
}

int fallbackCompare(const std::string& a, const std::string& b) { return a.compare(b); }

int compareWith(UCollator* collator, const std::string& a, const std::string& b) {
    if (collator == nullptr) return fallbackCompare(a, b);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result = ucol_strcollUTF8(collator, a.data(), static_cast<int32_t>(a.size()), b.data(),
                                                     static_cast<int32_t>(b.size()), &status);
    if (U_FAILURE(status)) return fallbackCompare(a, b);
    return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

}  // namespace

int compareNaturally(const std::string& a, const std::string& b) {
    Collator collator = makeCollator();
    return compareWith(collator.get(), a, b);
}

void sortNaturally(std::vector<std::string>& texts) {
    Collator collator = makeCollator();
    std::stable_sort(texts.begin(), texts.end(), [&](const std::string& a, const std::string& b) {
        return compareWith(collator.get(), a, b) < 0;
    });
}

}  // namespace veltrop::platform
