// Pictures whose files a 32-bit machine can hold but whose pixels, as 24-bit
// rasters (3 * W * H bytes), do not fit its size_t: the readers refuse them
// instead of making a buffer of the wrapped, small size and filling or
// reading it as if it were large. The files are sparse: their pixels take
// no room. On a machine with a wider size_t the same calls would really ask
// for gigabytes, so there the cases are skipped.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "bmpTestFiles.h"
#include "common/checkedSize.h"
#include "ktuBMPUtils.h"
#include "ktuTestSupport.h"

namespace {

using namespace bmptest;

// A BMP file of `w` x `h` pixels of `bits` bits whose pixel array is a hole.
void writeSparseBmp(const std::filesystem::path& file, int w, int h, int bits)
{
    std::string header = bmpImage(1, 1, bits, bits == 8 ? 256 : 0);
    header.resize(54 + (bits == 8 ? 1024 : 0));
    const uint64_t bytes = static_cast<uint64_t>(alignedRow(w, bits)) * static_cast<uint64_t>(h);
    put32(header, 2, static_cast<uint32_t>(header.size() + bytes));
    put32(header, 18, static_cast<uint32_t>(w));
    put32(header, 22, static_cast<uint32_t>(h));
    put32(header, 34, static_cast<uint32_t>(bytes));
    std::ofstream(file, std::ios::binary).write(header.data(), static_cast<std::streamsize>(header.size()));
    std::filesystem::resize_file(file, header.size() + bytes);
}

TEST(CheckedSize, ProductsAndSumsThatDoNotFitAreRefused)
{
    std::size_t out = 7;
    EXPECT_TRUE(ktu::checkedProduct(out, 3, 5, 0));
    EXPECT_EQ(out, 0u);
    EXPECT_FALSE(ktu::checkedProduct(out, 3, SIZE_MAX / 3 + 1));
    EXPECT_FALSE(ktu::checkedAdd(SIZE_MAX, 1, out));
    EXPECT_EQ(out, 0u);  // unchanged by a refusal
    EXPECT_TRUE(ktu::checkedAdd(SIZE_MAX - 1, 1, out));
    EXPECT_EQ(out, SIZE_MAX);
    EXPECT_THROW(ktu::allocationSize(SIZE_MAX / 2 + 1, 2, 1), std::bad_alloc);
}

TEST(SizeOverflow, PicturesLargerThanTheAddressSpaceAreRefused)
{
    if (sizeof(std::size_t) > 4) {
        GTEST_SKIP() << "3 * W * H fits this machine's size_t";
    }
    ktu::test::openGate();
    ktu::test::Sandbox sandbox;
    // 8 bits: 1.6 GB of file, 4.8 GB as a raster (wraps to about 505 MB).
    writeSparseBmp(sandbox.native("wide8.bmp"), 40000, 40000, 8);
    std::vector<unsigned char> out(64, 0xA5);
    EXPECT_FALSE(ktuBMPUtils::getResizedImageData(sandbox.path("wide8.bmp").c_str(), out.data(), 2, 2));
    EXPECT_FALSE(ktuBMPUtils::cropAndSaveImage(sandbox.path("wide8.bmp").c_str(), sandbox.path("crop.bmp").c_str(),
                                               0, 0, 2, 2));
    // 24 bits: 4.8 GB of file; the stored rows wrap the same way.
    writeSparseBmp(sandbox.native("wide24.bmp"), 40000, 40000, 24);
    EXPECT_FALSE(ktuBMPUtils::getImageData(sandbox.path("wide24.bmp").c_str(), out.data()));
    EXPECT_FALSE(ktuBMPUtils::getImageBitmapData(sandbox.path("wide24.bmp").c_str(), out.data()));
    EXPECT_EQ(out, std::vector<unsigned char>(64, 0xA5));
    EXPECT_FALSE(sandbox.exists("crop.bmp"));
}

}  // namespace
