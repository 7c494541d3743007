/*
 * BApplication: the program's message loop, on the thread that calls
 * Run() (main's). Its constructor, on that same thread, blocks the quit
 * signals (a thread of its own takes them and posts the quit request),
 * checks for a running instance of a single-launch program, starts the
 * sound server's connection and then the display thread, and installs the
 * hook through which a lost display asks everything to quit. A quit
 * request asks every window on the window's own thread; Run() returns once
 * they are gone, and the destructor waits for their threads before the
 * display closes.
 */
#include <Application.h>

#include <private/AccessibilityBridge.h>
#include <private/AudioDevice.h>
#include <private/Display.h>

#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <atomic>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <strings.h>
#include <vector>

#include <Message.h>

#include <private/AppPrivate.h>
#include <private/SignalWatcher.h>
#include <AppDefs.h>
#include <Resources.h>
#include <private/LaunchGuard.h>
#include <private/ResourceData.h>
#include <private/LooperThreads.h>
#include <private/ThreadId.h>
#include <private/WindowRegistry.h>

BApplication* be_app = nullptr;
BMessenger be_app_messenger;

namespace BPrivate {

namespace {

const size_t kMaxSignatureLength = 255;

// Constant-initialised, so that it is there before the static initialiser
// that sets it runs.
std::atomic<void (*)()> sStartupWarmUp{nullptr};
std::mutex sWarmUpLock;
std::thread sWarmUpThread;

void
StartWarmUp()
{
	void (*warmUp)() = sStartupWarmUp.load();
	if (warmUp == nullptr)
		return;
	std::lock_guard<std::mutex> lock(sWarmUpLock);
	if (sWarmUpThread.joinable())
		return;
	sWarmUpThread = std::thread([warmUp] {
		pthread_setname_np(pthread_self(), "belvo-warm-up");
		warmUp();
	});
}

void
JoinWarmUp()
{
	std::lock_guard<std::mutex> lock(sWarmUpLock);
	if (sWarmUpThread.joinable())
		sWarmUpThread.join();
}

// The one application object of the process, claimed by its constructor.
std::atomic<BApplication*> sApplication{nullptr};
// The application itself, whatever its preferred handler is: where the
// kits' own messages go. Like be_app_messenger, it is set as an application
// claims the process, before any thread of its starts, and left as it is
// when it goes, so that a thread still posting finds nobody there.
BMessenger sApplicationMessenger;

// A MIME type of the "application" supertype: "application/x-vnd.Me-App".
bool
IsValidSignature(const char* signature)
{
	static const char kPrefix[] = "application/";
	const size_t prefixLength = sizeof(kPrefix) - 1;
	if (signature == nullptr)
		return false;
	size_t length = strlen(signature);
	if (length <= prefixLength || length > kMaxSignatureLength
		|| strncasecmp(signature, kPrefix, prefixLength) != 0) {
		return false;
	}
	for (const char* c = signature + prefixLength; *c != '\0'; c++) {
		unsigned char byte = (unsigned char)*c;
		if (byte <= ' ' || byte >= 0x7f || strchr("()<>@,;:\\\"/[]?=", byte))
			return false;
	}
	return true;
}

} // namespace

void
SetStartupWarmUp(void (*warmUp)())
{
	sStartupWarmUp = warmUp;
}

Display*
StartDisplay(std::string* error)
{
	if (Display* display = Display::Default())
		return display;
	// Losing it asks everything to quit, with or without an application.
	Display::SetLostHook(&RequestQuitEverywhere);
	if (!Display::Start(error))
		return nullptr;
	return Display::Default();
}

status_t
PostToApplication(uint32 what)
{
	if (sApplication.load() == nullptr)
		return B_NO_INIT;
	return sApplicationMessenger.SendMessage(what);
}

void
RequestQuitEverywhere()
{
	PostToApplication(B_QUIT_REQUESTED);
	// Also to a window whose thread has not started yet: one being shown
	// is on the screen a moment before its loop runs, and its queue keeps
	// the request until then.
	for (const BMessenger& window : WindowRegistry::Windows())
		window.SendMessage(B_QUIT_REQUESTED);
}

} // namespace BPrivate

using namespace BPrivate;

BApplication::BApplication(const char* signature)
	:
	BLooper("application"),
	fInitStatus(B_NO_INIT),
	fReadyToRunCalled(false),
	fQuitPending(false)
{
	_Init(signature);
}

