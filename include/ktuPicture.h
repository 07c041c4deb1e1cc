/// @file
/// Pictures and drawing surfaces.
///
/// On Windows a picture is the system's OLE Automation IPicture, a device
/// context is an HDC and a window an HWND; this header only makes sure the
/// system declarations are present.
///
/// Elsewhere the library offers stand-ins with the same names and the members
/// that ktuBMPUtils uses:
///   - ktuSurface (HDC): a 24-bit raster owned by the caller, which the
///     picture renders into;
///   - ktuWindow (HWND, see ktuWinTypes.h): the client rectangle of the
///     window that a drawing belongs to;
///   - IPicture: a decoded picture with a reference count, measured in
///     HIMETRIC units (0.01 mm), rendered by nearest-neighbour sampling.
#pragma once

// The declarations themselves are in ktuWinTypes.h, with the other Windows
// types of the library's signatures (the platform seam includes that one).
#include "ktuWinTypes.h"
