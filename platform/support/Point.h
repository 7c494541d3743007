/*
 * A point in a view's or the screen's coordinate system.
 *
 * Plain values: no thread of their own; copy them freely.
 */
#ifndef _POINT_H
#define _POINT_H

#include <SupportDefs.h>

class BPoint {
public:
	float x;
	float y;

	constexpr BPoint() : x(0), y(0) {}
	constexpr BPoint(float x, float y) : x(x), y(y) {}

	void Set(float newX, float newY) { x = newX; y = newY; }

	BPoint operator+(const BPoint& other) const
		{ return BPoint(x + other.x, y + other.y); }
	BPoint operator-(const BPoint& other) const
		{ return BPoint(x - other.x, y - other.y); }
	BPoint& operator+=(const BPoint& other)
		{ x += other.x; y += other.y; return *this; }
	BPoint& operator-=(const BPoint& other)
		{ x -= other.x; y -= other.y; return *this; }
	bool operator==(const BPoint& other) const
		{ return x == other.x && y == other.y; }
	bool operator!=(const BPoint& other) const { return !(*this == other); }
};

const BPoint B_ORIGIN(0, 0);

#endif // _POINT_H
