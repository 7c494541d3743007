/*
 * Alerts: the window, its text and icon, its buttons, and Go().
 */
#include <Alert.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <Invoker.h>
#include <Message.h>
#include <View.h>
#include <private/Display.h>
#include <private/MenuLook.h>
#include <private/WindowPrivate.h>

namespace BPrivate {

struct AlertResult {
	std::mutex lock;
	std::condition_variable done;
	int32 index = -1;
	bool pressed = false;

	// Only the first press counts.
	bool Set(int32 value)
	{
		{
			std::lock_guard<std::mutex> guard(lock);
			if (pressed)
				return false;
			pressed = true;
			index = value;
		}
		done.notify_all();
		return true;
	}

	int32 Wait()
	{
		std::unique_lock<std::mutex> guard(lock);
		done.wait(guard, [this] { return pressed; });
		return index;
	}
};

} // namespace BPrivate

using namespace BPrivate;

namespace {

const float kAlertWidth = 310;
const float kStripeWidth = 30;
const float kTextLeft = 55;
const float kMargin = 10;
const float kButtonSpacing = 9;
const float kMinimumButtonWidth = 75;
const uint32 kButtonPressed = kAlertButtonPressed;

// Breaks text into lines no wider than `width`, at spaces where it can and
// inside a word only when the word alone is too wide; line feeds are kept.
std::vector<std::string>
WrapText(const std::string& text, float width, const BFont& font)
{
	std::vector<std::string> lines;
	size_t start = 0;
	while (start <= text.size()) {
		size_t end = text.find('\n', start);
		std::string paragraph = text.substr(start,
			end == std::string::npos ? std::string::npos : end - start);
		std::string line;
		size_t position = 0;
		while (position < paragraph.size()) {
			size_t space = paragraph.find(' ', position);
			std::string word = paragraph.substr(position,
				space == std::string::npos ? std::string::npos
					: space - position);
			std::string candidate = line.empty() ? word : line + " " + word;
			if (font.StringWidth(candidate.c_str()) <= width || line.empty()) {
				line = candidate;
				// A single word wider than the line is cut where it must.
				while (font.StringWidth(line.c_str()) > width
					&& line.size() > 1) {
					size_t cut = line.size() - 1;
					while (cut > 1 && font.StringWidth(
							line.substr(0, cut).c_str()) > width)
						cut--;
					lines.push_back(line.substr(0, cut));
					line = line.substr(cut);
				}
			} else {
				lines.push_back(line);
				line = word;
			}
			if (space == std::string::npos)
				break;
			position = space + 1;
		}
		lines.push_back(line);
		if (end == std::string::npos)
			break;
		start = end + 1;
	}
	return lines;
}

class AlertButton : public BView {
public:
	AlertButton(BRect frame, const char* label, int32 index, bool isDefault)
		:
		BView(frame, label, B_FOLLOW_RIGHT | B_FOLLOW_BOTTOM,
			B_WILL_DRAW | B_NAVIGABLE),
		fLabel(label),
		fIndex(index),
		fDefault(isDefault),
		fPressed(false)
	{
		SetViewColor(B_TRANSPARENT_COLOR);
	}

	void Draw(BRect) override
	{
		BRect frame = Bounds();
		if (fDefault) {
			// The default button wears a heavier frame.
			SetHighColor(kOutline);
			StrokeRect(frame);
			frame.InsetBy(1, 1);
		} else
			frame.InsetBy(1, 1);
		DrawBevelBox(this, frame, fPressed ? kControlPressed : kControlFace,
			fPressed);
		BFont font;
		GetFont(&font);
		float width = StringWidth(fLabel.c_str());
		float left = std::floor(frame.left + (frame.Width() - width) / 2);
		float baseline = CenteredBaseline(font, frame.top, frame.bottom);
		SetHighColor(kText);
		DrawString(fLabel.c_str(), BPoint(left, baseline));
		if (IsFocus() && Window()->IsActive()) {
			SetHighColor(ui_color(B_KEYBOARD_NAVIGATION_COLOR));
			StrokeLine(BPoint(left, baseline + 2),
				BPoint(left + width, baseline + 2));
		}
	}

	void MouseDown(BPoint) override
	{
		fPressed = true;
		Invalidate();
	}

	void MouseMoved(BPoint where, uint32, const BMessage*) override
	{
		uint32 buttons = 0;
		GetMouse(nullptr, &buttons);
		bool pressed = buttons != 0 && Bounds().Contains(where);
		if (pressed != fPressed && (buttons != 0 || fPressed)) {
			fPressed = pressed;
			Invalidate();
		}
	}

	void MouseUp(BPoint where) override
	{
		bool wasPressed = fPressed;
		fPressed = false;
		Invalidate();
		if (wasPressed && Bounds().Contains(where))
			Press();
	}

