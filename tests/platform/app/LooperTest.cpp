// Loopers and handlers as the window code relies on them: posting never
// waits, order is kept, delivery happens on the looper's thread with its
// lock held, quitting from either side, and handlers that leave.

#include <Looper.h>

#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <AppDefs.h>
#include <Handler.h>
#include <Message.h>

#include <private/ThreadId.h>

#include "../../support/Watchdog.h"
#include "AppTestSupport.h"

namespace {

using namespace std::chrono_literals;

const uint32 kPing = 'ping';
const uint32 kBlock = 'blck';

struct Delivery {
	uint32 what;
	int32 sequence;
	int32 sender;
	thread_id thread;
	BHandler* handler;
	bool lockedByUs;
	bool currentIsThis;
	BLooper* looperForThread;
};

Delivery
Record(BHandler* handler, BMessage* message)
{
	Delivery delivery;
	delivery.what = message->what;
	delivery.sequence = -1;
	delivery.sender = -1;
	message->FindInt32("seq", &delivery.sequence);
	message->FindInt32("sender", &delivery.sender);
	delivery.thread = gettid();
	delivery.handler = handler;
	BLooper* looper = handler->Looper();
	delivery.lockedByUs = looper != NULL && looper->IsLocked();
	delivery.currentIsThis = looper != NULL
		&& looper->CurrentMessage() == message;
	delivery.looperForThread = BLooper::LooperForThread(gettid());
	return delivery;
}

// What happens to a looper after the test has let go of it.
struct Fate {
	Gate destroyed;
	std::atomic<thread_id> destroyedOn{-1};
	std::atomic<int> quitAsked{0};
};

class TestLooper : public BLooper {
public:
	TestLooper(Log<Delivery>* log, Fate* fate = NULL)
		:
		BLooper("test looper"),
		fLog(log),
		fFate(fate)
	{
	}

	~TestLooper() override
	{
		if (fFate != NULL) {
			fFate->destroyedOn = gettid();
			fFate->destroyed.Open();
		}
	}

	void MessageReceived(BMessage* message) override
	{
		if (message->what == kBlock) {
			fBlocked.Open();
			fRelease.Wait();
		}
		if (fLog != NULL)
			fLog->Add(Record(this, message));
	}

	bool QuitRequested() override
	{
		if (fFate != NULL)
			fFate->quitAsked++;
		return fAgree.load();
	}

	Gate fBlocked;
	Gate fRelease;
	std::atomic<bool> fAgree{true};

private:
	Log<Delivery>* fLog;
	Fate* fFate;
};

class RecordingHandler : public BHandler {
public:
	RecordingHandler(Log<Delivery>* log, const char* name = NULL)
		:
		BHandler(name),
		fLog(log)
	{
	}

