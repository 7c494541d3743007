// What the Application Kit tests share: one-shot gates and counters that a
// test thread can wait on, with no sleeping and no time limits of their own
// (each threaded test has a watchdog for that).
#ifndef TESTS_PLATFORM_APP_APP_TEST_SUPPORT_H
#define TESTS_PLATFORM_APP_APP_TEST_SUPPORT_H

#include <condition_variable>
#include <mutex>
#include <vector>

#include <SupportDefs.h>

// A flag that is raised once and waited for.
class Gate {
public:
	void Open()
	{
		std::lock_guard<std::mutex> lock(fLock);
		fOpen = true;
		fChanged.notify_all();
	}

	void Wait()
	{
		std::unique_lock<std::mutex> lock(fLock);
		fChanged.wait(lock, [this] { return fOpen; });
	}

	bool IsOpen()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fOpen;
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	bool fOpen = false;
};

// A log of values written by one thread and read by another.
template<typename T>
class Log {
public:
	void Add(const T& value)
	{
		std::lock_guard<std::mutex> lock(fLock);
		fValues.push_back(value);
		fChanged.notify_all();
	}

	// Waits until at least count values are in, and returns all of them.
	std::vector<T> WaitFor(size_t count)
	{
		std::unique_lock<std::mutex> lock(fLock);
		fChanged.wait(lock, [this, count] { return fValues.size() >= count; });
		return fValues;
	}

	std::vector<T> Values()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fValues;
	}

	size_t Count()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fValues.size();
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<T> fValues;
};

#endif // TESTS_PLATFORM_APP_APP_TEST_SUPPORT_H