	void KeyDown(const char* bytes, int32 numBytes) override
	{
		if (numBytes == 1 && bytes[0] == B_SPACE)
			Press();
		else
			BView::KeyDown(bytes, numBytes);
	}

	void Press()
	{
		BMessage pressed(kButtonPressed);
		pressed.AddInt32("which", fIndex);
		Window()->PostMessage(&pressed);
	}

private:
	std::string fLabel;
	int32 fIndex;
	bool fDefault;
	bool fPressed;
};

class AlertView : public BView {
public:
	AlertView(BRect frame, alert_type type, std::vector<std::string> lines,
		int32 buttonCount)
		:
		BView(frame, "alert", B_FOLLOW_ALL_SIDES, B_WILL_DRAW),
		fType(type),
		fLines(std::move(lines)),
		fButtonCount(buttonCount)
	{
		SetViewColor(kMenuBackground);
	}

	void Draw(BRect) override
	{
		if (fType != B_EMPTY_ALERT) {
			SetHighColor(184, 184, 184);
			FillRect(BRect(0, 0, kStripeWidth - 1, Bounds().bottom));
			DrawIcon(BPoint(18, 6));
		}
		BFont font;
		GetFont(&font);
		float lineHeight = LineHeight(font) + 3;
		font_height height;
		font.GetHeight(&height);
		float baseline = kMargin + std::ceil(height.ascent);
		SetHighColor(kText);
		for (const std::string& line : fLines) {
			DrawString(line.c_str(), BPoint(TextLeft(), baseline));
			baseline += lineHeight;
		}
	}

	float TextLeft() const
	{
		return fType == B_EMPTY_ALERT ? kMargin : kTextLeft;
	}

	void DrawIcon(BPoint at)
	{
		BRect disc(at.x, at.y, at.x + 31, at.y + 31);
		rgb_color fill;
		switch (fType) {
			case B_WARNING_ALERT:
			case B_IDEA_ALERT:
				fill = make_color(255, 203, 0);
				break;
			case B_STOP_ALERT:
				fill = make_color(220, 32, 32);
				break;
			default:
				fill = make_color(40, 96, 200);
				break;
		}
		SetHighColor(fill);
		FillEllipse(disc);
		SetHighColor(0, 0, 0);
		StrokeEllipse(disc);
		rgb_color mark = fType == B_WARNING_ALERT || fType == B_IDEA_ALERT
			? make_color(0, 0, 0) : make_color(255, 255, 255);
		SetHighColor(mark);
		if (fType == B_INFO_ALERT) {
			// A lower-case "i".
			FillEllipse(BRect(at.x + 13, at.y + 6, at.x + 18, at.y + 11));
			FillRect(BRect(at.x + 14, at.y + 14, at.x + 17, at.y + 25));
			FillRect(BRect(at.x + 12, at.y + 14, at.x + 14, at.y + 15));
			FillRect(BRect(at.x + 12, at.y + 24, at.x + 19, at.y + 25));
		} else {
			// An exclamation mark.
			FillRect(BRect(at.x + 14, at.y + 6, at.x + 17, at.y + 20));
			FillEllipse(BRect(at.x + 13, at.y + 22, at.x + 18, at.y + 27));
		}
	}

	void KeyDown(const char* bytes, int32 numBytes) override
	{
		if (numBytes != 1)
			return;
		int32 which = -1;
		if (bytes[0] == B_ENTER)
			which = fButtonCount - 1;
		else if (bytes[0] == B_ESCAPE && fButtonCount == 1)
			which = 0;
		if (which < 0)
			return;
		BMessage pressed(kButtonPressed);
		pressed.AddInt32("which", which);
		Window()->PostMessage(&pressed);
	}

private:
	alert_type fType;
	std::vector<std::string> fLines;
	int32 fButtonCount;
};

struct Layout {
	std::vector<std::string> labels;
	std::vector<std::string> lines;
	std::vector<float> widths;
	float buttonHeight = 0;
	BRect frame;
};

Layout
LayOut(const char* text, const char* button0, const char* button1,
	const char* button2, button_width width, alert_type type)
{
	Layout layout;
	for (const char* label : { button0, button1, button2 }) {
		if (label == nullptr)
			break;
		layout.labels.push_back(label);
	}
	// An alert needs a way out.
	if (layout.labels.empty())
		layout.labels.push_back("OK");

	const BFont& font = *be_plain_font;
	float textLeft = type == B_EMPTY_ALERT ? kMargin : kTextLeft;
	layout.lines = WrapText(text != nullptr ? text : "",
		kAlertWidth - textLeft - kMargin, font);
	float lineHeight = LineHeight(font) + 3;
	float textBottom = kMargin + layout.lines.size() * lineHeight;
	float top = std::max(textBottom, type == B_EMPTY_ALERT ? 0.0f : 38.0f);
	layout.buttonHeight = ControlHeight(font) + 6;

	float widest = 0;
	for (const std::string& label : layout.labels) {
		float labelWidth = std::ceil(font.StringWidth(label.c_str())) + 24;
		layout.widths.push_back(labelWidth);
		widest = std::max(widest, labelWidth);
	}
	for (float& buttonWidth : layout.widths) {
		if (width == B_WIDTH_FROM_WIDEST)
			buttonWidth = std::max(widest, kMinimumButtonWidth);
		else if (width != B_WIDTH_FROM_LABEL)
			buttonWidth = std::max(buttonWidth, kMinimumButtonWidth);
	}
	float height = top + 12 + layout.buttonHeight + kMargin;

	// Centred on the screen, a little above the middle as alerts sit.
	BRect screen = Display::DefaultScreenFrame();
	float left = std::floor(screen.left + (screen.Width() - kAlertWidth) / 2);
	float alertTop = std::floor(screen.top + (screen.Height() - height) / 3);
	layout.frame = BRect(left, alertTop, left + kAlertWidth - 1,
		alertTop + height - 1);
	return layout;
}

// An alert belongs to the window the user was in when it opened.
WindowPlacement
AlertPlacement()
{
	WindowPlacement placement;
	if (Display* display = Display::Default())
		placement.parent = display->ActiveWindow();
	return placement;
}

} // namespace

