/*
 * Ends a test that hangs instead of letting it block the whole run: if the
 * watchdog is still alive after its time, it names the test and aborts.
 */
#ifndef TESTS_SUPPORT_WATCHDOG_H
#define TESTS_SUPPORT_WATCHDOG_H

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
public:
	explicit Watchdog(std::chrono::seconds limit, std::string what = "test")
		:
		fWhat(std::move(what)),
		fThread([this, limit] {
			std::unique_lock<std::mutex> lock(fLock);
			if (!fDone.wait_for(lock, limit, [this] { return fFinished; })) {
				fprintf(stderr, "watchdog: %s still running after %lld s\n",
					fWhat.c_str(), (long long)limit.count());
				std::abort();
			}
		})
	{
	}

	~Watchdog()
	{
		{
			std::lock_guard<std::mutex> lock(fLock);
			fFinished = true;
		}
		fDone.notify_all();
		fThread.join();
	}

private:
	std::string fWhat;
	std::mutex fLock;
	std::condition_variable fDone;
	bool fFinished = false;
	std::thread fThread;
};

#endif // TESTS_SUPPORT_WATCHDOG_H
