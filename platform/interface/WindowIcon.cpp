/*
 * The window's icon, as the window manager shows it: the program's own
 * large icon from its resources when the window is made (on the thread
 * that makes it), or one the program sets (on any thread holding the
 * window's lock). The display thread takes a copy of the pixels. At the
 * desktop's scale the icon is blown up as the window's content is, so
 * that the window manager has it at the size it shows the window's.
 */
#include <Window.h>

#include <vector>

#include <Bitmap.h>
#include <Resources.h>
#include <private/AppPrivate.h>
#include <private/BitmapPainter.h>
#include <private/Display.h>
#include <private/ResourceData.h>

void
BWindow::_SetApplicationIcon()
{
	// The window shows the program's own large icon, when it has one.
	BResources* resources = BPrivate::AppResources();
	if (resources == nullptr)
		return;
	size_t size = 0;
	const void* data = resources->LoadResource('ICON', 1, &size);
	if (data == nullptr || size != 32 * 32)
		return;
	BBitmap icon(BRect(0, 0, 31, 31), B_CMAP8);
	if (icon.InitCheck() != B_OK)
		return;
	icon.SetBits(data, int32(size), 0, B_CMAP8);
	SetIcon(&icon);
}

void
BWindow::SetIcon(const BBitmap* icon)
{
	BPrivate::Display* display = _Display();
	if (icon == nullptr || !icon->IsValid() || display == nullptr)
		return;
	BRect bounds = icon->Bounds();
	// Window managers take icons of whole sizes: at a fractional scale the
	// icon is blown up by the next whole factor.
	int32 scale = _Scale().Ceiling();
	int32 width = (int32(bounds.Width()) + 1) * scale;
	int32 height = (int32(bounds.Height()) + 1) * scale;
	std::vector<uint32> pixels(size_t(width) * height, 0);
	BPrivate::Canvas canvas;
	canvas.pixels = pixels.data();
	canvas.width = width;
	canvas.height = height;
	canvas.stride = width;
	BPrivate::DrawBitmap(canvas, canvas.Bounds(), *icon, 0, 0, scale);
	// What the painter left untouched stays transparent (alpha 0).
	display->SetIcon(fDisplayId, std::move(pixels), width, height);
}