BAlert::BAlert(const char* title, const char* text, const char* button0,
	const char* button1, const char* button2, button_width width,
	alert_type type)
	:
	BWindow(LayOut(text, button0, button1, button2, width, type).frame,
		title != nullptr ? title : "", kAlertWindow,
		B_NOT_RESIZABLE | B_NOT_ZOOMABLE | B_WILL_ACCEPT_FIRST_CLICK,
		AlertPlacement()),
	fText(text != nullptr ? text : ""),
	fButtonCount(0),
	fAlertType(type),
	fResult(std::make_shared<AlertResult>()),
	fInvoker(nullptr)
{
	Layout layout = LayOut(text, button0, button1, button2, width, type);
	const std::vector<std::string>& labels = layout.labels;
	const std::vector<float>& widths = layout.widths;
	fButtonCount = int32(labels.size());
	float height = Bounds().Height() + 1;
	float buttonHeight = layout.buttonHeight;

	AlertView* view = new AlertView(Bounds(), type, layout.lines,
		fButtonCount);
	AddChild(view);
	float right = kAlertWidth - kMargin;
	float buttonTop = height - kMargin - buttonHeight;
	std::vector<AlertButton*> buttons(labels.size());
	for (int32 i = fButtonCount - 1; i >= 0; i--) {
		BRect buttonFrame(right - widths[i] + 1, buttonTop, right,
			buttonTop + buttonHeight - 1);
		buttons[i] = new AlertButton(buttonFrame, labels[i].c_str(), i,
			i == fButtonCount - 1);
		right -= widths[i] + kButtonSpacing;
	}
	for (AlertButton* button : buttons)
		view->AddChild(button);
	view->MakeFocus(true);
}

BAlert::~BAlert()
{
	// Whoever waits must not wait for ever, however the alert went.
	fResult->Set(fButtonCount - 1);
	delete fInvoker;
}

int32
BAlert::Go()
{
	if (Display::Default() == nullptr) {
		Quit();
		return -1;
	}
	std::shared_ptr<AlertResult> result = fResult;
	Show();
	// The alert deletes itself once a button is pressed; only the shared
	// result is touched from here on.
	return result->Wait();
}

status_t
BAlert::Go(BInvoker* invoker)
{
	fInvoker = invoker;
	if (Display::Default() == nullptr) {
		Quit();
		return B_ERROR;
	}
	Show();
	return B_OK;
}

void
BAlert::MessageReceived(BMessage* message)
{
	if (message->what == kButtonPressed) {
		int32 which = -1;
		if (message->FindInt32("which", &which) == B_OK && which >= 0
			&& which < fButtonCount)
			_Pressed(which);
		return;
	}
	BWindow::MessageReceived(message);
}

bool
BAlert::QuitRequested()
{
	// Closed from the window manager: as if the last button was pressed.
	if (fResult->Set(fButtonCount - 1) && fInvoker != nullptr
		&& fInvoker->Message() != nullptr) {
		BMessage copy(*fInvoker->Message());
		copy.AddInt32("which", fButtonCount - 1);
		fInvoker->Invoke(&copy);
	}
	return true;
}

void
BAlert::_Pressed(int32 index)
{
	if (!fResult->Set(index))
		return;
	if (fInvoker != nullptr && fInvoker->Message() != nullptr) {
		BMessage copy(*fInvoker->Message());
		copy.AddInt32("which", index);
		fInvoker->Invoke(&copy);
	}
	Quit();
}
