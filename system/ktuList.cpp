// The slot list base: validity flags, capacity and high-water mark.
#include "ktuList.h"

#include <cstring>
#include <new>

#include "ktuGuard.h"

namespace {

// Both scans stop at the capacity, also when a re-size left the mark above it.
unsigned int scanLimit(unsigned int mark, unsigned int capacity)
{
    return mark < capacity ? mark : capacity;
}

// A flag array of `count` bytes holding `source` (all false when null).
bool* makeFlags(unsigned int count, const bool* source)
{
    if (count == 0) {
        return nullptr;
    }
    bool* flags = new bool[count];
    if (source != nullptr) {
        std::memcpy(flags, source, count);
    } else {
        std::memset(flags, 0, count);
    }
    return flags;
}

}  // namespace

ktuList::ktuList()
{
    ktu::guarded(ktu::site(ktu::kModCommon, "ktuList::ktuList()"), [&] { initVariables(); });
}

ktuList::ktuList(const ktuList& other)
    : totalNumberOfUsedElements(other.totalNumberOfUsedElements),
      totalNumberElements(other.totalNumberElements),
      auxiliaryValue(other.auxiliaryValue),
      pFlags(nullptr)
{
    pFlags = makeFlags(other.pFlags != nullptr ? totalNumberElements : 0, other.pFlags);
}

ktuList& ktuList::operator=(const ktuList& other)
{
    if (this == &other) {
        return *this;
    }
    bool* flags = makeFlags(other.pFlags != nullptr ? other.totalNumberElements : 0, other.pFlags);
    delete[] pFlags;
    pFlags = flags;
    totalNumberOfUsedElements = other.totalNumberOfUsedElements;
    totalNumberElements = other.totalNumberElements;
    auxiliaryValue = other.auxiliaryValue;
    return *this;
}

ktuList::~ktuList()
{
    ktu::guarded(ktu::site(ktu::kModCommon, "ktuList::~ktuList()"), [&] { deAllocateFlagsMemory(); });
}

void ktuList::initVariables()
{
    totalNumberOfUsedElements = 0;
    totalNumberElements = 0;
    auxiliaryValue = 0;
    pFlags = nullptr;
}

void ktuList::deAllocateFlagsMemory()
{
    ktu::guarded(ktu::site(ktu::kModCommon, "ktuList::deAllocateFlagsMemory()"), [&] {
        delete[] pFlags;
        pFlags = nullptr;
    });
}

void ktuList::setNumberOfElements(unsigned int numberOfElements)
{
    ktu::guarded(ktu::site(ktu::kModCommon, "ktuList::setNumberOfElements()"), [&] {
        deAllocateFlagsMemory();
        deAllocateElementsMemory();
        totalNumberElements = numberOfElements;
        if (numberOfElements == 0) {
            return;
        }
        allocateElementsMemory(numberOfElements);
        pFlags = makeFlags(numberOfElements, nullptr);
    }, [&] {
        // A failed re-size leaves an empty list rather than a capacity
        // without flags.
        delete[] pFlags;
        pFlags = nullptr;
        totalNumberElements = 0;
    });
}

unsigned int ktuList::getTotalNumberOfUsedElements()
{
    return totalNumberOfUsedElements;
}

unsigned int ktuList::getTotalNumberElements()
{
    return totalNumberElements;
}

unsigned int ktuList::getMinUsableIndex()
{
    return ktu::guarded(ktu::site(ktu::kModCommon, "ktuList::getMinUsableIndex()"), [&]() -> unsigned int {
        unsigned int limit = pFlags != nullptr ? scanLimit(totalNumberOfUsedElements, totalNumberElements) : 0;
        for (unsigned int i = 0; i < limit; ++i) {
            if (!pFlags[i]) {
                return i;
            }
        }
        if (totalNumberOfUsedElements < totalNumberElements) {
            return totalNumberOfUsedElements;
        }
        ktuLogUtils::writeLog(ktu::kModCommon, "ktuList::getMinUsableIndex() - out of range", 0);
        return 0;
    }, 0u);
}

bool ktuList::getElementValidity(unsigned int index)
{
    return pFlags != nullptr && index < totalNumberElements && pFlags[index];
}

void ktuList::setElementValidity(unsigned int index, bool valid)
{
    if (pFlags == nullptr || index >= totalNumberElements) {
        return;
    }
    pFlags[index] = valid;
    if (valid && index + 1 >= totalNumberOfUsedElements) {
        totalNumberOfUsedElements = index + 1;
    }
}

void ktuList::resetList()
{
    totalNumberOfUsedElements = 0;
}

unsigned int ktuList::getValidElementsCount()
{
    return ktu::guarded(ktu::site(ktu::kModCommon, "ktuList::getValidElementsCount()"), [&]() -> unsigned int {
        unsigned int limit = pFlags != nullptr ? scanLimit(totalNumberOfUsedElements, totalNumberElements) : 0;
        unsigned int count = 0;
        for (unsigned int i = 0; i < limit; ++i) {
            count += pFlags[i] ? 1 : 0;
        }
        return count;
    }, 0u);
}
