/*
 * AT-SPI's interfaces over libdbus, for the objects of an AccessibleTree.
 * The interfaces are those at-spi2-core describes in its xml folder; the
 * signatures below are theirs.
 */
#include <private/AtSpiServer.h>

#include <cstdlib>
#include <cstring>

namespace BPrivate {

namespace {

const char* const kAccessible = "org.a11y.atspi.Accessible";
const char* const kApplication = "org.a11y.atspi.Application";
const char* const kComponent = "org.a11y.atspi.Component";
const char* const kAction = "org.a11y.atspi.Action";
const char* const kSelection = "org.a11y.atspi.Selection";
const char* const kCache = "org.a11y.atspi.Cache";
const char* const kProperties = "org.freedesktop.DBus.Properties";
const char* const kIntrospectable = "org.freedesktop.DBus.Introspectable";
const char* const kCachePath = "/org/a11y/atspi/cache";
const char* const kNullPath = "/org/a11y/atspi/null";
const char* const kRootPath = "/org/a11y/atspi/accessible/root";

const char* const kUnknownMethod = "org.freedesktop.DBus.Error.UnknownMethod";
const char* const kUnknownObject = "org.freedesktop.DBus.Error.UnknownObject";
const char* const kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
const char* const kUnknownProperty
	= "org.freedesktop.DBus.Error.UnknownProperty";
const char* const kReadOnly = "org.freedesktop.DBus.Error.PropertyReadOnly";

// A method of an interface and the arguments it takes.
struct Method {
	const char* name;
	const char* signature;
};

template<size_t N>
const Method*
FindMethod(const Method (&methods)[N], const char* member)
{
	for (const Method& method : methods) {
		if (strcmp(member, method.name) == 0)
			return &method;
	}
	return nullptr;
}

// AT-SPI's layers (Component.GetLayer).
const uint32 kLayerWidget = 3;
const uint32 kLayerPopup = 5;
const uint32 kLayerWindow = 7;

const char*
RoleName(uint32 role)
{
	switch (role) {
		case kRoleAlert: return "alert";
		case kRoleComboBox: return "combo box";
		case kRoleFrame: return "frame";
		case kRoleLabel: return "label";
		case kRoleMenu: return "menu";
		case kRolePanel: return "panel";
		case kRolePushButton: return "push button";
		case kRoleRadioMenuItem: return "radio menu item";
		case kRoleApplication: return "application";
		default: return "unknown";
	}
}

std::string
Locale()
{
	for (const char* name : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
		const char* value = getenv(name);
		if (value != nullptr && value[0] != '\0')
			return value;
	}
	return "C";
}

// Strings from the program reach the bus only as valid UTF-8, which libdbus
// insists on: anything else becomes U+FFFD.
std::string
ValidUtf8(const std::string& text)
{
	std::string valid;
	size_t i = 0;
	while (i < text.size()) {
		unsigned char lead = (unsigned char)text[i];
		size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2
			: (lead >> 4) == 0xe ? 3 : (lead >> 3) == 0x1e ? 4 : 0;
		bool good = length > 0 && i + length <= text.size();
		uint32 code = length == 1 ? lead : length == 2 ? lead & 0x1f
			: length == 3 ? lead & 0x0f : lead & 0x07;
		for (size_t k = 1; good && k < length; k++) {
			unsigned char next = (unsigned char)text[i + k];
			good = (next & 0xc0) == 0x80;
			code = (code << 6) | (next & 0x3f);
		}
		if (good) {
			// Overlong forms, surrogates and what lies past U+10FFFF.
			good = (length == 1 || (length == 2 && code >= 0x80)
				|| (length == 3 && code >= 0x800)
				|| (length == 4 && code >= 0x10000))
				&& !(code >= 0xd800 && code <= 0xdfff) && code <= 0x10ffff;
		}
		if (good) {
			valid.append(text, i, length);
			i += length;
		} else {
			valid += "\xef\xbf\xbd";
			i++;
		}
	}
	return valid;
}

bool
Contains(const AccessibleRect& rect, int32 x, int32 y)
{
	return x >= rect.x && y >= rect.y && x - rect.x < rect.width
		&& y - rect.y < rect.height;
}

bool
IsShowing(const AccessibleTree& tree, int32 object)
{
	return (tree.Node(object).states & StateBit(kStateShowing)) != 0;
}

// The type of an interface's property, or null for one the object does not
// have.
const char*
PropertySignature(const AccessibleTree& tree, int32 object,
	const std::string& interface, const std::string& name)
{
	bool has = false;
	for (const std::string& known : AccessibleInterfaces(tree, object))
		has = has || known == interface;
	if (!has)
		return nullptr;
	if (interface == kAccessible) {
		if (name == "Name" || name == "Description" || name == "Locale"
			|| name == "AccessibleId")
			return "s";
		if (name == "Parent")
			return "(so)";
		if (name == "ChildCount")
			return "i";
	} else if (interface == kApplication) {
		if (name == "ToolkitName" || name == "Version"
			|| name == "AtspiVersion")
			return "s";
		if (name == "Id")
			return "i";
	} else if (interface == kAction
		&& (name == "NActions" || name == "nActions"))
		return "i";
	else if (interface == kSelection
		&& (name == "NSelectedChildren" || name == "nSelectedChildren"))
		return "i";
	return nullptr;
}

} // namespace

// A method call being answered: its return once begun, or an error.
struct AtSpiServer::Reply {
	DBusMessage* call = nullptr;
	DBusMessage* message = nullptr;
	DBusMessageIter iter;
	const char* errorName = nullptr;
	std::string errorText;

