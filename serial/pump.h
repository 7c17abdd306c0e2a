#pragma once
// The serial layer's link to the message queue of the thread that owns a port.
//
// Each thread that opens ports has a queue of its own (the program's window thread, a
// phone worker's thread): a port captures the queue of the thread that opens it, and the
// dispatcher delivers each port window's messages to the queue it was added with.

#include "platform/message_queue.h"

namespace serial {

// The calling thread's queue: the one its ports post to and its waits pump. Set by the
// thread (the program, a test, a phone worker) before it opens its first port; other
// threads are not affected.
void setMessageQueue(platform::MessageQueue* queue);
platform::MessageQueue* messageQueue();

// Processes at most one waiting message of the calling thread's queue; true when one
// was processed. Without a queue of its own (the dispatcher's workers) it does nothing.
bool PumpOneMessage();

// One round of a wait that must keep the thread's queue answering: pumps one message,
// waiting up to 1 ms for it, so that the loop does not burn the processor. A thread
// without a queue sleeps 1 ms.
void pumpWhileWaiting();

}  // namespace serial
