// Hooks through which an application (or a test) replaces the library's
// interactive pieces. Installing a hook is optional: without one, the system's
// own message box is shown (on Linux: caption and text go to standard error).
#pragma once
#include "ktuExport.h"

extern "C" {

// Answers one message box in place of the system. `style` carries the
// Windows MB_* flags; the return value is what the box would have returned
// (IDOK is 1).
typedef int (*ktuMessageBoxHandler)(void* context, void* owner, const char* text, const char* caption,
                                    unsigned int style);

// Installs `handler` for every message box the library shows; a null handler
// restores the default. `context` is passed back on every call.
KTU_API void ktuSetMessageBoxHandler(ktuMessageBoxHandler handler, void* context);

}  // extern "C"
