// The slot list base, driven through a small derived list that records the
// calls it gets.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

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
        if (failAllocation) {
            throw std::runtime_error("no room");
        }
    }
    void deAllocateElementsMemory() override { calls.push_back("release"); }

    void setMark(unsigned int mark) { totalNumberOfUsedElements = mark; }
    int aux() const { return auxiliaryValue; }
    void setAux(int value) { auxiliaryValue = value; }

    std::vector<std::string> calls;
    bool failAllocation = false;
};

std::string lastLogText()
{
    auto texts = ktu::test::desktopLogTexts();
    return texts.empty() ? std::string() : texts.back();
}

class ListTest : public ::testing::Test {
protected:
    void SetUp() override { ktu::test::openGate(); }
};

TEST_F(ListTest, NewListIsEmptyAndFull)
{
    RecordingList list;
    EXPECT_EQ(list.getTotalNumberElements(), 0u);
    EXPECT_EQ(list.getTotalNumberOfUsedElements(), 0u);
    EXPECT_EQ(list.getMinUsableIndex(), 0u);
    EXPECT_EQ(lastLogText(), "Common-ktuList::getMinUsableIndex() - out of range");
    EXPECT_EQ(list.getValidElementsCount(), 0u);
    EXPECT_FALSE(list.getElementValidity(0));
}

TEST_F(ListTest, LowestFreeSlotAndMark)
{
    RecordingList list;
    list.setNumberOfElements(4);
    EXPECT_EQ(list.calls, (std::vector<std::string>{"release", "allocate 4"}));
    for (unsigned int i = 0; i < 4; ++i) {
        EXPECT_FALSE(list.getElementValidity(i));
    }
    EXPECT_EQ(list.getMinUsableIndex(), 0u);
    list.setElementValidity(0, true);
    list.setElementValidity(1, true);
    EXPECT_EQ(list.getMinUsableIndex(), 2u);
    list.setElementValidity(0, false);
    EXPECT_EQ(list.getMinUsableIndex(), 0u);
    EXPECT_EQ(list.getTotalNumberOfUsedElements(), 2u);  // marking invalid never lowers it

    RecordingList last;
    last.setNumberOfElements(4);
    last.setElementValidity(3, true);
    EXPECT_EQ(last.getTotalNumberOfUsedElements(), 4u);
    EXPECT_EQ(last.getMinUsableIndex(), 0u);
    EXPECT_EQ(last.getValidElementsCount(), 1u);
    for (unsigned int i = 0; i < 3; ++i) {
        last.setElementValidity(i, true);
    }
    std::size_t before = ktu::test::desktopLogTexts().size();
    EXPECT_EQ(last.getMinUsableIndex(), 0u);  // full
    EXPECT_EQ(ktu::test::desktopLogTexts().size(), before + 1);
}

TEST_F(ListTest, ResetDropsOnlyTheMark)
{
    RecordingList list;
    list.setNumberOfElements(4);
    for (unsigned int i = 0; i < 3; ++i) {
        list.setElementValidity(i, true);
    }
    list.resetList();
    EXPECT_EQ(list.getValidElementsCount(), 0u);
    list.setElementValidity(1, true);
    EXPECT_EQ(list.getValidElementsCount(), 2u);  // slot 0 still reads valid
}

TEST_F(ListTest, ResizingReplacesFlagsAndKeepsTheMark)
{
    RecordingList list;
    list.setNumberOfElements(8);
    for (unsigned int i = 0; i < 6; ++i) {
        list.setElementValidity(i, true);
    }
    list.calls.clear();
    list.setNumberOfElements(3);  // below the mark of 6
    EXPECT_EQ(list.calls, (std::vector<std::string>{"release", "allocate 3"}));
    EXPECT_EQ(list.getTotalNumberOfUsedElements(), 6u);
    EXPECT_EQ(list.getValidElementsCount(), 0u);  // fresh flags, scans stop at 3
    EXPECT_EQ(list.getMinUsableIndex(), 0u);
    for (unsigned int i = 0; i < 3; ++i) {
        list.setElementValidity(i, true);
    }
    EXPECT_EQ(list.getValidElementsCount(), 3u);
    list.setElementValidity(7, true);  // beyond the capacity: ignored
    EXPECT_FALSE(list.getElementValidity(7));
    EXPECT_EQ(list.getTotalNumberOfUsedElements(), 6u);

    list.calls.clear();
    list.setNumberOfElements(0);
    EXPECT_EQ(list.calls, (std::vector<std::string>{"release"}));
    EXPECT_EQ(list.getTotalNumberElements(), 0u);
    EXPECT_FALSE(list.getElementValidity(0));
}

TEST_F(ListTest, FailedResizeLeavesAnEmptyList)
{
    RecordingList list;
    list.setNumberOfElements(4);
    list.failAllocation = true;
    list.setNumberOfElements(10);
    EXPECT_EQ(lastLogText(), "Common-ktuList::setNumberOfElements()");
    EXPECT_EQ(list.getTotalNumberElements(), 0u);
    list.setElementValidity(2, true);
    EXPECT_FALSE(list.getElementValidity(2));
    EXPECT_EQ(list.getValidElementsCount(), 0u);
}

TEST_F(ListTest, CopiesOwnTheirFlags)
{
    RecordingList source;
    source.setNumberOfElements(4);
    source.setElementValidity(1, true);
    source.setAux(77);

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
    // Changing one list leaves the others as they were.
    source.setElementValidity(1, false);
    copy.setElementValidity(2, true);
    EXPECT_TRUE(assigned.getElementValidity(1));
    EXPECT_FALSE(assigned.getElementValidity(2));
    EXPECT_FALSE(source.getElementValidity(2));
    assigned = assigned;
    EXPECT_TRUE(assigned.getElementValidity(1));
}

}  // namespace