	void Fail(const char* name, const char* text)
	{
		errorName = name;
		errorText = text;
	}
};

std::vector<std::string>
AccessibleInterfaces(const AccessibleTree& tree, int32 object)
{
	std::vector<std::string> interfaces{ kAccessible };
	if (object == AccessibleTree::kRoot) {
		interfaces.push_back(kApplication);
		return interfaces;
	}
	interfaces.push_back(kComponent);
	const AccessibleNode& node = tree.Node(object);
	if (!node.actions.empty())
		interfaces.push_back(kAction);
	if (node.selection)
		interfaces.push_back(kSelection);
	return interfaces;
}

AccessibleRect
AccessibleExtents(const AccessibleTree& tree, int32 object,
	uint32 coordinates)
{
	AccessibleRect rect = tree.Node(object).frame;
	int32 origin = -1;
	if (coordinates == 1)
		origin = tree.Toplevel(object);
	else if (coordinates == 2)
		origin = tree.Parent(object);
	if (origin > AccessibleTree::kRoot) {
		rect.x -= tree.Node(origin).frame.x;
		rect.y -= tree.Node(origin).frame.y;
	}
	return rect;
}

AtSpiServer::AtSpiServer(const DBusLibrary* dbus, DBusConnection* connection,
	const std::string& uniqueName, const std::string& toolkitVersion)
	:
	fDBus(dbus),
	fConnection(connection),
	fUniqueName(uniqueName),
	fToolkitVersion(toolkitVersion),
	fRegisterSerial(0),
	fId(0)
{
}

bool
AtSpiServer::Register()
{
	DBusMessage* message = fDBus->dbus_message_new_method_call(
		"org.a11y.atspi.Registry", kRootPath, "org.a11y.atspi.Socket",
		"Embed");
	if (message == nullptr)
		return false;
	DBusMessageIter iter;
	fDBus->dbus_message_iter_init_append(message, &iter);
	_AppendReference(&iter, fUniqueName, kRootPath);
	bool sent = fDBus->dbus_connection_send(fConnection, message,
		&fRegisterSerial);
	fDBus->dbus_message_unref(message);
	return sent;
}

void
AtSpiServer::Handle(DBusMessage* message, const AccessibleTree& tree,
	const ActionHandler& act)
{
	int type = fDBus->dbus_message_get_type(message);
	if (type == DBUS_MESSAGE_TYPE_METHOD_RETURN
		&& fRegisterSerial != 0
		&& fDBus->dbus_message_get_reply_serial(message) == fRegisterSerial) {
		// The registry's root, which our root names as its parent.
		DBusMessageIter iter;
		DBusMessageIter reference;
		const char* bus = nullptr;
		const char* path = nullptr;
		if (fDBus->dbus_message_has_signature(message, "(so)")
			&& fDBus->dbus_message_iter_init(message, &iter)) {
			fDBus->dbus_message_iter_recurse(&iter, &reference);
			fDBus->dbus_message_iter_get_basic(&reference, &bus);
			fDBus->dbus_message_iter_next(&reference);
			fDBus->dbus_message_iter_get_basic(&reference, &path);
			fDesktopBus = bus != nullptr ? bus : "";
			fDesktopPath = path != nullptr ? path : "";
		}
		return;
	}
	if (type != DBUS_MESSAGE_TYPE_METHOD_CALL)
		return;

	const char* path = fDBus->dbus_message_get_path(message);
	const char* interface = fDBus->dbus_message_get_interface(message);
	const char* member = fDBus->dbus_message_get_member(message);
	Reply reply;
	reply.call = message;
	if (path == nullptr || member == nullptr)
		reply.Fail(kUnknownMethod, "no such method");
	else if (strcmp(path, kCachePath) == 0) {
		if ((interface == nullptr || strcmp(interface, kCache) == 0)
			&& strcmp(member, "GetItems") == 0)
			_GetItems(reply, tree);
		else if ((interface == nullptr || strcmp(interface, kIntrospectable)
				== 0) && strcmp(member, "Introspect") == 0
			) {
			if (DBusMessageIter* iter = _BeginReturn(reply, ""))
				_AppendString(iter, std::string(
					"<node><interface name=\"") + kCache + "\"/></node>");
		} else
			reply.Fail(kUnknownMethod, "no such method");
	} else {
		int32 object = tree.Find(path);
		bool handled = false;
		auto wants = [&](const char* name) {
			return interface == nullptr || strcmp(interface, name) == 0;
		};
		if (object < 0)
			reply.Fail(kUnknownObject, "no such object");
		else {
			std::vector<std::string> interfaces
				= AccessibleInterfaces(tree, object);
			auto has = [&](const char* name) {
				for (const std::string& known : interfaces) {
					if (known == name)
						return wants(name);
				}
				return false;
			};
			if (!handled && wants(kProperties))
				handled = _HandleProperties(reply, tree, object, member);
			if (!handled && has(kAccessible))
				handled = _HandleAccessible(reply, tree, object, member);
			if (!handled && has(kApplication))
				handled = _HandleApplication(reply, tree, object, member);
			if (!handled && has(kComponent))
				handled = _HandleComponent(reply, tree, object, member, act);
			if (!handled && has(kAction))
				handled = _HandleAction(reply, tree, object, member, act);
			if (!handled && has(kSelection))
				handled = _HandleSelection(reply, tree, object, member);
			if (!handled && wants(kIntrospectable)
				&& strcmp(member, "Introspect") == 0) {
				std::string xml = "<node>";
				for (const std::string& name : interfaces)
					xml += "<interface name=\"" + name + "\"/>";
				xml += "</node>";
				if (DBusMessageIter* iter = _BeginReturn(reply, ""))
					_AppendString(iter, xml);
				handled = true;
			}
			if (!handled && reply.errorName == nullptr)
				reply.Fail(kUnknownMethod, "no such method");
		}
	}

	if (fDBus->dbus_message_get_no_reply(message)) {
		if (reply.message != nullptr)
			fDBus->dbus_message_unref(reply.message);
		return;
	}
	DBusMessage* answer = reply.message;
	if (reply.errorName != nullptr) {
		if (answer != nullptr)
			fDBus->dbus_message_unref(answer);
		answer = fDBus->dbus_message_new_error(message, reply.errorName,
			reply.errorText.c_str());
	}
	if (answer == nullptr)
		return;
	fDBus->dbus_connection_send(fConnection, answer, nullptr);
	fDBus->dbus_message_unref(answer);
}

void
AtSpiServer::Emit(const std::vector<AccessibleEvent>& events)
{
	for (const AccessibleEvent& event : events) {
		DBusMessage* signal;
		DBusMessageIter iter;
		if (event.kind == AccessibleEvent::kRemoved) {
			signal = fDBus->dbus_message_new_signal(kCachePath, kCache,
				"RemoveAccessible");
			if (signal == nullptr)
				continue;
			fDBus->dbus_message_iter_init_append(signal, &iter);
			_AppendReference(&iter, fUniqueName, event.data);
		} else {
			signal = fDBus->dbus_message_new_signal(event.path.c_str(),
				event.interface, event.member);
			if (signal == nullptr)
				continue;
			fDBus->dbus_message_iter_init_append(signal, &iter);
			_AppendString(&iter, event.detail);
			_AppendInt32(&iter, event.detail1);
			_AppendInt32(&iter, event.detail2);
			DBusMessageIter variant;
			const char* signature = event.dataType == AccessibleEvent::kString
				? "s" : event.dataType == AccessibleEvent::kReference
				? "(so)" : "i";
			fDBus->dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT,
				signature, &variant);
			if (event.dataType == AccessibleEvent::kString)
				_AppendString(&variant, event.data);
			else if (event.dataType == AccessibleEvent::kReference)
				_AppendReference(&variant, fUniqueName, event.data);
			else
				_AppendInt32(&variant, 0);
			fDBus->dbus_message_iter_close_container(&iter, &variant);
			DBusMessageIter properties;
			fDBus->dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY,
				"{sv}", &properties);
			fDBus->dbus_message_iter_close_container(&iter, &properties);
		}
		fDBus->dbus_connection_send(fConnection, signal, nullptr);
		fDBus->dbus_message_unref(signal);
	}
}

