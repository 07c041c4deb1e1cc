// Network peer descriptions and the defaults and copies of the network records.
#include "ktuKSNetworkInitInfo.h"

#include <cstring>

#include "ktuGuard.h"

namespace {

constexpr uint32_t kPortWindow = 5;
constexpr int32_t kEventRecordTag = 36;
constexpr double kDefaultDoubleValue = 9.0;
constexpr unsigned char kLoopback[4] = {127, 0, 0, 1};

// "NA" and its NUL; the bytes behind them keep their content.
template <std::size_t N>
void setNA(char (&text)[N])
{
    static_assert(N >= 3, "a text holds at least \"NA\"");
    text[0] = 'N';
    text[1] = 'A';
    text[2] = '\0';
}

template <std::size_t Count, std::size_t N>
void setNA(char (&texts)[Count][N])
{
    for (auto& text : texts) {
        setNA(text);
    }
}

template <class T, std::size_t N>
void zero(T (&values)[N])
{
    for (auto& value : values) {
        value = T{};
    }
}

// Up to and including the NUL; a text that fills its array without one is
// cut to N - 1 characters and ended.
template <std::size_t N>
void copyText(char (&to)[N], const char (&from)[N])
{
    std::size_t n = 0;
    while (n < N && from[n] != '\0') {
        ++n;
    }
    if (n < N) {
        std::memmove(to, from, n + 1);
    } else {
        std::memmove(to, from, N - 1);
        to[N - 1] = '\0';
    }
}

template <std::size_t Count, std::size_t N>
void copyText(char (&to)[Count][N], const char (&from)[Count][N])
{
    for (std::size_t i = 0; i < Count; ++i) {
        copyText(to[i], from[i]);
    }
}

template <class T, std::size_t N>
void copyValues(T (&to)[N], const T (&from)[N])
{
    for (std::size_t i = 0; i < N; ++i) {
        to[i] = from[i];
    }
}

}  // namespace

// --- the records' assignments: whole records, padding included --------------

#define KTU_RECORD_ASSIGNMENT(Record)                                    \
    Record& Record::operator=(const Record& other)                       \
    {                                                                    \
        if (this != &other) {                                            \
            std::memcpy(static_cast<void*>(this), &other, sizeof(Record)); \
        }                                                                \
        return *this;                                                    \
    }

KTU_RECORD_ASSIGNMENT(iKSNetworkEventData)
KTU_RECORD_ASSIGNMENT(iKSNetworkObjectData)
KTU_RECORD_ASSIGNMENT(iKSNetworkCallBackDetails)
KTU_RECORD_ASSIGNMENT(iKSNetworkValidEntryObject)

#undef KTU_RECORD_ASSIGNMENT

// --- the peer description ------------------------------------------------------

ktuKSNetworkInitInfo::ktuKSNetworkInitInfo() : ipAddress{0, 0, 0, 0}, portNumber(0), extraValues{}, doubleValue(kDefaultDoubleValue)
{
}

ktuKSNetworkInitInfo::ktuKSNetworkInitInfo(const ktuKSNetworkInitInfo& other)
    : portNumber(other.portNumber), doubleValue(other.doubleValue)
{
    copyValues(ipAddress, other.ipAddress);
    copyValues(extraValues, other.extraValues);
}

ktuKSNetworkInitInfo& ktuKSNetworkInitInfo::operator=(const ktuKSNetworkInitInfo& other)
{
    copyValues(ipAddress, other.ipAddress);
    portNumber = other.portNumber;
    copyValues(extraValues, other.extraValues);
    doubleValue = other.doubleValue;
    return *this;
}

ktuKSNetworkInitInfo::~ktuKSNetworkInitInfo() {}

bool ktuKSNetworkInitInfo::operator==(const ktuKSNetworkInitInfo& other)
{
    const bool inWindow = other.portNumber <= portNumber && portNumber <= other.portNumber + kPortWindow;
    if (!inWindow) {
        return false;
    }
    return std::memcmp(ipAddress, other.ipAddress, sizeof ipAddress) == 0 ||
           std::memcmp(ipAddress, kLoopback, sizeof ipAddress) == 0;
}

