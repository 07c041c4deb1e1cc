// The table in force and the hooks that wrap the platform's interactive parts.
#include "ktuHostHooks.h"
#include "ktuPlatform.h"

namespace ktu {
namespace platform {
namespace {

ktuMessageBoxHandler g_messageBoxHandler = nullptr;
void* g_messageBoxContext = nullptr;
ktuFilePickerHandler g_filePickerHandler = nullptr;
void* g_filePickerContext = nullptr;

Ops buildSystemOps()
{
    Ops table{};
    table.fs = makeFileSystemOps();
    table.fs.appendText = appendTextToFile;
    table.clock = makeClockOps();
    table.ui = makeUiOps();
    table.ui.pickFile = showFileDialog;
    table.registry = makeRegistryOps();
    table.profile = makeProfileOps();
    table.process = makeProcessOps();
    table.socket = makeSocketOps();
    table.serial = makeSerialOps();
    table.picture = makePictureOps();
    return table;
}

// The installed handler, when there is one, answers instead of the system.
int hookedMessageBox(void* owner, const char* text, const char* caption, unsigned int style)
{
    if (g_messageBoxHandler != nullptr) {
        return g_messageBoxHandler(g_messageBoxContext, owner, text, caption, style);
    }
    return systemOps().ui.messageBox(owner, text, caption, style);
}

bool hookedPickFile(const ktuFilePickRequest* request, char* path, uint32_t size)
{
    if (g_filePickerHandler != nullptr) {
        bool chosen = g_filePickerHandler(g_filePickerContext, request, path, size) != 0;
        if (size > 0) {
            path[size - 1] = '\0';
        }
        return chosen;
    }
    return systemOps().ui.pickFile(request, path, size);
}

Ops buildInitialOps()
{
    Ops table = systemOps();
    table.ui.messageBox = hookedMessageBox;
    table.ui.pickFile = hookedPickFile;
    return table;
}

}  // namespace

const Ops& systemOps()
{
    static const Ops table = buildSystemOps();
    return table;
}

Ops& ops()
{
    static Ops table = buildInitialOps();
    return table;
}

}  // namespace platform
}  // namespace ktu

extern "C" void ktuSetMessageBoxHandler(ktuMessageBoxHandler handler, void* context)
{
    ktu::platform::g_messageBoxHandler = handler;
    ktu::platform::g_messageBoxContext = context;
}

extern "C" void ktuSetFilePickerHandler(ktuFilePickerHandler handler, void* context)
{
    ktu::platform::g_filePickerHandler = handler;
    ktu::platform::g_filePickerContext = context;
}