bool
AtSpiServer::_HandleProperties(Reply& reply, const AccessibleTree& tree,
	int32 object, const char* member)
{
	static const Method kMethods[] = {
		{ "Get", "ss" }, { "GetAll", "s" }, { "Set", "ssv" },
	};
	const Method* const kGet = &kMethods[0];
	const Method* const kGetAll = &kMethods[1];
	const Method* method = FindMethod(kMethods, member);
	if (method == nullptr)
		return false;
	DBusMessageIter* iter = _BeginReturn(reply, method->signature);
	if (iter == nullptr)
		return true;
	// Each names the interface first; Get and Set the property next.
	DBusMessageIter args;
	const char* interface = nullptr;
	const char* name = nullptr;
	fDBus->dbus_message_iter_init(reply.call, &args);
	fDBus->dbus_message_iter_get_basic(&args, &interface);
	if (method != kGetAll) {
		fDBus->dbus_message_iter_next(&args);
		fDBus->dbus_message_iter_get_basic(&args, &name);
		fDBus->dbus_message_iter_next(&args);
	}

	if (method == kGet) {
		if (!_AppendProperty(iter, tree, object, interface, name))
			reply.Fail(kUnknownProperty, "no such property");
	} else if (method == kGetAll) {
		static const char* const kNames[] = { "Name", "Description",
			"Parent", "ChildCount", "Locale", "AccessibleId", "ToolkitName",
			"Version", "AtspiVersion", "Id", "NActions",
			"NSelectedChildren" };
		DBusMessageIter dictionary;
		fDBus->dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY,
			"{sv}", &dictionary);
		for (const char* property : kNames) {
			if (PropertySignature(tree, object, interface, property)
					== nullptr)
				continue;
			DBusMessageIter entry;
			fDBus->dbus_message_iter_open_container(&dictionary,
				DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
			_AppendString(&entry, property);
			_AppendProperty(&entry, tree, object, interface, property);
			fDBus->dbus_message_iter_close_container(&dictionary, &entry);
		}
		fDBus->dbus_message_iter_close_container(iter, &dictionary);
	} else {
		DBusMessageIter value;
		fDBus->dbus_message_iter_recurse(&args, &value);
		// The registry numbers the application as it takes it in; that is
		// the one property anyone may set.
		if (object == AccessibleTree::kRoot
			&& strcmp(interface, kApplication) == 0
			&& strcmp(name, "Id") == 0
			&& fDBus->dbus_message_iter_get_arg_type(&value)
				== DBUS_TYPE_INT32) {
			dbus_int32_t id = 0;
			fDBus->dbus_message_iter_get_basic(&value, &id);
			fId = id;
		} else
			reply.Fail(kReadOnly, "the property cannot be set");
	}
	return true;
}


