#pragma once
// The serial layer's link to the user-interface thread's message queue.

#include "platform/message_queue.h"

namespace serial {

// The queue the serial layer posts to and pumps while it waits for worker threads.
// Set once by the program (or a test) before the first port opens.
void setMessageQueue(platform::MessageQueue* queue);
platform::MessageQueue* messageQueue();

// Processes at most one waiting message of the user-interface thread; true when one
// was processed. On any other thread, or without a queue, it does nothing.
bool PumpOneMessage();

// One round of a wait that must keep the user-interface thread answering: pumps one
// message, waiting up to 1 ms for it, so that the loop does not burn the processor.
// On other threads it sleeps 1 ms.
void pumpWhileWaiting();

}  // namespace serial