	void MessageReceived(BMessage* message) override
	{
		fLog->Add(Record(this, message));
	}

private:
	Log<Delivery>* fLog;
};

// Quits a running looper from the test's thread; Quit() returns once it is
// gone.
void
QuitAndWait(BLooper* looper)
{
	looper->Lock();
	looper->Quit();
}

BMessage
Numbered(int32 sequence, int32 sender = 0)
{
	BMessage message(kPing);
	message.AddInt32("seq", sequence);
	message.AddInt32("sender", sender);
	return message;
}

TEST(LooperTest, RunStartsItsOwnThreadAndReportsIt)
{
	Watchdog watchdog(30s, "RunStartsItsOwnThreadAndReportsIt");
	Log<Delivery> log;
	Fate fate;
	TestLooper* looper = new TestLooper(&log, &fate);
	EXPECT_EQ(looper->Thread(), B_ERROR);

	thread_id thread = looper->Run();
	ASSERT_GT(thread, 0);
	EXPECT_NE(thread, gettid());
	EXPECT_EQ(looper->Thread(), thread);
	EXPECT_EQ(looper->Run(), B_ALREADY_RUNNING);

	ASSERT_EQ(looper->PostMessage(kPing), B_OK);
	Delivery delivery = log.WaitFor(1)[0];
	// Named after the looper, as ps -L and gdb show it.
	char comm[32] = {};
	FILE* file = fopen(("/proc/self/task/" + std::to_string(thread)
		+ "/comm").c_str(), "r");
	ASSERT_NE(file, nullptr);
	ASSERT_NE(fgets(comm, sizeof(comm), file), nullptr);
	fclose(file);
	EXPECT_STREQ(comm, "test looper\n");
	// Names are cut to the kernel's 15 bytes, never through a character.
	EXPECT_EQ(BPrivate::ThreadNameFor("w>Stimmger\xc3\xa4t 440"),
		"w>Stimmger\xc3\xa4t 4");
	EXPECT_EQ(BPrivate::ThreadNameFor("w>Stimmgeraetx\xc3\xa4"),
		"w>Stimmgeraetx");
	EXPECT_EQ(delivery.what, kPing);
	EXPECT_EQ(delivery.thread, thread);
	EXPECT_EQ(delivery.handler, looper);
	EXPECT_TRUE(delivery.lockedByUs);
	EXPECT_TRUE(delivery.currentIsThis);
	EXPECT_EQ(delivery.looperForThread, looper);
	EXPECT_EQ(BLooper::LooperForThread(gettid()), nullptr);

	QuitAndWait(looper);
	EXPECT_TRUE(fate.destroyed.IsOpen());
	EXPECT_EQ(fate.destroyedOn.load(), thread);
	EXPECT_EQ(BLooper::LooperForThread(thread), nullptr);
}

TEST(LooperTest, MessagesPostedBeforeRunWaitAndEverythingKeepsItsOrder)
{
	Watchdog watchdog(30s, "MessagesPostedBeforeRunWait");
	Log<Delivery> log;
	TestLooper* looper = new TestLooper(&log);
	for (int32 i = 0; i < 100; i++) {
		BMessage message = Numbered(i);
		ASSERT_EQ(looper->PostMessage(&message), B_OK);
	}
	EXPECT_EQ(log.Count(), 0u);

	looper->Run();
	for (int32 i = 100; i < 500; i++) {
		BMessage message = Numbered(i);
		ASSERT_EQ(looper->PostMessage(&message), B_OK);
	}
	std::vector<Delivery> deliveries = log.WaitFor(500);
	ASSERT_EQ(deliveries.size(), 500u);
	for (int32 i = 0; i < 500; i++)
		ASSERT_EQ(deliveries[i].sequence, i) << "at " << i;
	QuitAndWait(looper);
}

TEST(LooperTest, EachSendersMessagesArriveInTheOrderSent)
{
	Watchdog watchdog(60s, "EachSendersMessagesArriveInTheOrderSent");
	const int32 kSenders = 4;
	const int32 kEach = 500;
	Log<Delivery> log;
	TestLooper* looper = new TestLooper(&log);
	looper->Run();

	std::atomic<int> failures{0};
	std::vector<std::thread> senders;
	for (int32 sender = 0; sender < kSenders; sender++) {
		senders.emplace_back([looper, sender, &failures] {
			for (int32 i = 0; i < kEach; i++) {
				BMessage message = Numbered(i, sender);
				if (looper->PostMessage(&message) != B_OK)
					failures++;
			}
		});
	}
	for (std::thread& sender : senders)
		sender.join();
	EXPECT_EQ(failures.load(), 0);

	std::vector<Delivery> deliveries = log.WaitFor(kSenders * kEach);
	ASSERT_EQ(deliveries.size(), size_t(kSenders * kEach));
	std::vector<int32> next(kSenders, 0);
	for (const Delivery& delivery : deliveries) {
		ASSERT_GE(delivery.sender, 0);
		ASSERT_LT(delivery.sender, kSenders);
		ASSERT_EQ(delivery.sequence, next[delivery.sender]);
		next[delivery.sender]++;
	}
	QuitAndWait(looper);
}

TEST(LooperTest, PostMessageDoesNotWaitForABusyLooper)
{
	Watchdog watchdog(30s, "PostMessageDoesNotWaitForABusyLooper");
	Log<Delivery> log;
	TestLooper* looper = new TestLooper(&log);
	thread_id thread = looper->Run();

	ASSERT_EQ(looper->PostMessage(kBlock), B_OK);
	looper->fBlocked.Wait();

	// The handler is stuck until released; if posting waited for it, this
	// would never finish and the watchdog would end the test.
	for (int32 i = 0; i < 1000; i++) {
		BMessage message = Numbered(i);
		ASSERT_EQ(looper->PostMessage(&message), B_OK);
	}
	// The loop holds the lock while it handles a message.
	EXPECT_EQ(looper->LockingThread(), thread);
	EXPECT_EQ(looper->LockWithTimeout(0), B_TIMED_OUT);
	EXPECT_EQ(looper->LockWithTimeout(1000), B_TIMED_OUT);
	EXPECT_FALSE(looper->IsLocked());
	EXPECT_EQ(log.Count(), 0u);

	looper->fRelease.Open();
	std::vector<Delivery> deliveries = log.WaitFor(1001);
	EXPECT_EQ(deliveries[0].what, kBlock);
	for (int32 i = 0; i < 1000; i++)
		ASSERT_EQ(deliveries[i + 1].sequence, i);
	QuitAndWait(looper);
}

class WatchingLooper : public BLooper {
public:
	void MessageReceived(BMessage*) override
	{
		if (fOutsiderHoldsLock.load())
			fViolations++;
		fHandled++;
	}