bool
AtSpiServer::_AppendProperty(DBusMessageIter* iter, const AccessibleTree& tree,
	int32 object, const std::string& interface, const std::string& name)
{
	const char* signature = PropertySignature(tree, object, interface, name);
	if (signature == nullptr)
		return false;
	const AccessibleNode& node = tree.Node(object);
	DBusMessageIter variant;
	fDBus->dbus_message_iter_open_container(iter, DBUS_TYPE_VARIANT,
		signature, &variant);
	if (name == "Name")
		_AppendString(&variant, node.name);
	else if (name == "Locale")
		_AppendString(&variant, Locale());
	else if (name == "Description" || name == "AccessibleId")
		_AppendString(&variant, "");
	else if (name == "Parent")
		_AppendParent(&variant, tree, object);
	else if (name == "ChildCount")
		_AppendInt32(&variant, int32(tree.Children(object).size()));
	else if (name == "ToolkitName")
		_AppendString(&variant, "Belvo");
	else if (name == "Version")
		_AppendString(&variant, fToolkitVersion);
	else if (name == "AtspiVersion")
		_AppendString(&variant, "2.1");
	else if (name == "Id")
		_AppendInt32(&variant, fId);
	else if (name == "NActions" || name == "nActions")
		_AppendInt32(&variant, int32(node.actions.size()));
	else {
		int32 count = 0;
		for (int32 child : tree.Children(object)) {
			if ((tree.Node(child).states & StateBit(kStateSelected)) != 0)
				count++;
		}
		_AppendInt32(&variant, count);
	}
	fDBus->dbus_message_iter_close_container(iter, &variant);
	return true;
}

