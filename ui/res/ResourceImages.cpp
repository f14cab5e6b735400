#include "ResourceImages.h"

#include "EmbeddedImages.h"
#include "resource.h"

#include <wx/imagbmp.h>
#include <wx/image.h>
#include <wx/mstream.h>

namespace {

// Only the BMP reader is registered by default; the ICO reader lives in the same core library.
void EnsureIcoHandler() {
    if (wxImage::FindHandler(wxBITMAP_TYPE_ICO) == nullptr)
        wxImage::AddHandler(new wxICOHandler);
}

wxImage ReadIconImage(int index) {
    EnsureIcoHandler();
    wxMemoryInputStream stream(embedded_images::kAppIcon.data, embedded_images::kAppIcon.size);
    wxImage image;
    if (!image.LoadFile(stream, wxBITMAP_TYPE_ICO, index))
        return wxImage();
    return image;
}

int IconImageCount() {
    EnsureIcoHandler();
    wxMemoryInputStream stream(embedded_images::kAppIcon.data, embedded_images::kAppIcon.size);
    return wxImage::GetImageCount(stream, wxBITMAP_TYPE_ICO);
}

wxIcon IconFromImage(const wxImage& image) {
    wxIcon icon;
    if (image.IsOk())
        icon.CopyFromBitmap(wxBitmap(image));
    return icon;
}

} // namespace

wxIconBundle LoadAppIcons() {
    wxIconBundle bundle;
    const int count = IconImageCount();
    for (int index = 0; index < count; ++index) {
        const wxIcon icon = IconFromImage(ReadIconImage(index));
        if (icon.IsOk())
            bundle.AddIcon(icon);
    }
    return bundle;
}

wxIcon LoadAppIcon(int edge) {
    const wxIconBundle bundle = LoadAppIcons();
    if (bundle.IsEmpty())
        return wxIcon();
    return bundle.GetIcon(wxSize(edge, edge), wxIconBundle::FALLBACK_NEAREST_LARGER);
}

wxBitmap LoadModulePicture() {
    wxMemoryInputStream stream(embedded_images::kModuleBitmap.data, embedded_images::kModuleBitmap.size);
    wxImage image;
    if (!image.LoadFile(stream, wxBITMAP_TYPE_BMP))
        return wxBitmap();
    return wxBitmap(image);
}

wxBitmapBundle LoadResourceImage(int resourceId) {
    wxBitmap bitmap;
    if (resourceId == IDR_MAINFRAME) {
        const wxIcon icon = LoadAppIcon(32);
        if (icon.IsOk())
            bitmap.CopyFromIcon(icon);
    } else if (resourceId == IDB_MODULE) {
        bitmap = LoadModulePicture();
    }
    return bitmap.IsOk() ? wxBitmapBundle(bitmap) : wxBitmapBundle();
}
