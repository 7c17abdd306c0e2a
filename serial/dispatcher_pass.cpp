// One pass of the dispatcher thread: after a device event, and at least every 50 ms.

#include "serial/dispatcher.h"

namespace serial {

void TBaseDispatcher::clearStatusHitsIfSeen() {
    std::lock_guard state(m_stateLock);
    if (m_statusHitSeen) {
        ClearStatusHits();
    }
}

void TBaseDispatcher::ServiceCommEvent() {
    const uint32_t mask = m_commEventMask.exchange(0);
    // A close deferred by a delivery of this pass ends the whole pass.
    auto statusScan = [&] {
        if (m_deliveryBusy.load()) {
            return true;
        }
        while (ScanStatusTriggers()) {
            if (m_closeDeferred.load()) {
                return false;
            }
        }
        clearStatusHitsIfSeen();
        return true;
    };
    auto pass = [&] {
        if (mask & 0x2138) {
            RefreshModemStatus();
            if (!statusScan()) {
                return;
            }
        }
        if (mask & 0xC0) {
            RefreshDeviceStatus();
            if (!statusScan()) {
                return;
            }
        }
        FillInRing();
        if (!m_deliveryBusy.load()) {
            uint8_t b = ReadModemStatus(0xF0);
            {
                std::lock_guard state(m_stateLock);
                m_modemStatusByte = b;
            }
            bool stop = false;
            while (!stop && ScanStatusTriggers()) {
                stop = m_closeDeferred.load();
            }
            while (!stop && ScanReceived()) {
                stop = m_closeDeferred.load();
            }
            if (stop) {
                return;
            }
        }
        clearStatusHitsIfSeen();
    };
    pass();
    m_signals.set(Signal::DispatchDoneSignal);
}

void TBaseDispatcher::ServiceTimersAndStatus() {
    if (m_closeDeferred.load() || m_deliveryBusy.load()) {
        return;
    }
    {
        std::lock_guard state(m_stateLock);
        m_statusHitSeen = false;
    }
    bool more;
    do {
        more = ScanStatusTriggers();
        if (!more) {
            more = ScanTimerTriggers();
        }
    } while (more && !m_closeDeferred.load());
    clearStatusHitsIfSeen();
}

}  // namespace serial