bool
AtSpiServer::_HandleAccessible(Reply& reply, const AccessibleTree& tree,
	int32 object, const char* member)
{
	static const Method kMethods[] = {
		{ "GetChildAtIndex", "i" }, { "GetChildren", "" },
		{ "GetIndexInParent", "" }, { "GetRelationSet", "" },
		{ "GetRole", "" }, { "GetRoleName", "" },
		{ "GetLocalizedRoleName", "" }, { "GetState", "" },
		{ "GetAttributes", "" }, { "GetApplication", "" },
		{ "GetInterfaces", "" },
	};
	const Method* method = FindMethod(kMethods, member);
	if (method == nullptr)
		return false;
	DBusMessageIter* iter = _BeginReturn(reply, method->signature);
	if (iter == nullptr)
		return true;
	const AccessibleNode& node = tree.Node(object);
	const std::vector<int32>& children = tree.Children(object);
	if (method == &kMethods[0]) {
		dbus_int32_t index = _IndexArgument(reply, children.size());
		if (index >= 0)
			_AppendObject(iter, tree, children[index]);
	} else if (strcmp(member, "GetChildren") == 0) {
		DBusMessageIter array;
		fDBus->dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY, "(so)",
			&array);
		for (int32 child : children)
			_AppendObject(&array, tree, child);
		fDBus->dbus_message_iter_close_container(iter, &array);
	} else if (strcmp(member, "GetIndexInParent") == 0)
		_AppendInt32(iter, tree.IndexInParent(object));
	else if (strcmp(member, "GetRelationSet") == 0) {
		DBusMessageIter array;
		fDBus->dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY,
			"(ua(so))", &array);
		fDBus->dbus_message_iter_close_container(iter, &array);
	} else if (strcmp(member, "GetRole") == 0)
		_AppendUint32(iter, node.role);
	else if (strcmp(member, "GetRoleName") == 0
		|| strcmp(member, "GetLocalizedRoleName") == 0)
		_AppendString(iter, RoleName(node.role));
	else if (strcmp(member, "GetState") == 0)
		_AppendStates(iter, node.states);
	else if (strcmp(member, "GetAttributes") == 0) {
		DBusMessageIter array;
		fDBus->dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY, "{ss}",
			&array);
		fDBus->dbus_message_iter_close_container(iter, &array);
	} else if (strcmp(member, "GetApplication") == 0)
		_AppendObject(iter, tree, AccessibleTree::kRoot);
	else
		_AppendInterfaces(iter, tree, object);
	return true;
}

bool
AtSpiServer::_HandleApplication(Reply& reply, const AccessibleTree&, int32,
	const char* member)
{
	static const Method kMethods[] = {
		{ "GetLocale", "u" }, { "GetApplicationBusAddress", "" },
	};
	const Method* method = FindMethod(kMethods, member);
	if (method == nullptr)
		return false;
	// No bus of the application's own: everything goes over this one.
	if (DBusMessageIter* iter = _BeginReturn(reply, method->signature))
		_AppendString(iter, method == &kMethods[0] ? Locale() : std::string());
	return true;
}