void ktuKSNetworkInitInfo::initNetworkEventData(iKSNetworkEventData* pData)
{
    if (!ktu::gateOpen() || pData == nullptr) {
        return;
    }
    iKSNetworkEventData& d = *pData;
    setNA(d.eventId);
    zero(d.eventValues);
    d.eventFlag = 0;
    setNA(d.sourceTexts);
    d.sourceValue = 0;
    setNA(d.detailTexts);
    zero(d.detailValues);
    zero(d.measures);
    d.measureValue = 0;
    d.measureFlag = 0;
    setNA(d.noteText);
    zero(d.extraFlags);
    zero(d.extraValues);
    zero(d.extraDoubles);
    setNA(d.extraTexts);
    d.recordTag = kEventRecordTag;
    setNA(d.tailTexts);
    zero(d.firstList);
    zero(d.secondList);
    d.listValue = 0;
}

void ktuKSNetworkInitInfo::initNetworkObjectData(iKSNetworkObjectData* pData)
{
    if (!ktu::gateOpen() || pData == nullptr) {
        return;
    }
    iKSNetworkObjectData& d = *pData;
    setNA(d.objectId);
    zero(d.objectValues);
    zero(d.objectFlags);
    setNA(d.labelText);
    zero(d.labelValues);
    d.labelFlag = 0;
    d.labelValue = 0;
    zero(d.extraFlags);
    zero(d.extraValues);
    zero(d.extraDoubles);
    setNA(d.extraTexts);
    zero(d.tailValues);
    zero(d.firstList);
    zero(d.secondList);
    d.listValue = 0;
}

void ktuKSNetworkInitInfo::copyNetworkEventData(iKSNetworkEventData* pDestination, const iKSNetworkEventData* pSource)
{
    if (!ktu::gateOpen() || pDestination == nullptr || pSource == nullptr) {
        return;
    }
    iKSNetworkEventData& to = *pDestination;
    const iKSNetworkEventData& from = *pSource;
    copyText(to.eventId, from.eventId);
    copyValues(to.eventValues, from.eventValues);
    to.eventFlag = from.eventFlag;
    copyText(to.sourceTexts, from.sourceTexts);
    to.sourceValue = from.sourceValue;
    copyText(to.detailTexts, from.detailTexts);
    copyValues(to.detailValues, from.detailValues);
    copyValues(to.measures, from.measures);
    to.measureValue = from.measureValue;
    to.measureFlag = from.measureFlag;
    copyText(to.noteText, from.noteText);
    copyValues(to.extraFlags, from.extraFlags);
    copyValues(to.extraValues, from.extraValues);
    copyValues(to.extraDoubles, from.extraDoubles);
    copyText(to.extraTexts, from.extraTexts);
    to.recordTag = from.recordTag;
    copyText(to.tailTexts, from.tailTexts);
    copyValues(to.firstList, from.firstList);
    copyValues(to.secondList, from.secondList);
    to.listValue = from.listValue;
}

void ktuKSNetworkInitInfo::copyNetworkObjectData(iKSNetworkObjectData* pDestination,
                                                 const iKSNetworkObjectData* pSource)
{
    if (!ktu::gateOpen() || pDestination == nullptr || pSource == nullptr) {
        return;
    }
    iKSNetworkObjectData& to = *pDestination;
    const iKSNetworkObjectData& from = *pSource;
    copyText(to.objectId, from.objectId);
    copyValues(to.objectValues, from.objectValues);
    copyValues(to.objectFlags, from.objectFlags);
    copyText(to.labelText, from.labelText);
    copyValues(to.labelValues, from.labelValues);
    to.labelFlag = from.labelFlag;
    to.labelValue = from.labelValue;
    copyValues(to.extraFlags, from.extraFlags);
    copyValues(to.extraValues, from.extraValues);
    copyValues(to.extraDoubles, from.extraDoubles);
    copyText(to.extraTexts, from.extraTexts);
    copyValues(to.tailValues, from.tailValues);
    copyValues(to.firstList, from.firstList);
    copyValues(to.secondList, from.secondList);
    to.listValue = from.listValue;
}
