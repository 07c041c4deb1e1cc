// The picture loader on a file whose bytes are the input (any format it
// decodes), and the size in HIMETRIC units that the BMP class reads through
// it.
#include "fuzzSupport.h"

namespace {

ktufuzz::ScratchFolder* g_scratch = nullptr;
std::string g_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static ktufuzz::ScratchFolder scratch("picture");
    g_scratch = &scratch;
    ktufuzz::startLibrary(scratch);
    g_path = scratch.drivePath() + "/in.pic";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    g_scratch->writeFile("in.pic", data, size);

    IPicture* picture = nullptr;
    if (ktuBMPUtils::LoadPictureFile(g_path.c_str(), &picture, nullptr)) {
        KTU_FUZZ_CHECK(picture != nullptr);
        OLE_XSIZE_HIMETRIC width = -1;
        OLE_YSIZE_HIMETRIC height = -1;
        KTU_FUZZ_CHECK(SUCCEEDED(picture->get_Width(&width)) && SUCCEEDED(picture->get_Height(&height)));
        KTU_FUZZ_CHECK(width > 0 && height > 0);
        picture->Release();

        int w = -1, h = -1;
        KTU_FUZZ_CHECK(ktuBMPUtils::getImageSize2(g_path.c_str(), &w, &h));
        KTU_FUZZ_CHECK(w == width && h == height);
    } else {
        KTU_FUZZ_CHECK(picture == nullptr);
        int w = -1, h = -1;
        KTU_FUZZ_CHECK(!ktuBMPUtils::getImageSize2(g_path.c_str(), &w, &h));
    }
    return 0;
}