bool
AtSpiServer::_HandleComponent(Reply& reply, const AccessibleTree& tree,
	int32 object, const char* member, const ActionHandler& act)
{
	static const Method kMethods[] = {
		{ "Contains", "iiu" }, { "GetAccessibleAtPoint", "iiu" },
		{ "GetExtents", "u" }, { "GetPosition", "u" }, { "GetSize", "" },
		{ "GetLayer", "" }, { "GetMDIZOrder", "" }, { "GrabFocus", "" },
		{ "GetAlpha", "" }, { "SetExtents", "iiiiu" },
		{ "SetPosition", "iiu" }, { "SetSize", "ii" }, { "ScrollTo", "u" },
		{ "ScrollToPoint", "uii" },
	};
	const Method* method = FindMethod(kMethods, member);
	if (method == nullptr)
		return false;
	DBusMessageIter* iter = _BeginReturn(reply, method->signature);
	if (iter == nullptr)
		return true;

	// The arguments, all of them of fixed size: ints, then the coordinates
	// last where there are any.
	dbus_int32_t numbers[4] = { 0, 0, 0, 0 };
	dbus_uint32_t coordinates = 0;
	DBusMessageIter args;
	if (fDBus->dbus_message_iter_init(reply.call, &args)) {
		int count = 0;
		do {
			int type = fDBus->dbus_message_iter_get_arg_type(&args);
			if (type == DBUS_TYPE_INT32 && count < 4)
				fDBus->dbus_message_iter_get_basic(&args, &numbers[count++]);
			else if (type == DBUS_TYPE_UINT32)
				fDBus->dbus_message_iter_get_basic(&args, &coordinates);
		} while (fDBus->dbus_message_iter_next(&args));
	}

	AccessibleRect extents = AccessibleExtents(tree, object,
		coordinates <= 2 ? coordinates : 0);
	const char* name = method->name;
	if (strcmp(name, "Contains") == 0)
		_AppendBool(iter, Contains(extents, numbers[0], numbers[1]));
	else if (strcmp(name, "GetAccessibleAtPoint") == 0) {
		// The deepest showing object under the point, in the same terms
		// as the object's own extents.
		int32 found = -1;
		int32 candidate = object;
		int32 x = numbers[0] + tree.Node(object).frame.x - extents.x;
		int32 y = numbers[1] + tree.Node(object).frame.y - extents.y;
		while (candidate >= 0) {
			int32 deeper = -1;
			for (int32 child : tree.Children(candidate)) {
				if (IsShowing(tree, child)
					&& Contains(tree.Node(child).frame, x, y))
					deeper = child;
			}
			if (deeper < 0)
				break;
			found = candidate = deeper;
		}
		if (found >= 0)
			_AppendObject(iter, tree, found);
		else
			_AppendReference(iter, "", kNullPath);
	} else if (strcmp(name, "GetExtents") == 0) {
		DBusMessageIter rect;
		fDBus->dbus_message_iter_open_container(iter, DBUS_TYPE_STRUCT,
			nullptr, &rect);
		_AppendInt32(&rect, extents.x);
		_AppendInt32(&rect, extents.y);
		_AppendInt32(&rect, extents.width);
		_AppendInt32(&rect, extents.height);
		fDBus->dbus_message_iter_close_container(iter, &rect);
	} else if (strcmp(name, "GetPosition") == 0) {
		_AppendInt32(iter, extents.x);
		_AppendInt32(iter, extents.y);
	} else if (strcmp(name, "GetSize") == 0) {
		_AppendInt32(iter, extents.width);
		_AppendInt32(iter, extents.height);
	} else if (strcmp(name, "GetLayer") == 0) {
		uint32 role = tree.Node(object).role;
		_AppendUint32(iter, tree.Parent(object) == AccessibleTree::kRoot
			? kLayerWindow : role == kRoleMenu || role == kRoleRadioMenuItem
			? kLayerPopup : kLayerWidget);
	} else if (strcmp(name, "GetMDIZOrder") == 0) {
		dbus_int16_t none = -1;
		fDBus->dbus_message_iter_append_basic(iter, DBUS_TYPE_INT16, &none);
	} else if (strcmp(name, "GrabFocus") == 0) {
		bool focusable = (tree.Node(object).states
			& StateBit(kStateFocusable)) != 0;
		_AppendBool(iter, focusable && act(tree.WindowKey(object),
			tree.NodeIndex(object), AccessibleActionSink::kGrabFocus));
	} else if (strcmp(name, "GetAlpha") == 0) {
		double alpha = 1.0;
		fDBus->dbus_message_iter_append_basic(iter, DBUS_TYPE_DOUBLE, &alpha);
	} else {
		// The kits' windows stay where and as large as they are.
		_AppendBool(iter, false);
	}
	return true;
}

