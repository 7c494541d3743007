/*
 * libdbus, the D-Bus reference client library, loaded at run time: only a
 * session that has an accessibility bus maps it, and a machine without it
 * runs the program all the same, unheard by screen readers.
 *
 * Loaded once, on first use, behind a function-local static; the table
 * never changes afterwards. Only the accessibility thread calls into the
 * library.
 */
#ifndef _PRIVATE_DBUS_LIBRARY_H
#define _PRIVATE_DBUS_LIBRARY_H

#include <dbus/dbus.h>

#include <private/RuntimeLibrary.h>

namespace BPrivate {

#define BELVO_DBUS_FUNCTIONS(X) \
	X(dbus_error_init) \
	X(dbus_error_free) \
	X(dbus_connection_open_private) \
	X(dbus_connection_close) \
	X(dbus_connection_unref) \
	X(dbus_connection_set_exit_on_disconnect) \
	X(dbus_connection_get_unix_fd) \
	X(dbus_connection_get_is_connected) \
	X(dbus_connection_read_write) \
	X(dbus_connection_pop_message) \
	X(dbus_connection_send) \
	X(dbus_connection_send_with_reply_and_block) \
	X(dbus_connection_flush) \
	X(dbus_bus_set_unique_name) \
	X(dbus_message_new_method_call) \
	X(dbus_message_new_method_return) \
	X(dbus_message_new_error) \
	X(dbus_message_new_signal) \
	X(dbus_message_unref) \
	X(dbus_message_get_type) \
	X(dbus_message_get_path) \
	X(dbus_message_get_interface) \
	X(dbus_message_get_member) \
	X(dbus_message_get_reply_serial) \
	X(dbus_message_get_no_reply) \
	X(dbus_message_has_signature) \
	X(dbus_message_iter_init) \
	X(dbus_message_iter_init_append) \
	X(dbus_message_iter_get_arg_type) \
	X(dbus_message_iter_get_basic) \
	X(dbus_message_iter_next) \
	X(dbus_message_iter_recurse) \
	X(dbus_message_iter_append_basic) \
	X(dbus_message_iter_open_container) \
	X(dbus_message_iter_close_container)

struct DBusLibrary {
	BELVO_DBUS_FUNCTIONS(BELVO_LIBRARY_FUNCTION)
};

// Null when libdbus-1.so.3 or one of its functions is missing.
const DBusLibrary* LoadDBusLibrary();

} // namespace BPrivate

#endif // _PRIVATE_DBUS_LIBRARY_H
