/*
 * BApplication: the program's own looper, run on the thread that calls Run().
 *
 * There is one application object in a process; be_app points at it. A
 * second one is refused: its InitCheck() reports B_ALREADY_RUNNING, it does
 * not become be_app, and its Run() returns at once.
 *
 * The constructor never ends the process; what it found is InitCheck()'s
 * (and the optional error's) to tell, and Run() returns it at once without
 * running: B_BAD_VALUE for a signature that is not "application/...",
 * B_ALREADY_RUNNING for a second object in the process or, for a program
 * whose resources ask for B_SINGLE_LAUNCH or B_EXCLUSIVE_LAUNCH, when
 * another instance already runs (it has been asked to bring its windows
 * forward), and B_ERROR when no display could be opened (said on stderr in
 * one line). Only with B_OK is there a display to make windows on.
 *
 * Quitting: B_QUIT_REQUESTED posted to the application calls QuitRequested(),
 * whose base version asks every open window to quit through its own
 * QuitRequested() and agrees; Quit() then ends Run() as soon as the last
 * window is gone, which may be at once. A window that refuses keeps the
 * application running, and a later quit request asks it again. The loop goes
 * on handling messages while it waits. A subclass that overrides
 * QuitRequested() should call the base version when it agrees to quit;
 * otherwise no window is asked, and Run() waits for windows never told.
 *
 * SIGINT and SIGTERM post B_QUIT_REQUESTED to the application. The
 * constructor blocks both in the calling thread, so build the application
 * before starting other threads, and destroy it on the same thread.
 *
 * Threads: PostMessage() and Quit() are safe from any thread. The hooks
 * (ReadyToRun, QuitRequested, AboutRequested, MessageReceived) run on the
 * application's thread with its looper locked. InitCheck() and Signature()
 * are only set by the constructor, so any thread may read them afterwards.
 */
#ifndef _APPLICATION_H
#define _APPLICATION_H

#include <memory>
#include <string>

#include <AppDefs.h>
#include <Looper.h>
#include <Messenger.h>

namespace BPrivate {
class LaunchGuard;
class SignalWatcher;
}

class BApplication : public BLooper {
public:
								BApplication(const char* signature);
								BApplication(const char* signature,
									status_t* error);
	virtual						~BApplication();

			status_t			InitCheck() const;
			const char*			Signature() const;

	// Runs the loop on the calling thread until the application quits, and
	// returns that thread's id, or an error when the application could not
	// be set up or has run before.
	virtual	thread_id			Run();

	// On the application's thread while it runs: ends Run() once no window
	// is left. From any other thread, or before Run(), the request is
	// queued and carried out by the loop; the call does not wait.
	virtual	void				Quit();
	virtual	bool				QuitRequested();

	// Called once, on the application's thread, when Run() starts.
	virtual	void				ReadyToRun();
	// Called on the application's thread when B_ABOUT_REQUESTED reaches the
	// application.
	virtual	void				AboutRequested();

	virtual	void				DispatchMessage(BMessage* message,
									BHandler* handler);
	virtual	void				MessageReceived(BMessage* message);

private:
			void				_Init(const char* signature);
			void				_AskWindowsToQuit();
			void				_QuitIfNoWindows();
			bool				_GuardLaunch();
			void				_Abandon(status_t why);
			void				_ActivateWindows();

			std::string			fSignature;
			status_t			fInitStatus;
			bool				fReadyToRunCalled;
			bool				fQuitPending;
			std::unique_ptr<BPrivate::SignalWatcher> fSignalWatcher;
			std::unique_ptr<BPrivate::LaunchGuard> fLaunchGuard;
};

extern BApplication* be_app;
// The application's preferred handler, reachable from any thread; it finds
// nobody once the application is gone.
extern BMessenger be_app_messenger;

#endif // _APPLICATION_H
