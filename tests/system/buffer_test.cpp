// Head and tail of a buffer into a cleared fixed-size buffer.
#include <gtest/gtest.h>

#include <vector>

#include "ktuBufferUtils.h"
#include "ktuTestSupport.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(BufferUtils, HeadAndTailIntoAClearedBuffer)
{
    ktu::test::openGate();
    struct Case { unsigned int sourceSize, destinationSize; bool tail; unsigned int copied; Bytes expected; };
    const Case cases[] = {
        {10, 4, false, 4, {0, 1, 2, 3}},
        {10, 4, true, 4, {6, 7, 8, 9}},
        {3, 8, false, 3, {0, 1, 2, 0, 0, 0, 0, 0}},
        {3, 8, true, 3, {0, 1, 2, 0, 0, 0, 0, 0}},
        {5, 5, true, 5, {0, 1, 2, 3, 4}},
        {0, 3, true, 0, {0, 0, 0}},
        {4, 0, true, 0, {}},
    };
    for (const Case& c : cases) {
        Bytes source(c.sourceSize + 1);  // never empty, so its data() is never null
        for (unsigned int i = 0; i < source.size(); ++i) {
            source[i] = static_cast<unsigned char>(i);
        }
        Bytes destination(c.destinationSize + 1, 0xEE);  // one guard byte past the end
        auto copy = c.tail ? ktuBufferUtils::getEndBytes : ktuBufferUtils::getStartingBytes;
        EXPECT_EQ(copy(source.data(), c.sourceSize, destination.data(), c.destinationSize), c.copied);
        EXPECT_EQ(Bytes(destination.begin(), destination.end() - 1), c.expected);
        EXPECT_EQ(destination.back(), 0xEE);
    }
    Bytes destination(4, 0xEE);
    EXPECT_EQ(ktuBufferUtils::getStartingBytes(nullptr, 4, destination.data(), 4), 0u);
    EXPECT_EQ(ktuBufferUtils::getEndBytes(destination.data(), 4, nullptr, 4), 0u);
    EXPECT_EQ(destination, Bytes(4, 0xEE));
}

}  // namespace
