#include "kit/export/jpeg_samples.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>
#include <lcms2.h>

namespace veltrop::testing {

std::vector<std::uint8_t> encodeSamples(const SampleJpeg& sample) {
    const int components = sample.space == SampleSpace::grey ? 1 : sample.space == SampleSpace::rgb ? 3 : 4;
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(sample.width * sample.height * components));
    for (int y = 0; y < sample.height; ++y) {
        for (int x = 0; x < sample.width; ++x) {
            for (int c = 0; c < components; ++c) {
                std::uint8_t value = sample.pixel.empty() ? static_cast<std::uint8_t>((x * 7 + y * 3 + c * 50) % 256)
                                                          : sample.pixel[static_cast<std::size_t>(c)];
                if (components == 4) value = static_cast<std::uint8_t>(255 - value);
                samples[static_cast<std::size_t>((y * sample.width + x) * components + c)] = value;
            }
        }
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(sample.width);
    info.image_height = static_cast<JDIMENSION>(sample.height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&info);
    if (sample.space == SampleSpace::cmyk) jpeg_set_colorspace(&info, JCS_CMYK);
    if (sample.space == SampleSpace::ycck) jpeg_set_colorspace(&info, JCS_YCCK);
    jpeg_set_quality(&info, sample.quality, TRUE);
    if (sample.progressive) jpeg_simple_progression(&info);
    info.restart_in_rows = sample.restartRows;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = samples.data() + static_cast<std::size_t>(info.next_scanline) * sample.width * components;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> jpeg(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return jpeg;
}

namespace {

std::vector<std::uint8_t> saved(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// Ink amounts to Lab: a naive print whose red and blue are exchanged.
int sampleSwappedInks(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
    const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
    const double rgb[3] = {(1 - y) * (1 - k), (1 - m) * (1 - k), (1 - c) * (1 - k)};
    cmsCIELab lab;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(cargo), rgb, &lab, 1);
    cmsFloat2LabEncodedV2(out, &lab);
    return TRUE;
}

}  // namespace

std::vector<std::uint8_t> swappedInkProfile() {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE labProfile = cmsCreateLab2Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_DBL, labProfile, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(grid, sampleSwappedInks, toLab, 0);
    cmsPipelineInsertStage(lut, cmsAT_END, grid);
    cmsWriteTag(profile, cmsSigAToB0Tag, lut);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", "Swapped inks");
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
    cmsPipelineFree(lut);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(labProfile);
    cmsCloseProfile(srgb);
    return saved(profile);
}

std::vector<std::uint8_t> linearGreyProfile() {
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), linear);
    cmsFreeToneCurve(linear);
    return saved(profile);
}

}  // namespace veltrop::testing