BApplication::BApplication(const char* signature, status_t* error)
	:
	BLooper("application"),
	fInitStatus(B_NO_INIT),
	fReadyToRunCalled(false),
	fQuitPending(false)
{
	_Init(signature);
	if (error != nullptr)
		*error = fInitStatus;
}

BApplication::~BApplication()
{
	if (sApplication.load() != this)
		return;
	// The watcher and the launch guard post to the application; they stop
	// first.
	fSignalWatcher.reset();
	fLaunchGuard.reset();
	BPrivate::JoinWarmUp();
	be_app = nullptr;
	sApplication.store(nullptr);
	// Every window is gone by now, but their threads may still be finishing,
	// and they use the display to the end; the display closes after them.
	// After the display was lost, the process ends in Shutdown(), and only
	// briefly waits for them.
	BPrivate::WaitForLooperThreads(
		BPrivate::Display::ConnectionLost() ? 1000000 : 5000000);
	// Screen readers see the program leave before its display does.
	BPrivate::AccessibilityBridge::Stop();
	BPrivate::Display::Shutdown();
	BPrivate::DiscardPreparedAudioOutput();
}

status_t
BApplication::InitCheck() const
{
	return fInitStatus;
}

const char*
BApplication::Signature() const
{
	return fSignature.c_str();
}

thread_id
BApplication::Run()
{
	if (fInitStatus != B_OK)
		return fInitStatus;
	if (fRunCalled.exchange(true))
		return B_ALREADY_RUNNING;

	thread_id self = CurrentThread();
	_SetThread(self);

	Lock();
	if (!fReadyToRunCalled) {
		fReadyToRunCalled = true;
		ReadyToRun();
	}
	Unlock();

	_Loop();
	return self;
}

void
BApplication::Quit()
{
	if (!_OnLooperThread()) {
		// The application object belongs to the thread that runs it, and it
		// is never deleted here; the loop does the rest.
		PostMessage(kMsgQuitApplication);
		return;
	}
	fQuitPending = true;
	_QuitIfNoWindows();
}

bool
BApplication::QuitRequested()
{
	_AskWindowsToQuit();
	return true;
}

void
BApplication::ReadyToRun()
{
}

void
BApplication::AboutRequested()
{
}

void
BApplication::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (message != nullptr && handler == this) {
		switch (message->what) {
			case B_QUIT_REQUESTED:
				if (QuitRequested())
					Quit();
				return;
			case B_ABOUT_REQUESTED:
				AboutRequested();
				return;
			case B_READY_TO_RUN:
				// Run() has called it already; it is called only once.
				if (!fReadyToRunCalled) {
					fReadyToRunCalled = true;
					ReadyToRun();
				}
				return;
			case kMsgWindowGone:
				_QuitIfNoWindows();
				return;
			case kMsgQuitApplication:
				Quit();
				return;
			case kMsgActivateWindows:
				_ActivateWindows();
				return;
		}
	}
	BLooper::DispatchMessage(message, handler);
}

void
BApplication::MessageReceived(BMessage* message)
{
	BLooper::MessageReceived(message);
}

void
BApplication::_Init(const char* signature)
{
	if (!IsValidSignature(signature)) {
		fprintf(stderr, "BApplication: \"%s\" is not an application "
			"signature (application/...); not starting\n",
			signature != nullptr ? signature : "(null)");
		fInitStatus = B_BAD_VALUE;
		return;
	}
	fSignature = signature;

	BApplication* none = nullptr;
	if (!sApplication.compare_exchange_strong(none, this)) {
		fprintf(stderr, "BApplication: this process already has an "
			"application object; refusing \"%s\"\n", signature);
		fInitStatus = B_ALREADY_RUNNING;
		return;
	}
	be_app = this;
	// Before any thread that posts to the application starts.
	sApplicationMessenger = BMessenger(this);
	be_app_messenger = BMessenger(nullptr, this);

#ifdef __GLIBC__
	// One heap for every thread. glibc gives each thread that allocates an
	// arena of its own, and what the display thread frees after compiling
	// the keymap is then never reused by the sound server's threads, which
	// allocate just after: half a megabyte more resident for nothing. The
	// program's threads allocate little and never while the tone renders,
	// so they have nothing to contend for.
	mallopt(M_ARENA_MAX, 1);
#endif

	// Before any other thread of the program starts, so they all inherit
	// the blocked signals.
	fSignalWatcher.reset(new SignalWatcher);

	if (!_GuardLaunch()) {
		// The running one has brought its window forward; this launch is
		// done, successfully, and says nothing.
		_Abandon(B_ALREADY_RUNNING);
		return;
	}

	// The sound server is connected to while the display starts, so that
	// the first sound waits for the slower of the two, not for both.
	BPrivate::PrepareAudioOutput();
	// The fonts load beside the display's start-up, not after it.
	BPrivate::StartWarmUp();

	// Without a display there is nothing this program can show: say so in
	// one line, before any window or sound is made, and do not run.
	std::string displayError;
	if (BPrivate::StartDisplay(&displayError) == nullptr) {
		fprintf(stderr, "%s: %s\n", program_invocation_short_name,
			displayError.c_str());
		BPrivate::DiscardPreparedAudioOutput();
		_Abandon(B_ERROR);
		return;
	}

	fInitStatus = B_OK;
}

