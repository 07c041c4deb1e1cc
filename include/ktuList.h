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
///
/// Faults inside the scans and the re-size are logged at level 0 with module
/// "Common".
#pragma once
#include "ktuExport.h"

class KTU_API ktuList {
public:
    ktuList();
    /// Copy and assignment take capacity, mark and auxiliaryValue, with flags
    /// of their own duplicated from `other`; no handshake is asked.
    /// @{
    ktuList(const ktuList& other);
    ktuList& operator=(const ktuList& other);
    /// @}
    virtual ~ktuList();

    /// For derived classes to give meaning to (ktuList never calls it).
    virtual void resetElements() = 0;

    /// The lowest slot below the mark whose flag is false; else the mark when
    /// it is below the capacity; else 0, with the log line
    /// "ktuList::getMinUsableIndex() - out of range".
    virtual unsigned int getMinUsableIndex();

    /// Called with each new capacity above 0, and before each re-size.
    virtual void allocateElementsMemory(unsigned int numberOfElements) = 0;
    /// Called before each re-size, for the derived class to release its
    /// element storage (the destructor does not call it).
    virtual void deAllocateElementsMemory() = 0;

    /// Frees the flags, calls deAllocateElementsMemory, then for a capacity
    /// above 0 calls allocateElementsMemory and makes that many flags, all
    /// false. The mark is not touched.
    void setNumberOfElements(unsigned int numberOfElements);

    /// The high-water mark: one more than the highest slot marked valid since
    /// the last resetList.
    unsigned int getTotalNumberOfUsedElements();
    /// The capacity: the number of slots.
    unsigned int getTotalNumberElements();

    /// The flag of slot `index`; false for a slot at or beyond the capacity.
    bool getElementValidity(unsigned int index);
    /// Stores the flag; a valid slot at or above the mark raises the mark to
    /// index + 1. Marking a slot invalid never lowers the mark.
    void setElementValidity(unsigned int index, bool valid);

    /// Drops the mark to 0; the flags keep their values.
    void resetList();

    /// The number of valid slots below the mark.
    unsigned int getValidElementsCount();

protected:
    /// Capacity, mark and auxiliaryValue 0, no flags (frees nothing).
    void initVariables();
    /// Frees the flags, if any, and forgets them.
    void deAllocateFlagsMemory();

    unsigned int totalNumberOfUsedElements;  ///< the high-water mark
    unsigned int totalNumberElements;        ///< the capacity
    int auxiliaryValue;                      ///< for derived classes; copied, never read
    bool* pFlags;                            ///< one validity flag per slot, owned by the list
};
