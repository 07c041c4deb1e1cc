// The slot list base, through a derived list recording its calls, and the head and tail copies of a buffer.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ktuBufferUtils.h"
#include "ktuList.h"
#include "ktuTestSupport.h"
#include "systemTestSupport.h"

namespace {

class RecordingList : public ktuList {
public:
    void resetElements() override {}
    void allocateElementsMemory(unsigned int n) override
    {
        calls.push_back("allocate " + std::to_string(n));
        if (failAllocation) throw std::runtime_error("no room");
    }
    void deAllocateElementsMemory() override { calls.push_back("release"); }
    int& aux() { return auxiliaryValue; }

    std::vector<std::string> calls;
    bool failAllocation = false;
};

using Calls = std::vector<std::string>;

std::string lastLogText() { return ktu::test::desktopLogTexts().back(); }

TEST(List, LowestFreeSlotMarkResizingAndFailedResizing)
{
    ktu::test::openGate();
    RecordingList list;
    EXPECT_EQ(list.getMinUsableIndex(), 0u);  // empty
    EXPECT_EQ(lastLogText(), "Common-ktuList::getMinUsableIndex() - out of range");
    list.setNumberOfElements(4);
    EXPECT_EQ(list.calls, (Calls{"release", "allocate 4"}));
    for (unsigned int i : {0, 1}) list.setElementValidity(i, true);
    EXPECT_EQ(list.getMinUsableIndex(), 2u);
    list.setElementValidity(0, false);
    EXPECT_EQ(list.getMinUsableIndex(), 0u);
    EXPECT_EQ(list.getTotalNumberOfUsedElements(), 2u);  // marking invalid never lowers it

    list.setElementValidity(3, true);
    EXPECT_EQ(list.getTotalNumberOfUsedElements(), 4u);
    EXPECT_EQ(list.getValidElementsCount(), 2u);
    for (unsigned int i : {0, 2}) list.setElementValidity(i, true);
    std::size_t before = ktu::test::desktopLogTexts().size();
    EXPECT_EQ(list.getMinUsableIndex(), 0u);  // full
    EXPECT_EQ(ktu::test::desktopLogTexts().size(), before + 1);

    list.resetList();  // only the mark drops
    EXPECT_EQ(list.getValidElementsCount(), 0u);
    list.setElementValidity(1, true);
    EXPECT_EQ(list.getValidElementsCount(), 2u);  // slot 0 still reads valid

    list.setNumberOfElements(8);
    for (unsigned int i = 0; i < 6; ++i) list.setElementValidity(i, true);
    list.setNumberOfElements(3);  // below the mark of 6
    EXPECT_EQ(list.getTotalNumberOfUsedElements(), 6u);
    EXPECT_EQ(list.getValidElementsCount(), 0u);  // fresh flags; the scans stop at 3
    for (unsigned int i = 0; i < 3; ++i) list.setElementValidity(i, true);
    EXPECT_EQ(list.getValidElementsCount(), 3u);
    list.setElementValidity(7, true);  // beyond the capacity: ignored
    EXPECT_FALSE(list.getElementValidity(7));

    list.calls.clear();
    list.setNumberOfElements(0);
    EXPECT_EQ(list.calls, (Calls{"release"}));
    EXPECT_FALSE(list.getElementValidity(0));

    list.setNumberOfElements(4);
    list.failAllocation = true;
    list.setNumberOfElements(10);  // a failed re-size leaves an empty list
    EXPECT_EQ(lastLogText(), "Common-ktuList::setNumberOfElements()");
    EXPECT_EQ(list.getTotalNumberElements(), 0u);
    list.setElementValidity(2, true);
    EXPECT_EQ(list.getValidElementsCount(), 0u);
}

TEST(List, CopiesOwnTheirFlags)
{
    ktu::test::openGate();
    RecordingList source;
    source.setNumberOfElements(4);
    source.setElementValidity(1, true);
    source.aux() = 77;
    RecordingList copy(source);
    RecordingList assigned;
    assigned.setNumberOfElements(2);
    assigned = source;
    for (RecordingList* list : {&copy, &assigned}) {
        EXPECT_EQ(list->getTotalNumberElements(), 4u);
        EXPECT_EQ(list->getTotalNumberOfUsedElements(), 2u);
        EXPECT_EQ(list->aux(), 77);
        EXPECT_TRUE(list->getElementValidity(1));
    }
    source.setElementValidity(1, false);
    copy.setElementValidity(2, true);
    EXPECT_TRUE(assigned.getElementValidity(1));
    EXPECT_FALSE(source.getElementValidity(2));
}

using Bytes = std::vector<unsigned char>;

TEST(BufferUtils, HeadAndTailIntoAClearedBuffer)
{
    ktu::test::openGate();
    struct Case { unsigned int sourceSize, destinationSize; bool tail; unsigned int copied; Bytes expected; };
    const Case cases[] = {
        {10, 4, false, 4, {0, 1, 2, 3}}, {10, 4, true, 4, {6, 7, 8, 9}}, {3, 8, false, 3, {0, 1, 2, 0, 0, 0, 0, 0}},
        {3, 8, true, 3, {0, 1, 2, 0, 0, 0, 0, 0}}, {5, 5, true, 5, {0, 1, 2, 3, 4}}, {0, 3, true, 0, {0, 0, 0}},
        {4, 0, true, 0, {}},
    };
    for (const Case& c : cases) {
        Bytes source(c.sourceSize + 1);  // never empty, so its data() is never null
        for (unsigned int i = 0; i < source.size(); ++i) source[i] = static_cast<unsigned char>(i);
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
