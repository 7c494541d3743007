/*
 * The application's end of the accessibility bus: it registers the
 * application with AT-SPI's registry, answers the methods and properties
 * of AT-SPI's interfaces (Accessible, Application, Component, Action,
 * Selection, Cache) for the objects of an AccessibleTree, and sends the
 * events that a tree's changes call for.
 *
 * A server works over a connection it is handed and never reads or waits
 * on it itself, except for the registration's answer, which comes with the
 * other messages. Everything it receives is checked against the signature
 * the method takes before it is read: a message that does not fit is
 * answered with an error, never read.
 *
 * Threads: the accessibility thread alone, the one that owns the
 * connection.
 */
#ifndef _PRIVATE_AT_SPI_SERVER_H
#define _PRIVATE_AT_SPI_SERVER_H

#include <functional>
#include <string>
#include <vector>

#include <private/AccessibleTree.h>
#include <private/DBusLibrary.h>

namespace BPrivate {

class AtSpiServer {
public:
	// Carries an action to the window that published the object: the
	// window's key, the node's index in its snapshot and the action (or
	// AccessibleActionSink::kGrabFocus). False when it cannot be done.
	typedef std::function<bool(uint32 window, int32 node, int32 action)>
		ActionHandler;

	AtSpiServer(const DBusLibrary* dbus, DBusConnection* connection,
		const std::string& uniqueName, const std::string& toolkitVersion);

	// Asks the registry to take the application in; its answer comes later
	// through Handle().
	bool Register();

	// Answers (or takes in) one message from the bus.
	void Handle(DBusMessage* message, const AccessibleTree& tree,
		const ActionHandler& act);

	// Sends the events, in order.
	void Emit(const std::vector<AccessibleEvent>& events);

private:
	struct Reply;

			bool			_HandleProperties(Reply& reply,
								const AccessibleTree& tree, int32 object,
								const char* member);
			bool			_HandleAccessible(Reply& reply,
								const AccessibleTree& tree, int32 object,
								const char* member);
			bool			_HandleApplication(Reply& reply,
								const AccessibleTree& tree, int32 object,
								const char* member);
			bool			_HandleComponent(Reply& reply,
								const AccessibleTree& tree, int32 object,
								const char* member, const ActionHandler& act);
			bool			_HandleAction(Reply& reply,
								const AccessibleTree& tree, int32 object,
								const char* member, const ActionHandler& act);
			bool			_HandleSelection(Reply& reply,
								const AccessibleTree& tree, int32 object,
								const char* member);
			void			_GetItems(Reply& reply,
								const AccessibleTree& tree);

			// Begins the call's return, or fails it when its arguments
			// are not SIGNATURE's; nullptr then, or without memory.
			DBusMessageIter*	_BeginReturn(Reply& reply,
								const char* signature);
			dbus_int32_t	_FirstInt32(DBusMessage* call);
			// The call's first argument when it is an index below
			// count; otherwise the call fails and this is -1.
			dbus_int32_t	_IndexArgument(Reply& reply, size_t count);

			// What goes into messages.
			void			_AppendReference(DBusMessageIter* iter,
								const std::string& bus,
								const std::string& path);
			void			_AppendObject(DBusMessageIter* iter,
								const AccessibleTree& tree, int32 object);
			void			_AppendParent(DBusMessageIter* iter,
								const AccessibleTree& tree, int32 object);
			void			_AppendString(DBusMessageIter* iter,
								const std::string& value);
			void			_AppendInt32(DBusMessageIter* iter, int32 value);
			void			_AppendUint32(DBusMessageIter* iter,
								uint32 value);
			void			_AppendBool(DBusMessageIter* iter, bool value);
			void			_AppendStates(DBusMessageIter* iter,
								AccessibleStateSet states);
			void			_AppendInterfaces(DBusMessageIter* iter,
								const AccessibleTree& tree, int32 object);
			// The property's value, as a variant; false for one the
			// interface does not have.
			bool			_AppendProperty(DBusMessageIter* iter,
								const AccessibleTree& tree, int32 object,
								const std::string& interface,
								const std::string& name);

			const DBusLibrary* fDBus;
			DBusConnection*	fConnection;
			std::string		fUniqueName;
			std::string		fToolkitVersion;
			// The registry's root, our root's parent, once it has answered.
			std::string		fDesktopBus;
			std::string		fDesktopPath;
			dbus_uint32_t	fRegisterSerial;
			int32			fId;
};

// What the interfaces of an object are, by the names AT-SPI gives them.
std::vector<std::string> AccessibleInterfaces(const AccessibleTree& tree,
	int32 object);

// Where a node lies in the given coordinates (0 screen, 1 its window, 2 its
// parent), in device pixels.
AccessibleRect AccessibleExtents(const AccessibleTree& tree, int32 object,
	uint32 coordinates);

} // namespace BPrivate

#endif // _PRIVATE_AT_SPI_SERVER_H
