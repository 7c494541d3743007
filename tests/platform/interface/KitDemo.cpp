/*
 * A small program on the real display back end, for looking at the kits'
 * drawing by eye (and for the test that starts it without any display):
 * coloured views, clipping, a tiled bitmap, lines, a triangle and text.
 * Closing the window ends it.
 */
#include <cstring>

#include <Application.h>
#include <Bitmap.h>
#include <View.h>
#include <Window.h>

namespace {

class DemoView : public BView {
public:
	DemoView(BRect frame)
		:
		BView(frame, "demo", B_FOLLOW_ALL_SIDES, B_WILL_DRAW | B_NAVIGABLE)
	{
		SetViewColor(255, 255, 255);
	}

	void AttachedToWindow() override
	{
		BBitmap checker(BRect(0, 0, 7, 7), B_RGB32);
		for (int32 y = 0; y < 8; y++) {
			uint32* row = reinterpret_cast<uint32*>(
				static_cast<uint8*>(checker.Bits()) + y * checker.BytesPerRow());
			for (int32 x = 0; x < 8; x++)
				row[x] = ((x / 4 + y / 4) % 2) != 0 ? 0xffd0d0ffu : 0xffffffffu;
		}
		SetViewBitmap(&checker);
	}

	void Draw(BRect) override
	{
		SetHighColor(205, 205, 205);
		FillRect(BRect(0, 0, 42, Bounds().bottom));
		SetHighColor(0, 0, 0);
		BFont font;
		GetFont(&font);
		float width = StringWidth("Volume:");
		DrawString("Volume:", BPoint(38 - width, 23));
		width = StringWidth("Note:");
		DrawString("Note:", BPoint(38 - width, 53));
		StrokeRect(BRect(50, 10, 120, 28));
		DrawString("Unity", BPoint(56, 23));
		FillTriangle(BPoint(108, 17), BPoint(116, 17), BPoint(112, 21));
		SetHighColor(200, 0, 0);
		StrokeLine(BPoint(50, 40), BPoint(125, 65));
		SetHighColor(0, 0, 0);
		DrawString("A(440) E (High)", BPoint(50, 53));
		if (IsFocus()) {
			SetHighColor(ui_color(B_KEYBOARD_NAVIGATION_COLOR));
			StrokeLine(BPoint(50, 30), BPoint(120, 30));
		}
	}
};

class DemoWindow : public BWindow {
public:
	DemoWindow()
		:
		BWindow(BRect(100, 100, 300, 200), "Kit demo", B_TITLED_WINDOW,
			B_NOT_RESIZABLE | B_WILL_ACCEPT_FIRST_CLICK)
	{
		AddChild(new DemoView(Bounds()));
	}

	bool QuitRequested() override
	{
		be_app->PostMessage(B_QUIT_REQUESTED);
		return true;
	}
};

} // namespace

int
main(int argc, char** argv)
{
	// With --window-only: a window made with no application (so nothing
	// has started the display) and no display to be had says so once, and
	// still shows, draws and quits without one.
	if (argc > 1 && strcmp(argv[1], "--window-only") == 0) {
		BWindow* window = new DemoWindow;
		window->Show();
		if (window->Lock())
			window->Quit();
		return 0;
	}
	BApplication app("application/x-vnd.Belvo-KitDemo");
	if (app.InitCheck() != B_OK)
		return 1;
	(new DemoWindow)->Show();
	app.Run();
	return 0;
}
