#include "serial/pump.h"

#include <chrono>
#include <thread>

namespace serial {

namespace {
thread_local platform::MessageQueue* t_queue = nullptr;
}

void setMessageQueue(platform::MessageQueue* queue) {
    t_queue = queue;
}

platform::MessageQueue* messageQueue() {
    return t_queue;
}

bool PumpOneMessage() {
    platform::MessageQueue* q = t_queue;
    if (q && q->isUiThread()) {
        // A quit request stays set in the queue, so the main loop still ends.
        return q->pumpOne();
    }
    return false;
}

void pumpWhileWaiting() {
    platform::MessageQueue* q = t_queue;
    if (q && q->isUiThread()) {
        q->waitAndPumpOne(1);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace serial
