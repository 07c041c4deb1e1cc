/// Hooks through which an application (or a test) replaces the library's
/// interactive pieces. Installing a hook is optional: without one, the system's
/// own message box is shown (on Linux: caption and text go to standard error).
#pragma once
#include "ktuExport.h"

extern "C" {

/// Answers one message box in place of the system. `style` carries the
/// Windows MB_* flags; the return value is what the box would have returned
/// (IDOK is 1).
typedef int (*ktuMessageBoxHandler)(void* context, void* owner, const char* text, const char* caption,
                                    unsigned int style);

/// Installs `handler` for every message box the library shows; a null handler
/// restores the default. `context` is passed back on every call.
KTU_API void ktuSetMessageBoxHandler(ktuMessageBoxHandler handler, void* context);

/// What a file dialog is asked to show. `filter` holds pairs of a description
/// and a pattern list ("Bitmaps\0*.bmp;*.dib\0All files\0*.*\0\0");
/// `filterIndex` counts the pairs from 1 and names the one to preselect;
/// `flags` carries the Windows OFN_* flags (1 read-only box ticked, 2048 path
/// must exist, 4096 file must exist); `defaultExt` (without dot) is appended
/// to a typed name that has no extension.
typedef struct ktuFilePickRequest {
    int save;                 ///< 0: a dialog for opening, 1: for saving
    void* owner;              ///< owner window, or null
    const char* filter;       ///< may be null: every file is offered
    unsigned int filterIndex; ///< the filter pair to preselect, from 1
    const char* title;        ///< may be null: the dialog's own title
    const char* defaultExt;   ///< may be null
    unsigned int flags;       ///< OFN_* flags, see above
} ktuFilePickRequest;

/// Answers one file dialog in place of the system: writes the chosen path
/// (zero-terminated, at most `size` bytes with its terminator) to `path` and
/// returns nonzero, or returns 0 when no file was chosen.
typedef int (*ktuFilePickerHandler)(void* context, const ktuFilePickRequest* request, char* path,
                                    unsigned int size);

/// Installs `handler` for every file dialog the library shows; a null handler
/// restores the default (the system's dialogs; on Linux the desktop's file
/// chooser through zenity when a display is present).
KTU_API void ktuSetFilePickerHandler(ktuFilePickerHandler handler, void* context);

}  // extern "C"
