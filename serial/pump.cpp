#include "serial/pump.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace serial {

namespace {
std::atomic<platform::MessageQueue*> g_queue{nullptr};
}

void setMessageQueue(platform::MessageQueue* queue) {
    g_queue.store(queue);
}

platform::MessageQueue* messageQueue() {
    return g_queue.load();
}

bool PumpOneMessage() {
    platform::MessageQueue* q = g_queue.load();
    if (q && q->isUiThread()) {
        // A quit request stays set in the queue, so the main loop still ends.
        return q->pumpOne();
    }
    return false;
}

void pumpWhileWaiting() {
    platform::MessageQueue* q = g_queue.load();
    if (q && q->isUiThread()) {
        q->waitAndPumpOne(1);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace serial