	std::atomic<bool> fOutsiderHoldsLock{false};
	std::atomic<int> fViolations{0};
	std::atomic<int> fHandled{0};
};

TEST(LooperTest, HoldingTheLockKeepsTheLoopFromDispatching)
{
	Watchdog watchdog(60s, "HoldingTheLockKeepsTheLoopFromDispatching");
	WatchingLooper* looper = new WatchingLooper;
	looper->Run();

	const int kRounds = 40;
	for (int round = 0; round < kRounds; round++) {
		ASSERT_TRUE(looper->Lock());
		EXPECT_TRUE(looper->IsLocked());
		EXPECT_EQ(looper->LockingThread(), gettid());
		looper->fOutsiderHoldsLock = true;
		ASSERT_EQ(looper->PostMessage(kPing), B_OK);
		// Give the loop every chance to break in while we hold the lock.
		std::this_thread::sleep_for(1ms);
		for (int i = 0; i < 100; i++)
			sched_yield();
		looper->fOutsiderHoldsLock = false;
		looper->Unlock();
	}
	while (looper->fHandled.load() < kRounds)
		std::this_thread::sleep_for(1ms);
	EXPECT_EQ(looper->fViolations.load(), 0);
	QuitAndWait(looper);
}

TEST(LooperTest, TheLockIsRecursiveAndOnlyItsHolderReleasesIt)
{
	Watchdog watchdog(30s, "TheLockIsRecursiveAndOnlyItsHolderReleasesIt");
	BLooper* looper = new BLooper;
	EXPECT_EQ(looper->LockingThread(), B_ERROR);
	ASSERT_TRUE(looper->Lock());
	ASSERT_TRUE(looper->Lock());
	EXPECT_EQ(looper->CountLocks(), 2);

	std::thread other([looper] {
		EXPECT_FALSE(looper->IsLocked());
		EXPECT_EQ(looper->LockWithTimeout(1000), B_TIMED_OUT);
		// Not its lock to give up.
		looper->Unlock();
	});
	other.join();
	EXPECT_EQ(looper->LockingThread(), gettid());
	EXPECT_EQ(looper->CountLocks(), 2);

	looper->Unlock();
	EXPECT_TRUE(looper->IsLocked());
	looper->Unlock();
	EXPECT_FALSE(looper->IsLocked());
	EXPECT_EQ(looper->LockingThread(), B_ERROR);
	// A stray Unlock on a free lock changes nothing.
	looper->Unlock();
	EXPECT_EQ(looper->CountLocks(), 0);

	std::thread taker([looper] {
		EXPECT_EQ(looper->LockWithTimeout(0), B_OK);
		EXPECT_TRUE(looper->IsLocked());
		looper->Unlock();
	});
	taker.join();
	delete looper;
}

TEST(LooperTest, AThreadWaitingForTheLockGetsItWhenReleased)
{
	Watchdog watchdog(30s, "AThreadWaitingForTheLockGetsItWhenReleased");
	BLooper* looper = new BLooper;
	ASSERT_TRUE(looper->Lock());
	std::atomic<bool> got{false};
	std::thread waiter([looper, &got] {
		EXPECT_TRUE(looper->Lock());
		got = true;
		looper->Unlock();
	});
	std::this_thread::sleep_for(5ms);
	EXPECT_FALSE(got.load());
	looper->Unlock();
	waiter.join();
	EXPECT_TRUE(got.load());
	delete looper;
}

TEST(LooperTest, QuitFromItsOwnThreadEndsAfterTheCurrentMessage)
{
	Watchdog watchdog(30s, "QuitFromItsOwnThreadEndsAfterTheCurrentMessage");
	Log<Delivery> log;
	Fate fate;
	TestLooper* looper = new TestLooper(&log, &fate);
	ASSERT_EQ(looper->PostMessage('one '), B_OK);
	ASSERT_EQ(looper->PostMessage(B_QUIT_REQUESTED), B_OK);
	ASSERT_EQ(looper->PostMessage('late'), B_OK);
	thread_id thread = looper->Run();

	fate.destroyed.Wait();
	EXPECT_EQ(fate.destroyedOn.load(), thread);
	EXPECT_EQ(fate.quitAsked.load(), 1);
	std::vector<Delivery> deliveries = log.Values();
	ASSERT_EQ(deliveries.size(), 1u);
	EXPECT_EQ(deliveries[0].what, uint32('one '));
}

TEST(LooperTest, ARefusedQuitKeepsTheLooperRunning)
{
	Watchdog watchdog(30s, "ARefusedQuitKeepsTheLooperRunning");
	Log<Delivery> log;
	Fate fate;
	TestLooper* looper = new TestLooper(&log, &fate);
	looper->fAgree = false;
	looper->Run();
	ASSERT_EQ(looper->PostMessage(B_QUIT_REQUESTED), B_OK);
	ASSERT_EQ(looper->PostMessage(kPing), B_OK);
	EXPECT_EQ(log.WaitFor(1)[0].what, kPing);
	EXPECT_EQ(fate.quitAsked.load(), 1);
	EXPECT_FALSE(fate.destroyed.IsOpen());

	looper->fAgree = true;
	ASSERT_EQ(looper->PostMessage(B_QUIT_REQUESTED), B_OK);
	fate.destroyed.Wait();
	EXPECT_EQ(fate.quitAsked.load(), 2);
}

TEST(LooperTest, QuitFromOutsideReturnsOnceTheLooperIsGone)
{
	Watchdog watchdog(30s, "QuitFromOutsideReturnsOnceTheLooperIsGone");
	Log<Delivery> log;
	Fate fate;
	TestLooper* looper = new TestLooper(&log, &fate);
	thread_id thread = looper->Run();
	ASSERT_EQ(looper->PostMessage(kPing), B_OK);
	log.WaitFor(1);

	// Held twice, and a message waiting that the loop needs the lock for:
	// Quit() must let go, or it would wait forever.
	ASSERT_TRUE(looper->Lock());
	ASSERT_TRUE(looper->Lock());
	ASSERT_EQ(looper->PostMessage(kPing), B_OK);
	looper->Quit();
	EXPECT_TRUE(fate.destroyed.IsOpen());
	EXPECT_EQ(fate.destroyedOn.load(), thread);
	// Quit() skips QuitRequested().
	EXPECT_EQ(fate.quitAsked.load(), 0);
}

TEST(LooperTest, QuitFromOutsideWaitsForAMessageInProgress)
{
	Watchdog watchdog(30s, "QuitFromOutsideWaitsForAMessageInProgress");
	Log<Delivery> log;
	Fate fate;
	TestLooper* looper = new TestLooper(&log, &fate);
	looper->Run();
	ASSERT_EQ(looper->PostMessage(kBlock), B_OK);
	looper->fBlocked.Wait();
	ASSERT_EQ(looper->PostMessage(kPing), B_OK);
	ASSERT_EQ(looper->PostMessage(kPing), B_OK);

	// Once the quit is under way the looper takes no more messages; those
	// it took before are all handled.
	std::atomic<int> taken{0};
	std::thread releaser([looper, &taken] {
		while (looper->PostMessage(kPing) == B_OK)
			taken++;
		looper->fRelease.Open();
	});
	looper->Quit();
	// The handler finished its message before the looper went away.
	EXPECT_TRUE(fate.destroyed.IsOpen());
	releaser.join();
	std::vector<Delivery> handled = log.WaitFor(3 + taken.load());
	ASSERT_EQ(log.Count(), size_t(3 + taken.load()));
	EXPECT_EQ(handled[0].what, kBlock);
	EXPECT_EQ(handled[1].what, kPing);
}

TEST(LooperTest, QuitOnALooperThatNeverRanDeletesItAtOnce)
{
	Log<Delivery> log;
	Fate fate;
	TestLooper* looper = new TestLooper(&log, &fate);
	ASSERT_EQ(looper->PostMessage(kPing), B_OK);
	looper->Lock();
	looper->Quit();
	EXPECT_TRUE(fate.destroyed.IsOpen());
	EXPECT_EQ(fate.destroyedOn.load(), gettid());
	EXPECT_EQ(log.Count(), 0u);
}

TEST(LooperTest, PostingAfterTheLoopEndedFails)
{
	// A looper's destructor runs after its loop has ended; what it posts to
	// itself then must be refused, not queued into a dying object.
	struct LateLooper : BLooper {
		std::atomic<status_t>* result;
		~LateLooper() override { *result = PostMessage(kPing); }
	};
	Watchdog watchdog(30s, "PostingAfterTheLoopEndedFails");
	std::atomic<status_t> result{B_OK};
	LateLooper* looper = new LateLooper;
	looper->result = &result;
	looper->Run();
	QuitAndWait(looper);
	EXPECT_EQ(result.load(), B_BAD_PORT_ID);
}

TEST(LooperTest, PostMessageChecksItsArguments)
{
	Log<Delivery> log;
	BLooper* first = new BLooper("first");
	BLooper* second = new BLooper("second");
	RecordingHandler inFirst(&log);
	RecordingHandler nowhere(&log);
	first->AddHandler(&inFirst);

	EXPECT_EQ(first->PostMessage((BMessage*)NULL), B_BAD_VALUE);
	BMessage message(kPing);
	EXPECT_EQ(first->PostMessage(&message, &nowhere), B_BAD_HANDLER);
	EXPECT_EQ(second->PostMessage(&message, &inFirst), B_MISMATCHED_VALUES);
	EXPECT_EQ(first->PostMessage(&message, &inFirst), B_OK);
	EXPECT_EQ(second->PostMessage(&message, second), B_OK);

	first->RemoveHandler(&inFirst);
	delete first;
	delete second;
	EXPECT_EQ(log.Count(), 0u);
}

TEST(LooperTest, MessagesForAHandlerGoToThatHandlerOnTheLooperThread)
{
	Watchdog watchdog(30s, "MessagesForAHandlerGoToThatHandler");
	Log<Delivery> looperLog;
	Log<Delivery> handlerLog;
	TestLooper* looper = new TestLooper(&looperLog);
	RecordingHandler* handler = new RecordingHandler(&handlerLog, "view");
	looper->AddHandler(handler);
	thread_id thread = looper->Run();

	BMessage message = Numbered(7);
	ASSERT_EQ(looper->PostMessage(&message, handler), B_OK);
	Delivery delivery = handlerLog.WaitFor(1)[0];
	EXPECT_EQ(delivery.handler, handler);
	EXPECT_EQ(delivery.sequence, 7);
	EXPECT_EQ(delivery.thread, thread);
	EXPECT_TRUE(delivery.lockedByUs);
	EXPECT_EQ(looperLog.Count(), 0u);

	QuitAndWait(looper);
	// The handler outlives its looper and no longer points at it.
	EXPECT_EQ(handler->Looper(), nullptr);
	EXPECT_EQ(handler->NextHandler(), nullptr);
	delete handler;
}

TEST(LooperTest, AMessageForARemovedHandlerIsDropped)
{
	Watchdog watchdog(30s, "AMessageForARemovedHandlerIsDropped");
	Log<Delivery> looperLog;
	Log<Delivery> keptLog;
	Log<Delivery> deletedLog;
	TestLooper* looper = new TestLooper(&looperLog);
	RecordingHandler kept(&keptLog);
	RecordingHandler* deleted = new RecordingHandler(&deletedLog);
	looper->AddHandler(&kept);
	looper->AddHandler(deleted);

	// Before Run(): queued, then the handlers leave.
	BMessage message(kPing);
	ASSERT_EQ(looper->PostMessage(&message, &kept), B_OK);
	ASSERT_EQ(looper->PostMessage(&message, deleted), B_OK);
	EXPECT_TRUE(looper->RemoveHandler(&kept));
	delete deleted;
	EXPECT_EQ(looper->CountHandlers(), 1);
	looper->Run();

	// While running: the lock keeps the loop off the queue until the
	// handler is gone.
	looper->AddHandler(&kept);
	ASSERT_TRUE(looper->Lock());
	ASSERT_EQ(looper->PostMessage(&message, &kept), B_OK);
	EXPECT_TRUE(looper->RemoveHandler(&kept));
	looper->Unlock();

	// Everything before this marker has been dealt with once it arrives.
	ASSERT_EQ(looper->PostMessage('mark'), B_OK);
	EXPECT_EQ(looperLog.WaitFor(1)[0].what, uint32('mark'));
	EXPECT_EQ(keptLog.Count(), 0u);
	EXPECT_EQ(deletedLog.Count(), 0u);
	QuitAndWait(looper);
}

TEST(LooperTest, HandlerBookkeeping)
{
	Log<Delivery> log;
	BLooper* looper = new BLooper("keeper");
	BLooper* other = new BLooper("other");
	EXPECT_EQ(looper->CountHandlers(), 1);
	EXPECT_EQ(looper->HandlerAt(0), looper);
	EXPECT_EQ(looper->Looper(), looper);

	RecordingHandler first(&log, "first");
	RecordingHandler* second = new RecordingHandler(&log);
	looper->AddHandler(&first);
	looper->AddHandler(second);
	looper->AddHandler(&first);
	looper->AddHandler(NULL);
	EXPECT_EQ(looper->CountHandlers(), 3);
	EXPECT_EQ(looper->IndexOf(&first), 1);
	EXPECT_EQ(looper->IndexOf(second), 2);
	EXPECT_EQ(looper->HandlerAt(3), nullptr);
	EXPECT_EQ(looper->HandlerAt(-1), nullptr);
	EXPECT_EQ(first.Looper(), looper);
	EXPECT_EQ(first.NextHandler(), looper);

	// A handler lives in one looper at a time, and a looper only in itself.
	other->AddHandler(&first);
	other->AddHandler(looper);
	EXPECT_EQ(first.Looper(), looper);
	EXPECT_EQ(other->CountHandlers(), 1);

	EXPECT_FALSE(looper->RemoveHandler(looper));
	EXPECT_FALSE(other->RemoveHandler(&first));
	EXPECT_TRUE(looper->RemoveHandler(&first));
	EXPECT_FALSE(looper->RemoveHandler(&first));
	EXPECT_FALSE(looper->RemoveHandler(NULL));
	EXPECT_EQ(first.Looper(), nullptr);
	EXPECT_EQ(first.NextHandler(), nullptr);
	EXPECT_EQ(looper->IndexOf(second), 1);

	// Deleting a handler takes it out of its looper.
	delete second;
	EXPECT_EQ(looper->CountHandlers(), 1);

	other->AddHandler(&first);
	EXPECT_EQ(first.Looper(), other);
	delete other;
	EXPECT_EQ(first.Looper(), nullptr);
	delete looper;
}

TEST(LooperTest, UnhandledMessagesGoOnToTheNextHandler)
{
	Watchdog watchdog(30s, "UnhandledMessagesGoOnToTheNextHandler");
	Log<Delivery> looperLog;
	TestLooper* looper = new TestLooper(&looperLog);
	BHandler* plain = new BHandler("plain");
	looper->AddHandler(plain);
	looper->Run();

	BMessage message = Numbered(3);
	ASSERT_EQ(looper->PostMessage(&message, plain), B_OK);
	Delivery delivery = looperLog.WaitFor(1)[0];
	EXPECT_EQ(delivery.sequence, 3);
	EXPECT_EQ(delivery.handler, looper);
	QuitAndWait(looper);
	delete plain;
}

TEST(LooperTest, NextHandlerChainsNeverLoop)
{
	BHandler a("a");
	BHandler b("b");
	BHandler c("c");
	a.SetNextHandler(&b);
	b.SetNextHandler(&c);
	EXPECT_EQ(a.NextHandler(), &b);
	c.SetNextHandler(&a);
	EXPECT_EQ(c.NextHandler(), nullptr);
	a.SetNextHandler(&a);
	EXPECT_EQ(a.NextHandler(), &b);

	// The base hook passes along the chain and ends.
	BMessage message(kPing);
	a.MessageReceived(&message);
	a.MessageReceived(NULL);

	// A handler in another looper is not a valid next handler.
	BLooper* looper = new BLooper;
	BHandler inLooper;
	looper->AddHandler(&inLooper);
	a.SetNextHandler(&inLooper);
	EXPECT_EQ(a.NextHandler(), &b);
	a.SetNextHandler(NULL);
	EXPECT_EQ(a.NextHandler(), nullptr);
	looper->RemoveHandler(&inLooper);
	delete looper;
}

TEST(LooperTest, HandlersHaveNames)
{
	BHandler unnamed;
	EXPECT_EQ(unnamed.Name(), nullptr);
	unnamed.SetName("volume");
	EXPECT_STREQ(unnamed.Name(), "volume");
	unnamed.SetName(NULL);
	EXPECT_EQ(unnamed.Name(), nullptr);
	BHandler named("note");
	EXPECT_STREQ(named.Name(), "note");
	BHandler empty("");
	EXPECT_STREQ(empty.Name(), "");
}

class RoutingLooper : public BLooper {
public:
	RoutingLooper(Log<Delivery>* log) : fLog(log) {}

