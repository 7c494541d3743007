/*
 * Single launch on Linux. An application whose resources say
 * B_SINGLE_LAUNCH (or B_EXCLUSIVE_LAUNCH) runs once per user: the first
 * instance listens on a Unix socket in the user's private runtime directory
 * ($XDG_RUNTIME_DIR, or a 0700 directory of the user's own under /tmp when
 * that is not set), and a later launch that finds it there asks it to bring
 * its windows forward and then ends. Where the window system lets a window
 * come forward only with a token from it (Wayland's xdg-activation), the
 * later launch passes one along with the request.
 *
 * The socket's name is made from the signature in the resources
 * ("BEOS:APP_SIG") and, for single launch, the executable file's device
 * and inode, so that two copies of the program in different places each
 * run once, as BeOS counts single launch per executable file. The
 * directory is the user's alone, so no other user can reach the socket.
 *
 * Threads: the guard is built, asked (Acquire) and destroyed on the
 * application's thread. Its listening thread ("belvo-launch") only accepts
 * and calls `activate`, which must be safe from another thread (the
 * application's posts a message); the destructor wakes it through a pipe and
 * joins it before the socket goes.
 */
#ifndef _PRIVATE_LAUNCH_GUARD_H
#define _PRIVATE_LAUNCH_GUARD_H

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include <SupportDefs.h>

namespace BPrivate {

class LaunchGuard {
public:
	enum Outcome {
		kFirstInstance,   // listening now; the program runs
		kOtherInstance,   // another one runs and was asked to come forward
		kUnguarded,       // no private place for the socket: just run
	};

	// `activate` runs on the guard's own thread when a later launch asks,
	// with the activation token it passed ("" for none).
	typedef std::function<void(const std::string& token)> Activate;
	// What a later launch passes: asked for only once a running instance
	// has been found.
	typedef std::function<std::string()> TokenSource;

							LaunchGuard(Activate activate);
							~LaunchGuard();

	// `path` is the socket's full path.
			Outcome			Acquire(const std::string& path,
								TokenSource token = nullptr);

	// Whether `token` can go over the socket: printable ASCII without
	// spaces, as the window systems make them, and not too long.
	static	bool			IsPassableToken(const std::string& token);

	// The socket path for this process's executable and signature, or ""
	// (with a reason in `why`) when there is no private directory for it.
	static	std::string		SocketPath(const std::string& signature,
								bool perExecutable, std::string* why);
	// The private directory sockets go in, made if need be, or "".
	static	std::string		PrivateDirectory(std::string* why);

private:
			bool			_AskRunning(const std::string& path,
								const TokenSource& token);
			void			_Listen();

			Activate		fActivate;
			std::string		fPath;
			int				fSocket;
			int				fWakePipe[2];
			std::thread		fThread;
			uint64			fDevice;
			uint64			fInode;
};

} // namespace BPrivate

#endif // _PRIVATE_LAUNCH_GUARD_H
