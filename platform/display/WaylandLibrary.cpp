/*
 * Loading the Wayland client libraries (see WaylandLibrary.h). Apart from
 * the back end's source, which sees the library's names as calls through
 * the table (WaylandProtocols.h).
 */
#include <private/WaylandDecorLibrary.h>
#include <private/WaylandLibrary.h>

namespace BPrivate {

const WaylandClientLibrary*
LoadWaylandClientLibrary()
{
	static const WaylandClientLibrary* sLibrary
		= LoadRuntimeLibrary<WaylandClientLibrary>("libwayland-client.so.0",
			[](RuntimeLibrary& loader, WaylandClientLibrary* library) {
				BELVO_WAYLAND_CLIENT_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
			});
	return sLibrary;
}

const WaylandCursorLibrary*
LoadWaylandCursorLibrary()
{
	static const WaylandCursorLibrary* sLibrary
		= LoadRuntimeLibrary<WaylandCursorLibrary>("libwayland-cursor.so.0",
			[](RuntimeLibrary& loader, WaylandCursorLibrary* library) {
				BELVO_WAYLAND_CURSOR_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
			});
	return sLibrary;
}

const WaylandDecorLibrary*
LoadWaylandDecorLibrary()
{
	static const WaylandDecorLibrary* sLibrary
		= LoadRuntimeLibrary<WaylandDecorLibrary>("libdecor-0.so.0",
			[](RuntimeLibrary& loader, WaylandDecorLibrary* library) {
				BELVO_WAYLAND_DECOR_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
			});
	return sLibrary;
}

const WaylandXkbLibrary*
LoadWaylandXkbLibrary()
{
	static const WaylandXkbLibrary* sLibrary
		= LoadRuntimeLibrary<WaylandXkbLibrary>("libxkbcommon.so.0",
			[](RuntimeLibrary& loader, WaylandXkbLibrary* library) {
				BELVO_WAYLAND_XKB_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
			});
	return sLibrary;
}

} // namespace BPrivate
