// The common file dialogs (comdlg32).
#include "ktuPlatform.h"  // the Windows headers, in the order Winsock needs

#include <commdlg.h>

#include <cstddef>
#include <cstring>

namespace ktu {
namespace platform {

#if !defined(_WIN64)
// The record's form up to lpTemplateName: 76 bytes on 32-bit Windows.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76,
              "the dialog record is used in its 76-byte form");
#endif

// The record is zeroed and filled from the request; every other field stays
// zero or null, so the dialog starts in the platform's default folder and
// has no file title buffer and no custom filter.
bool showFileDialog(const ktuFilePickRequest* request, char* path, uint32_t size)
{
    if (request == nullptr || path == nullptr) {
        return false;
    }
    OPENFILENAMEA record;
    std::memset(&record, 0, sizeof record);
    record.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    record.hwndOwner = static_cast<HWND>(request->owner);
    record.lpstrFilter = request->filter;
    record.lpstrCustomFilter = nullptr;
    record.nFilterIndex = request->filterIndex;
    record.lpstrFile = path;
    record.nMaxFile = size;
    record.lpstrFileTitle = nullptr;
    record.lpstrInitialDir = nullptr;
    record.lpstrTitle = request->title;
    record.Flags = request->flags;
    record.lpstrDefExt = request->defaultExt;
    BOOL chosen = request->save != 0 ? GetSaveFileNameA(&record) : GetOpenFileNameA(&record);
    return chosen != 0;
}

}  // namespace platform
}  // namespace ktu