	void DispatchMessage(BMessage* message, BHandler* handler) override
	{
		Delivery delivery = Record(handler, message);
		BLooper::DispatchMessage(message, handler);
		// Logged after the base version, so a waiting test sees its effects.
		fLog->Add(delivery);
	}

	bool QuitRequested() override
	{
		fQuitAsked++;
		return false;
	}

	std::atomic<int> fQuitAsked{0};

private:
	Log<Delivery>* fLog;
};

TEST(LooperTest, DispatchMessageSeesEveryMessageWithItsTarget)
{
	Watchdog watchdog(30s, "DispatchMessageSeesEveryMessageWithItsTarget");
	Log<Delivery> dispatchLog;
	Log<Delivery> handlerLog;
	RoutingLooper* looper = new RoutingLooper(&dispatchLog);
	RecordingHandler handler(&handlerLog);
	looper->AddHandler(&handler);

	BMessage message(kPing);
	ASSERT_EQ(looper->PostMessage(&message, &handler), B_OK);
	ASSERT_EQ(looper->PostMessage(kPing), B_OK);
	ASSERT_EQ(looper->PostMessage(B_QUIT_REQUESTED), B_OK);
	looper->Run();

	std::vector<Delivery> deliveries = dispatchLog.WaitFor(3);
	EXPECT_EQ(deliveries[0].handler, &handler);
	EXPECT_EQ(deliveries[1].handler, looper);
	EXPECT_EQ(deliveries[2].what, uint32(B_QUIT_REQUESTED));
	EXPECT_EQ(deliveries[2].handler, looper);
	EXPECT_TRUE(deliveries[2].lockedByUs);
	// The base version asked, and the refusal kept the looper alive.
	EXPECT_EQ(looper->fQuitAsked.load(), 1);
	EXPECT_EQ(handlerLog.Values().size(), 1u);
	looper->RemoveHandler(&handler);
	QuitAndWait(looper);
}

TEST(LooperTest, ThePreferredHandlerTakesUntargetedMessages)
{
	Watchdog watchdog(30s, "ThePreferredHandlerTakesUntargetedMessages");
	Log<Delivery> looperLog;
	Log<Delivery> handlerLog;
	TestLooper* looper = new TestLooper(&looperLog);
	RecordingHandler* focus = new RecordingHandler(&handlerLog);
	RecordingHandler stranger(&handlerLog);
	EXPECT_EQ(looper->PreferredHandler(), looper);
	looper->SetPreferredHandler(&stranger);
	EXPECT_EQ(looper->PreferredHandler(), looper);
	looper->AddHandler(focus);
	looper->SetPreferredHandler(focus);
	EXPECT_EQ(looper->PreferredHandler(), focus);
	looper->Run();

	ASSERT_EQ(looper->PostMessage(kPing), B_OK);
	EXPECT_EQ(handlerLog.WaitFor(1)[0].handler, focus);

	// Once the preferred handler is gone, the looper takes them again.
	ASSERT_TRUE(looper->Lock());
	looper->RemoveHandler(focus);
	looper->Unlock();
	delete focus;
	EXPECT_EQ(looper->PreferredHandler(), looper);
	ASSERT_EQ(looper->PostMessage(kPing), B_OK);
	EXPECT_EQ(looperLog.WaitFor(1)[0].handler, looper);
	QuitAndWait(looper);
}

TEST(LooperTest, ManyLoopersStartAndQuitSideBySide)
{
	Watchdog watchdog(60s, "ManyLoopersStartAndQuitSideBySide");
	const int kLoopers = 16;
	std::vector<Fate> fates(kLoopers);
	std::vector<Log<Delivery>> logs(kLoopers);
	std::vector<TestLooper*> loopers;
	for (int i = 0; i < kLoopers; i++) {
		loopers.push_back(new TestLooper(&logs[i], &fates[i]));
		loopers.back()->Run();
	}
	for (int round = 0; round < 20; round++) {
		for (int i = 0; i < kLoopers; i++) {
			BMessage message = Numbered(round);
			ASSERT_EQ(loopers[i]->PostMessage(&message), B_OK);
		}
	}
	for (int i = 0; i < kLoopers; i++)
		logs[i].WaitFor(20);
	// Half quit from threads of their own, half through their own loop.
	std::vector<std::thread> quitters;
	for (int i = 0; i < kLoopers; i++) {
		if (i % 2 == 0)
			quitters.emplace_back([looper = loopers[i]] { looper->Quit(); });
		else
			ASSERT_EQ(loopers[i]->PostMessage(B_QUIT_REQUESTED), B_OK);
	}
	for (std::thread& quitter : quitters)
		quitter.join();
	for (int i = 0; i < kLoopers; i++) {
		fates[i].destroyed.Wait();
		EXPECT_NE(fates[i].destroyedOn.load(), gettid());
	}
}

} // namespace
