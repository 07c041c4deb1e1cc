// Picking a file through the system's dialogs for opening and saving.
#include "ktuFilePathUtils.h"
#include "ktuGuard.h"
#include "ktuPlatform.h"

namespace {

constexpr uint32_t kFileBuffer = 260;
// Read-only box ticked (1), path must exist (2048), file must exist (4096).
constexpr unsigned int kDialogFlags = 0x1801;

bool pick(bool save, char* fileName, const char* filter, const char* title, const char* defaultExt, void* owner)
{
    ktu::require(fileName)[0] = '\0';
    ktuFilePickRequest request{};
    request.save = save ? 1 : 0;
    request.owner = owner;
    request.filter = filter;
    request.filterIndex = 1;
    request.title = title;
    request.defaultExt = defaultExt;
    request.flags = kDialogFlags;
    if (!ktu::platform::ops().ui.pickFile(&request, fileName, kFileBuffer)) {
        fileName[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace

bool ktuFilePathUtils::getOpenFileName(char* fileName, const char* filter, const char* title, void* owner)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::getClipFileName()"), false, [&] {
        return pick(false, fileName, filter, title, "*", owner);
    });
}

bool ktuFilePathUtils::getSaveFileName(char* fileName, const char* filter, const char* title,
                                       const char* defaultExt, void* owner)
{
    return ktu::enter(ktu::site(ktu::kModKSUtility, "ktuFilePathUtils::getSaveFileName()"), false, [&] {
        return pick(true, fileName, filter, title, defaultExt, owner);
    });
}
