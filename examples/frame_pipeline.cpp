// A frame pipeline: reads a sequence of 24-bit BMP files, zooms each frame to
// a capture rectangle, turns it upside down, and writes the results.
//
//   frame_pipeline OUT_FOLDER FRAME.bmp [FRAME.bmp ...]
//
// The library takes full paths in drive form ("C:/data/in/0001.bmp"); on
// Linux "C:" is the root of the file system unless KTU_DRIVES maps it.
#include <KSUtilityClasses.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// "/tmp/x.bmp" -> "C:/tmp/x.bmp" on Linux; Windows paths pass unchanged.
std::string driveForm(const std::string& path)
{
#if defined(_WIN32)
    return path;
#else
    return path.size() > 0 && path[0] == '/' ? "C:" + path : path;
#endif
}

// The library's rasters come in two row layouts: packed (3 * width bytes a
// row, what getImageData gives and the zoom works on) and BMP-aligned (rows
// padded to 4 bytes, what saveAsBMP writes).
std::vector<unsigned char> toAligned(const std::vector<unsigned char>& packed, int width, int height)
{
    std::vector<unsigned char> aligned(ktuBMPUtils::getBMPFormatDataLen(width, height), 0);
    const std::size_t packedRow = 3 * static_cast<std::size_t>(width);
    const std::size_t alignedRow = aligned.size() / height;
    for (int y = 0; y < height; ++y) {
        std::copy_n(packed.begin() + y * packedRow, packedRow, aligned.begin() + y * alignedRow);
    }
    return aligned;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: frame_pipeline OUT_FOLDER FRAME.bmp [FRAME.bmp ...]\n");
        return 2;
    }

    // The handshake first: until it is made every operation below would
    // quietly return its failure value.
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);

    // The capture rectangle in fractions of the frame, rows counted from the
    // bottom: the middle half of the picture. It fits frames of any size.
    ktuRelativeBbox capture;
    capture.setDimensions(/*top*/ 0.75, /*bottom*/ 0.25, /*left*/ 0.25, /*right*/ 0.75);

    // One manipulator serves the whole sequence; it only needs to be told
    // again when the frame size changes.
    ktuVideoStreamManipulator zoom;
    int currentWidth = 0, currentHeight = 0;

    const std::string outFolder = argv[1];
    int written = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string input = driveForm(argv[i]);
        int width = 0, height = 0;
        if (!ktuBMPUtils::getImageSize(input.c_str(), &width, &height) || width <= 0 || height <= 0) {
            std::fprintf(stderr, "frame_pipeline: %s is not a readable BMP file, skipped\n", argv[i]);
            continue;
        }
        std::vector<unsigned char> frame(3 * static_cast<std::size_t>(width) * height);
        if (!ktuBMPUtils::getImageData(input.c_str(), frame.data())) {
            std::fprintf(stderr, "frame_pipeline: %s is not a 24-bit BMP file, skipped\n", argv[i]);
            continue;
        }

        if (width != currentWidth || height != currentHeight) {
            zoom.setImageSize(width, height);
            zoom.setCaptureRect(&capture, true);  // derives the pixel bounds from the new size
            currentWidth = width;
            currentHeight = height;
        }

        // Zoom: the capture rectangle is scaled up to fill the whole frame.
        std::vector<unsigned char> zoomed(frame.size());
        zoom.applyChanges(frame.data(), zoomed.data());

        // Flip: the rows in reverse order, in place. Status 200 means done.
        long status = 0;
        if (!ktuRGB24DataUtils::flipData(zoomed.data(), width, height, &status)) {
            std::fprintf(stderr, "frame_pipeline: flipping %s failed (status %ld)\n", argv[i], status);
            return 1;
        }

        char name[32];
        std::snprintf(name, sizeof name, "/frame_%04d.bmp", i - 1);
        const std::string output = driveForm(outFolder + name);
        if (!ktuBMPUtils::saveAsBMP(width, height, toAligned(zoomed, width, height).data(), output.c_str())) {
            std::fprintf(stderr, "frame_pipeline: cannot write %s\n", output.c_str());
            return 1;
        }
        ++written;
    }
    std::printf("%d frames written to %s\n", written, outFolder.c_str());
    return written == argc - 2 ? 0 : 1;
}