bool
AtSpiServer::_HandleAction(Reply& reply, const AccessibleTree& tree,
	int32 object, const char* member, const ActionHandler& act)
{
	static const Method kMethods[] = {
		{ "GetActions", "" }, { "GetDescription", "i" }, { "GetName", "i" },
		{ "GetLocalizedName", "i" }, { "GetKeyBinding", "i" },
		{ "DoAction", "i" },
	};
	const Method* method = FindMethod(kMethods, member);
	if (method == nullptr)
		return false;
	DBusMessageIter* iter = _BeginReturn(reply, method->signature);
	if (iter == nullptr)
		return true;
	const std::vector<std::string>& actions = tree.Node(object).actions;
	if (method == &kMethods[0]) {
		DBusMessageIter array;
		fDBus->dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY, "(sss)",
			&array);
		for (const std::string& action : actions) {
			DBusMessageIter entry;
			fDBus->dbus_message_iter_open_container(&array, DBUS_TYPE_STRUCT,
				nullptr, &entry);
			_AppendString(&entry, action);
			_AppendString(&entry, action);
			_AppendString(&entry, "");
			fDBus->dbus_message_iter_close_container(&array, &entry);
		}
		fDBus->dbus_message_iter_close_container(iter, &array);
		return true;
	}
	// The rest name one of the actions.
	dbus_int32_t index = _IndexArgument(reply, actions.size());
	if (index < 0)
		return true;
	if (strcmp(member, "DoAction") == 0) {
		_AppendBool(iter, act(tree.WindowKey(object), tree.NodeIndex(object),
			index));
	} else if (strcmp(member, "GetKeyBinding") == 0)
		_AppendString(iter, "");
	else
		_AppendString(iter, actions[index]);
	return true;
}

bool
AtSpiServer::_HandleSelection(Reply& reply, const AccessibleTree& tree,
	int32 object, const char* member)
{
	static const Method kMethods[] = {
		{ "GetSelectedChild", "i" }, { "SelectChild", "i" },
		{ "DeselectSelectedChild", "i" }, { "IsChildSelected", "i" },
		{ "SelectAll", "" }, { "ClearSelection", "" }, { "DeselectChild", "i" },
	};
	const Method* method = FindMethod(kMethods, member);
	if (method == nullptr)
		return false;
	DBusMessageIter* iter = _BeginReturn(reply, method->signature);
	if (iter == nullptr)
		return true;
	std::vector<int32> selected;
	const std::vector<int32>& children = tree.Children(object);
	for (int32 child : children) {
		if ((tree.Node(child).states & StateBit(kStateSelected)) != 0)
			selected.push_back(child);
	}
	if (method == &kMethods[0]) {
		dbus_int32_t index = _IndexArgument(reply, selected.size());
		if (index >= 0)
			_AppendObject(iter, tree, selected[index]);
	} else if (strcmp(method->name, "IsChildSelected") == 0) {
		dbus_int32_t index = _FirstInt32(reply.call);
		_AppendBool(iter, index >= 0 && size_t(index) < children.size()
			&& (tree.Node(children[index]).states
				& StateBit(kStateSelected)) != 0);
	} else {
		// What is selected is the menu's highlight, which follows the
		// user's pointer and keys; a screen reader moves it by those too.
		_AppendBool(iter, false);
	}
	return true;
}

DBusMessageIter*
AtSpiServer::_BeginReturn(Reply& reply, const char* signature)
{
	if (!fDBus->dbus_message_has_signature(reply.call, signature)) {
		reply.Fail(kInvalidArgs, "wrong arguments");
		return nullptr;
	}
	reply.message = fDBus->dbus_message_new_method_return(reply.call);
	if (reply.message == nullptr)
		return nullptr;
	fDBus->dbus_message_iter_init_append(reply.message, &reply.iter);
	return &reply.iter;
}

dbus_int32_t
AtSpiServer::_FirstInt32(DBusMessage* call)
{
	DBusMessageIter args;
	dbus_int32_t value = -1;
	if (fDBus->dbus_message_iter_init(call, &args)
		&& fDBus->dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_INT32)
		fDBus->dbus_message_iter_get_basic(&args, &value);
	return value;
}

dbus_int32_t
AtSpiServer::_IndexArgument(Reply& reply, size_t count)
{
	dbus_int32_t index = _FirstInt32(reply.call);
	if (index >= 0 && size_t(index) < count)
		return index;
	reply.Fail(kInvalidArgs, "no such index");
	return -1;
}

