// The icon and the picture, read from the bytes built into the program, so the same code serves the
// GTK and the Windows build.
#pragma once

#include <wx/bitmap.h>
#include <wx/bmpbndl.h>
#include <wx/icon.h>
#include <wx/iconbndl.h>

// Icon 128 in both of its sizes (32x32 and 16x16), for a window's title bar and the taskbar.
wxIconBundle LoadAppIcons();
// Icon 128 in the size nearest to edge pixels; an invalid icon when none could be read.
wxIcon LoadAppIcon(int edge);
// Bitmap 129, the module with the arrow at its button and LED.
wxBitmap LoadModulePicture();
// The image a window template's picture or icon control shows: 128 gives the 32x32 icon (the size a
// dialog's icon control shows), 129 the module picture; any other identifier an empty bundle.
wxBitmapBundle LoadResourceImage(int resourceId);
