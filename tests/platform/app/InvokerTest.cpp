// BInvoker as a menu item uses it: a copy of its message reaches the target
// through the target's looper, whichever looper the target joined, and a
// target that is gone is reported, never touched.

#include <Invoker.h>
#include <Messenger.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <Handler.h>
#include <Looper.h>
#include <Message.h>

#include "../../support/Watchdog.h"
#include "AppTestSupport.h"

namespace {

using namespace std::chrono_literals;

struct Received {
	uint32 what;
	int16 freq;
	thread_id thread;
	const BMessage* address;
	BLooper* looper;
};

class TargetHandler : public BHandler {
public:
	TargetHandler(Log<Received>* log) : BHandler("target"), fLog(log) {}

	void MessageReceived(BMessage* message) override
	{
		Received received;
		received.what = message->what;
		received.freq = -1;
		message->FindInt16("freq", &received.freq);
		received.thread = gettid();
		received.address = message;
		received.looper = Looper();
		fLog->Add(received);
	}

private:
	Log<Received>* fLog;
};

class TargetLooper : public BLooper {
public:
	TargetLooper(Log<Received>* log) : fTarget(log) {}

	void MessageReceived(BMessage* message) override
	{
		fTarget.MessageReceived(message);
	}

private:
	TargetHandler fTarget;
};

BMessage*
FreqMessage(int16 freq)
{
	BMessage* message = new BMessage('cm01');
	message->AddInt16("freq", freq);
	return message;
}

void
QuitAndWait(BLooper* looper)
{
	looper->Lock();
	looper->Quit();
}

TEST(InvokerTest, DeliversACopyThroughTheLooperTheTargetJoinedLater)
{
	Watchdog watchdog(30s, "DeliversACopyThroughTheLooperTheTargetJoinedLater");
	Log<Received> log;
	TargetHandler* view = new TargetHandler(&log);
	BInvoker item(FreqMessage(587), view);
	EXPECT_EQ(item.Command(), uint32('cm01'));

	// Not in a looper yet: there is nowhere to deliver to.
	EXPECT_EQ(item.Invoke(), B_BAD_HANDLER);
	EXPECT_FALSE(item.IsTargetLocal());

	BLooper* window = new BLooper("window");
	window->AddHandler(view);
	thread_id thread = window->Run();
	BLooper* looper = NULL;
	EXPECT_EQ(item.Target(&looper), view);
	EXPECT_EQ(looper, window);
	EXPECT_TRUE(item.IsTargetLocal());

	ASSERT_EQ(item.Invoke(), B_OK);
	// Picking the same item again delivers again.
	ASSERT_EQ(item.Invoke(), B_OK);
	std::vector<Received> received = log.WaitFor(2);
	for (const Received& one : received) {
		EXPECT_EQ(one.what, uint32('cm01'));
		EXPECT_EQ(one.freq, 587);
		EXPECT_EQ(one.thread, thread);
		EXPECT_EQ(one.looper, window);
		EXPECT_NE(one.address, item.Message());
	}
	// The invoker's own message is untouched and still its own.
	int16 freq = 0;
	EXPECT_EQ(item.Message()->FindInt16("freq", &freq), B_OK);
	EXPECT_EQ(freq, 587);

	// A change to the invoker's message after the fact does not reach the
	// copies already sent, but does reach later ones.
	item.Message()->RemoveName("freq");
	item.Message()->AddInt16("freq", 82);
	ASSERT_EQ(item.Invoke(), B_OK);
	EXPECT_EQ(log.WaitFor(3)[2].freq, 82);

	QuitAndWait(window);
	EXPECT_EQ(item.Invoke(), B_BAD_HANDLER);
	delete view;
	// The handler is gone too; the invoker notices.
	EXPECT_EQ(item.Invoke(), B_BAD_HANDLER);
	EXPECT_EQ(item.Target(&looper), nullptr);
	EXPECT_EQ(looper, nullptr);
}

TEST(InvokerTest, AnExplicitMessageIsSentInsteadOfItsOwn)
{
	Watchdog watchdog(30s, "AnExplicitMessageIsSentInsteadOfItsOwn");
	Log<Received> log;
	TargetLooper* looper = new TargetLooper(&log);
	looper->Run();
	BInvoker invoker(FreqMessage(110), NULL, looper);

	BMessage other('cm00');
	other.AddInt16("freq", -20);
	ASSERT_EQ(invoker.Invoke(&other), B_OK);
	std::vector<Received> received = log.WaitFor(1);
	EXPECT_EQ(received[0].what, uint32('cm00'));
	EXPECT_EQ(received[0].freq, -20);
	EXPECT_NE(received[0].address, &other);
	QuitAndWait(looper);
}

TEST(InvokerTest, ALooperTargetMeansItsPreferredHandler)
{
	Watchdog watchdog(30s, "ALooperTargetMeansItsPreferredHandler");
	Log<Received> looperLog;
	Log<Received> focusLog;
	TargetLooper* looper = new TargetLooper(&looperLog);
	TargetHandler focus(&focusLog);
	looper->AddHandler(&focus);
	looper->Run();

	BInvoker invoker(FreqMessage(440), NULL, looper);
	BLooper* found = NULL;
	EXPECT_EQ(invoker.Target(&found), nullptr);
	EXPECT_EQ(found, looper);
	ASSERT_EQ(invoker.Invoke(), B_OK);
	EXPECT_EQ(looperLog.WaitFor(1)[0].freq, 440);

	ASSERT_TRUE(looper->Lock());
	looper->SetPreferredHandler(&focus);
	looper->Unlock();
	ASSERT_EQ(invoker.Invoke(), B_OK);
	EXPECT_EQ(focusLog.WaitFor(1)[0].freq, 440);

	// Handler and looper together must agree.
	EXPECT_EQ(invoker.SetTarget(&focus, looper), B_OK);
	ASSERT_EQ(invoker.Invoke(), B_OK);
	EXPECT_EQ(focusLog.WaitFor(2).size(), 2u);

	ASSERT_TRUE(looper->Lock());
	looper->RemoveHandler(&focus);
	looper->Unlock();
	QuitAndWait(looper);
}

TEST(InvokerTest, BadTargetsAndMissingMessagesAreReported)
{
	Log<Received> log;
	BInvoker empty;
	EXPECT_EQ(empty.Message(), nullptr);
	EXPECT_EQ(empty.Command(), 0u);
	EXPECT_EQ(empty.Invoke(), B_BAD_VALUE);
	BMessage message('cm01');
	EXPECT_EQ(empty.Invoke(&message), B_BAD_HANDLER);
	EXPECT_EQ(empty.Target(), nullptr);

	BLooper* first = new BLooper;
	BLooper* second = new BLooper;
	TargetHandler handler(&log);
	first->AddHandler(&handler);
	EXPECT_EQ(empty.SetTarget(&handler, second), B_MISMATCHED_VALUES);
	EXPECT_EQ(empty.Target(), nullptr);
	EXPECT_EQ(empty.SetTarget(&handler), B_OK);
	EXPECT_EQ(empty.Target(), &handler);
	EXPECT_EQ(empty.SetTarget(NULL), B_OK);
	EXPECT_EQ(empty.Invoke(&message), B_BAD_HANDLER);

	// A handler given with a looper it has not joined yet is reached only
	// once it is in that looper, never through another one.
	TargetHandler later(&log);
	BInvoker pending(new BMessage('cm00'), &later, second);
	EXPECT_EQ(pending.Invoke(), B_BAD_HANDLER);
	first->AddHandler(&later);
	EXPECT_EQ(pending.Invoke(), B_BAD_HANDLER);
	first->RemoveHandler(&later);
	second->AddHandler(&later);
	EXPECT_EQ(pending.Invoke(), B_OK);
	second->RemoveHandler(&later);

	first->RemoveHandler(&handler);
	delete first;
	delete second;
	EXPECT_EQ(log.Count(), 0u);
}

TEST(InvokerTest, ADeletedLooperTargetIsNeverTouched)
{
	BLooper* looper = new BLooper;
	BInvoker invoker(new BMessage('cm01'), NULL, looper);
	EXPECT_EQ(invoker.Invoke(), B_OK);
	delete looper;
	EXPECT_EQ(invoker.Invoke(), B_BAD_HANDLER);
	EXPECT_FALSE(invoker.IsTargetLocal());

	// New objects may take the old one's memory; that is not the target.
	BLooper* another = new BLooper;
	EXPECT_EQ(invoker.Invoke(), B_BAD_HANDLER);
	delete another;
}

// The messenger under the invoker: what it says when the target went, and
// that it never touches a target that is gone.
TEST(MessengerTest, SaysWhyATargetCannotBeReached)
{
	Watchdog watchdog(30s, "MessengerTargets");
	Log<Received> log;
	TargetLooper* looper = new TargetLooper(&log);
	TargetHandler* handler = new TargetHandler(&log);
	looper->AddHandler(handler);
	looper->Run();

	status_t status;
	BMessenger toHandler(handler, looper, &status);
	ASSERT_EQ(status, B_OK);
	BMessenger toLooper(nullptr, looper);
	EXPECT_TRUE(toHandler.IsValid());
	BLooper* found = nullptr;
	EXPECT_EQ(toHandler.Target(&found), handler);
	EXPECT_EQ(found, looper);
	EXPECT_EQ(toHandler.SendMessage('cm01'), B_OK);
	log.WaitFor(1);
	ASSERT_TRUE(toHandler.LockTarget());
	EXPECT_TRUE(looper->IsLocked());
	looper->Unlock();

	// The handler leaves its looper: it is alive but not where it was.
	looper->Lock();
	looper->RemoveHandler(handler);
	looper->Unlock();
	EXPECT_EQ(toHandler.SendMessage('cm01'), B_MISMATCHED_VALUES);
	delete handler;
	EXPECT_EQ(toHandler.SendMessage('cm01'), B_BAD_HANDLER);

	// The looper goes: nothing is sent, and the memory is never read.
	EXPECT_EQ(toLooper.SendMessage('cm02'), B_OK);
	log.WaitFor(2);
	QuitAndWait(looper);
	EXPECT_EQ(toLooper.SendMessage('cm02'), B_BAD_PORT_ID);
	EXPECT_FALSE(toLooper.IsValid());
	EXPECT_FALSE(toLooper.LockTarget());
	EXPECT_EQ(toLooper.Target(&found), nullptr);
	EXPECT_EQ(found, nullptr);

	BMessenger none(nullptr, nullptr, &status);
	EXPECT_EQ(status, B_BAD_VALUE);
	EXPECT_FALSE(none.IsValid());
	EXPECT_EQ(BMessenger().SendMessage('cm01'), B_BAD_PORT_ID);
}

// Many threads send while the looper quits: every send either arrives or
// says the looper is gone (ThreadSanitizer watches the rest).
TEST(MessengerTest, SendsFromManyThreadsWhileTheLooperQuits)
{
	Watchdog watchdog(30s, "MessengerThreads");
	Log<Received> log;
	TargetLooper* looper = new TargetLooper(&log);
	looper->Run();
	BMessenger messenger(looper);
	std::atomic<int> sent{0};
	std::atomic<int> refused{0};
	std::atomic<bool> go{false};
	std::vector<std::thread> senders;
	for (int i = 0; i < 4; i++) {
		senders.emplace_back([&] {
			while (!go.load()) {
			}
			for (int n = 0; n < 200; n++) {
				status_t status = messenger.SendMessage('cm01');
				if (status == B_OK)
					sent++;
				else if (status == B_BAD_PORT_ID)
					refused++;
			}
		});
	}
	go = true;
	QuitAndWait(looper);
	for (std::thread& sender : senders)
		sender.join();
	EXPECT_EQ(sent.load() + refused.load(), 800);
	// Quit from another thread handles what it took before it went.
	EXPECT_EQ(log.Count(), size_t(sent.load()));
}

TEST(InvokerTest, SetMessageReplacesAndOwns)
{
	BInvoker invoker(FreqMessage(196), NULL);
	EXPECT_EQ(invoker.Command(), uint32('cm01'));
	EXPECT_EQ(invoker.SetMessage(new BMessage('cm00')), B_OK);
	EXPECT_EQ(invoker.Command(), uint32('cm00'));
	BMessage* same = invoker.Message();
	EXPECT_EQ(invoker.SetMessage(same), B_OK);
	EXPECT_EQ(invoker.Message(), same);
	EXPECT_EQ(invoker.SetMessage(NULL), B_OK);
	EXPECT_EQ(invoker.Message(), nullptr);
	EXPECT_EQ(invoker.Invoke(), B_BAD_VALUE);
}

} // namespace