void
AtSpiServer::_GetItems(Reply& reply, const AccessibleTree& tree)
{
	DBusMessageIter* iter = _BeginReturn(reply, "");
	if (iter == nullptr)
		return;
	DBusMessageIter array;
	fDBus->dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY,
		"((so)(so)(so)iiassusau)", &array);
	// Every object but the application, whose parent is the registry's.
	for (int32 object = 1; object < tree.Count(); object++) {
		const AccessibleNode& node = tree.Node(object);
		DBusMessageIter item;
		fDBus->dbus_message_iter_open_container(&array, DBUS_TYPE_STRUCT,
			nullptr, &item);
		_AppendObject(&item, tree, object);
		_AppendObject(&item, tree, AccessibleTree::kRoot);
		_AppendParent(&item, tree, object);
		_AppendInt32(&item, tree.IndexInParent(object));
		_AppendInt32(&item, int32(tree.Children(object).size()));
		_AppendInterfaces(&item, tree, object);
		_AppendString(&item, node.name);
		_AppendUint32(&item, node.role);
		_AppendString(&item, "");
		_AppendStates(&item, node.states);
		fDBus->dbus_message_iter_close_container(&array, &item);
	}
	fDBus->dbus_message_iter_close_container(iter, &array);
}

void
AtSpiServer::_AppendReference(DBusMessageIter* iter, const std::string& bus,
	const std::string& path)
{
	DBusMessageIter reference;
	fDBus->dbus_message_iter_open_container(iter, DBUS_TYPE_STRUCT, nullptr,
		&reference);
	_AppendString(&reference, bus);
	const char* value = path.c_str();
	fDBus->dbus_message_iter_append_basic(&reference, DBUS_TYPE_OBJECT_PATH,
		&value);
	fDBus->dbus_message_iter_close_container(iter, &reference);
}

void
AtSpiServer::_AppendObject(DBusMessageIter* iter, const AccessibleTree& tree,
	int32 object)
{
	_AppendReference(iter, fUniqueName, tree.PathOf(object));
}

void
AtSpiServer::_AppendParent(DBusMessageIter* iter, const AccessibleTree& tree,
	int32 object)
{
	int32 parent = tree.Parent(object);
	if (parent >= 0)
		_AppendObject(iter, tree, parent);
	else if (!fDesktopPath.empty())
		_AppendReference(iter, fDesktopBus, fDesktopPath);
	else
		_AppendReference(iter, "", kNullPath);
}

void
AtSpiServer::_AppendString(DBusMessageIter* iter, const std::string& value)
{
	std::string valid = ValidUtf8(value);
	const char* text = valid.c_str();
	fDBus->dbus_message_iter_append_basic(iter, DBUS_TYPE_STRING, &text);
}

void
AtSpiServer::_AppendInt32(DBusMessageIter* iter, int32 value)
{
	dbus_int32_t number = value;
	fDBus->dbus_message_iter_append_basic(iter, DBUS_TYPE_INT32, &number);
}

void
AtSpiServer::_AppendUint32(DBusMessageIter* iter, uint32 value)
{
	dbus_uint32_t number = value;
	fDBus->dbus_message_iter_append_basic(iter, DBUS_TYPE_UINT32, &number);
}

void
AtSpiServer::_AppendBool(DBusMessageIter* iter, bool value)
{
	dbus_bool_t truth = value ? TRUE : FALSE;
	fDBus->dbus_message_iter_append_basic(iter, DBUS_TYPE_BOOLEAN, &truth);
}

void
AtSpiServer::_AppendStates(DBusMessageIter* iter, AccessibleStateSet states)
{
	uint32 words[2];
	SplitStateSet(states, words);
	DBusMessageIter array;
	fDBus->dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY, "u",
		&array);
	_AppendUint32(&array, words[0]);
	_AppendUint32(&array, words[1]);
	fDBus->dbus_message_iter_close_container(iter, &array);
}

void
AtSpiServer::_AppendInterfaces(DBusMessageIter* iter,
	const AccessibleTree& tree, int32 object)
{
	DBusMessageIter array;
	fDBus->dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY, "s",
		&array);
	for (const std::string& name : AccessibleInterfaces(tree, object))
		_AppendString(&array, name);
	fDBus->dbus_message_iter_close_container(iter, &array);
}

} // namespace BPrivate
