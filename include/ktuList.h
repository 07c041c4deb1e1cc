/// The abstract base of fixed-capacity slot lists.
///
/// A derived class owns the elements and is told through allocateElementsMemory
/// and deAllocateElementsMemory when the capacity changes; ktuList keeps one
/// validity flag per slot, the capacity, and a high-water mark (one more than
/// the highest slot ever marked valid since the last reset), and finds the
/// lowest slot free for reuse. No operation waits for the version handshake.
///
/// Choices made here:
/// - Copies (copy constructor, assignment) copy capacity, mark and
///   auxiliaryValue and get flags of their own, duplicated from the source;
///   no two lists ever share a flag array. Element storage is the derived
///   class's to copy.
/// - After a re-size below the mark, the mark stays, but the scans
///   (getMinUsableIndex, getValidElementsCount) stop at the capacity.
/// - A re-size that fails (the derived allocation throws, or the flags cannot
///   be had) leaves an empty list: capacity 0 and no flags.
/// - The flag operations ignore a slot at or beyond the capacity:
///   getElementValidity answers false, setElementValidity does nothing.
#pragma once
#include "ktuExport.h"

class KTU_API ktuList {
public:
    ktuList();
    ktuList(const ktuList& other);
    ktuList& operator=(const ktuList& other);
    virtual ~ktuList();

    /// For derived classes to give meaning to (ktuList never calls it).
    virtual void resetElements() = 0;

    /// The lowest slot below the mark whose flag is false; else the mark when
    /// it is below the capacity; else 0, with the log line
    /// "ktuList::getMinUsableIndex() - out of range".
    virtual unsigned int getMinUsableIndex();

    /// Called with each new capacity above 0, and before each re-size.
    virtual void allocateElementsMemory(unsigned int numberOfElements) = 0;
    virtual void deAllocateElementsMemory() = 0;

    /// Frees the flags, calls deAllocateElementsMemory, then for a capacity
    /// above 0 calls allocateElementsMemory and makes that many flags, all
    /// false. The mark is not touched.
    void setNumberOfElements(unsigned int numberOfElements);

    unsigned int getTotalNumberOfUsedElements();
    unsigned int getTotalNumberElements();

    bool getElementValidity(unsigned int index);
    /// Stores the flag; a valid slot at or above the mark raises the mark to
    /// index + 1. Marking a slot invalid never lowers the mark.
    void setElementValidity(unsigned int index, bool valid);

    /// Drops the mark to 0; the flags keep their values.
    void resetList();

    /// The number of valid slots below the mark.
    unsigned int getValidElementsCount();

protected:
    void initVariables();
    void deAllocateFlagsMemory();

    unsigned int totalNumberOfUsedElements;
    unsigned int totalNumberElements;
    int auxiliaryValue;
    bool* pFlags;
};