// Undoes what _Init() has set up so far: the object stays, inert, and is
// not be_app.
void
BApplication::_Abandon(status_t why)
{
	fLaunchGuard.reset();
	fSignalWatcher.reset();
	BPrivate::JoinWarmUp();
	be_app = nullptr;
	sApplication.store(nullptr);
	fInitStatus = why;
}

// Whether this launch may run: false when the program runs once and an
// instance of it already runs (it has been asked to show its windows).
bool
BApplication::_GuardLaunch()
{
	// Only programs whose resources ask for it run once; without resources
	// (or with B_MULTIPLE_LAUNCH) every launch runs.
	BResources* resources = BPrivate::AppResources();
	size_t size = 0;
	const void* flagData = resources != nullptr
		? resources->LoadResource('APPF', 1, &size) : nullptr;
	if (flagData == nullptr || size != sizeof(uint32))
		return true;
	const uint8* bytes = static_cast<const uint8*>(flagData);
	uint32 flags = uint32(bytes[0]) | uint32(bytes[1]) << 8
		| uint32(bytes[2]) << 16 | uint32(bytes[3]) << 24;
	uint32 launch = flags & 0x3;
	if (launch == B_MULTIPLE_LAUNCH)
		return true;

	std::string signature = fSignature;
	const char* stored = static_cast<const char*>(
		resources->LoadResource('MIMS', 1, &size));
	if (stored != nullptr && size > 1 && memchr(stored, '\0', size) != nullptr)
		signature = stored;

	std::string why;
	std::string path = BPrivate::LaunchGuard::SocketPath(signature,
		launch == B_SINGLE_LAUNCH, &why);
	if (path.empty()) {
		fprintf(stderr, "%s: %s; not checking for a running instance\n",
			program_invocation_short_name, why.c_str());
		return true;
	}
	fLaunchGuard.reset(new BPrivate::LaunchGuard([](const std::string& token) {
		// The token first, so that the windows' raising finds it.
		BPrivate::Display* display = BPrivate::Display::Default();
		if (!token.empty() && display != nullptr)
			display->OfferActivationToken(token);
		BPrivate::PostToApplication(BPrivate::kMsgActivateWindows);
	}));
	return fLaunchGuard->Acquire(path, &BPrivate::Display::ActivationTokenForLaunch)
		!= BPrivate::LaunchGuard::kOtherInstance;
}

void
BApplication::_ActivateWindows()
{
	for (const BMessenger& window : WindowRegistry::Windows())
		window.SendMessage(BPrivate::kMsgActivateWindows);
}

void
BApplication::_AskWindowsToQuit()
{
	for (const BMessenger& messenger : WindowRegistry::Windows()) {
		// The window's lock keeps it from being destroyed while it is
		// looked at; one that is gone by now needs no asking.
		if (!messenger.LockTarget())
			continue;
		BLooper* window = nullptr;
		messenger.Target(&window);
		if (window->Thread() >= 0) {
			// Its own thread runs QuitRequested() and, if it agrees,
			// Quit(); it leaves the registry as it is destroyed.
			window->Unlock();
			messenger.SendMessage(B_QUIT_REQUESTED);
		} else if (window->QuitRequested()) {
			// A window that was never shown has no thread to ask.
			window->Quit();
		} else
			window->Unlock();
	}
}

void
BApplication::_QuitIfNoWindows()
{
	if (fQuitPending && WindowRegistry::Count() == 0)
		_EndLoop();
}
