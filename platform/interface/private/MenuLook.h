/*
 * The look of menus and menu fields, shared by the field's control and the
 * pop-up window: light grey bevels, black text, a darker highlight.
 *
 * Constants and pure helpers: any thread.
 */
#ifndef _PRIVATE_MENU_LOOK_H
#define _PRIVATE_MENU_LOOK_H

#include <cmath>

#include <Font.h>
#include <GraphicsDefs.h>
#include <View.h>

namespace BPrivate {

const rgb_color kMenuBackground = { 216, 216, 216, 255 };
const rgb_color kControlFace = { 232, 232, 232, 255 };
const rgb_color kControlPressed = { 192, 192, 192, 255 };
const rgb_color kBevelLight = { 255, 255, 255, 255 };
const rgb_color kBevelShadow = { 168, 168, 168, 255 };
const rgb_color kOutline = { 96, 96, 96, 255 };
const rgb_color kHighlight = { 144, 144, 144, 255 };
const rgb_color kText = { 0, 0, 0, 255 };
const rgb_color kHighlightText = { 255, 255, 255, 255 };
const rgb_color kDisabledText = { 140, 140, 140, 255 };

inline float
LineHeight(const BFont& font)
{
	font_height height;
	font.GetHeight(&height);
	return std::ceil(height.ascent + height.descent);
}

inline float
MenuRowHeight(const BFont& font)
{
	return LineHeight(font) + 5;
}

inline float
ControlHeight(const BFont& font)
{
	return LineHeight(font) + 6;
}

// The baseline that centres a line of text in a box from top to bottom.
inline float
CenteredBaseline(const BFont& font, float top, float bottom)
{
	font_height height;
	font.GetHeight(&height);
	float textHeight = std::ceil(height.ascent) + std::ceil(height.descent);
	return std::floor(top + (bottom - top + 1 - textHeight) / 2
		+ std::ceil(height.ascent));
}

// A dark outline with light and shadow edges just inside it: raised, or
// pressed, sunken.
inline void
DrawBevelFrame(BView* view, BRect frame, bool pressed)
{
	view->SetHighColor(kOutline);
	view->StrokeRect(frame);
	BRect inside = frame.InsetByCopy(1, 1);
	if (!inside.IsValid())
		return;
	view->SetHighColor(pressed ? kBevelShadow : kBevelLight);
	view->StrokeLine(inside.LeftBottom(), inside.LeftTop());
	view->StrokeLine(inside.LeftTop(), inside.RightTop());
	view->SetHighColor(pressed ? kBevelLight : kBevelShadow);
	view->StrokeLine(BPoint(inside.left + 1, inside.bottom),
		inside.RightBottom());
	view->StrokeLine(inside.RightBottom(), BPoint(inside.right,
		inside.top + 1));
}

// A bevelled frame around a face of its own colour.
inline void
DrawBevelBox(BView* view, BRect frame, rgb_color face, bool pressed)
{
	BRect inside = frame.InsetByCopy(1, 1);
	if (inside.IsValid()) {
		view->SetHighColor(face);
		view->FillRect(inside);
	}
	DrawBevelFrame(view, frame, pressed);
}

// The mark of a marked item: a tick in the row's left margin.
inline void
DrawCheckMark(BView* view, float left, float top, float bottom,
	rgb_color color)
{
	float middle = std::floor((top + bottom) / 2);
	view->SetHighColor(color);
	for (float dy = 0; dy < 2; dy++) {
		view->StrokeLine(BPoint(left, middle - 1 + dy),
			BPoint(left + 2, middle + 1 + dy));
		view->StrokeLine(BPoint(left + 2, middle + 1 + dy),
			BPoint(left + 7, middle - 4 + dy));
	}
}

// The pop-up mark: a small triangle pointing down.
inline void
DrawPopUpMark(BView* view, float right, float top, float bottom,
	rgb_color color)
{
	float middle = std::floor((top + bottom) / 2);
	view->SetHighColor(color);
	view->FillTriangle(BPoint(right - 8, middle - 1), BPoint(right, middle - 1),
		BPoint(right - 4, middle + 3));
}

} // namespace BPrivate

#endif // _PRIVATE_MENU_LOOK_H
